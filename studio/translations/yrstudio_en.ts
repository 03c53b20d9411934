<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>CloudPlanDialog</name>
    <message>
        <source>Asking the plan service for your plans…</source>
        <translation>Asking the plan service for your plans…</translation>
    </message>
    <message>
        <source>Plan</source>
        <translation>Plan</translation>
    </message>
    <message>
        <source>Steps</source>
        <translation>Steps</translation>
    </message>
    <message>
        <source>Changed</source>
        <translation>Changed</translation>
    </message>
    <message>
        <source>The plans could not be listed: %1</source>
        <translation>The plans could not be listed: %1</translation>
    </message>
    <message>
        <source>You have no plans in the cloud yet.</source>
        <translation>You have no plans in the cloud yet.</translation>
    </message>
    <message>
        <source>Your plans, newest first:</source>
        <translation>Your plans, newest first:</translation>
    </message>
</context>
<context>
    <name>CloudPlanList</name>
    <message>
        <source>there is no connection to the plan service</source>
        <translation>there is no connection to the plan service</translation>
    </message>
    <message>
        <source>the plan service answered with error %1</source>
        <translation>the plan service answered with error %1</translation>
    </message>
</context>
<context>
    <name>LocalFileCopier</name>
    <message>
        <source>only files can be added</source>
        <translation>only files can be added</translation>
    </message>
    <message>
        <source>this step or task already holds a file of that name</source>
        <translation>this step or task already holds a file of that name</translation>
    </message>
    <message>
        <source>the file cannot be read, or the plan folder written</source>
        <translation>the file cannot be read, or the plan folder written</translation>
    </message>
    <message>
        <source>the file could not be read to its end</source>
        <translation>the file could not be read to its end</translation>
    </message>
    <message>
        <source>the plan folder could not be written</source>
        <translation>the plan folder could not be written</translation>
    </message>
</context>
<context>
    <name>PageTexts</name>
    <message>
        <source>No plan is open. Use File ▸ New or File ▸ Open.</source>
        <translation>No plan is open. Use File ▸ New or File ▸ Open.</translation>
    </message>
    <message>
        <source>Plan name</source>
        <translation>Plan name</translation>
    </message>
    <message>
        <source>Board</source>
        <translation>Board</translation>
    </message>
    <message>
        <source>Step type</source>
        <translation>Step type</translation>
    </message>
    <message>
        <source>Step name</source>
        <translation>Step name</translation>
    </message>
    <message>
        <source>Add step</source>
        <translation>Add step</translation>
    </message>
    <message>
        <source>Introspection</source>
        <translation>Introspection</translation>
    </message>
    <message>
        <source>Add web node</source>
        <translation>Add web node</translation>
    </message>
    <message>
        <source>Add web node…</source>
        <translation>Add web node…</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Move up</source>
        <translation>Move up</translation>
    </message>
    <message>
        <source>Move down</source>
        <translation>Move down</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Delete?</source>
        <translation>Delete?</translation>
    </message>
    <message>
        <source>Add files…</source>
        <translation>Add files…</translation>
    </message>
    <message>
        <source>or drop files here</source>
        <translation>or drop files here</translation>
    </message>
    <message>
        <source>Add task</source>
        <translation>Add task</translation>
    </message>
    <message>
        <source>Task name</source>
        <translation>Task name</translation>
    </message>
    <message>
        <source>Task description</source>
        <translation>Task description</translation>
    </message>
    <message>
        <source>Task sheet %1</source>
        <translation>Task sheet %1</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>Saved</source>
        <translation>Saved</translation>
    </message>
    <message>
        <source>Save failed</source>
        <translation>Save failed</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Question</source>
        <translation>Question</translation>
    </message>
    <message>
        <source>Paper</source>
        <translation>Paper</translation>
    </message>
    <message>
        <source>Subject app</source>
        <translation>Subject app</translation>
    </message>
    <message>
        <source>E-book page</source>
        <translation>E-book page</translation>
    </message>
    <message>
        <source>Cloud path</source>
        <translation>Cloud path</translation>
    </message>
    <message>
        <source>File type</source>
        <translation>File type</translation>
    </message>
    <message>
        <source>Question id</source>
        <translation>Question id</translation>
    </message>
    <message>
        <source>Question type</source>
        <translation>Question type</translation>
    </message>
    <message>
        <source>Paper id</source>
        <translation>Paper id</translation>
    </message>
    <message>
        <source>App bundle id</source>
        <translation>App bundle id</translation>
    </message>
    <message>
        <source>App class name</source>
        <translation>App class name</translation>
    </message>
    <message>
        <source>Page</source>
        <translation>Page</translation>
    </message>
    <message>
        <source>Scene introduction</source>
        <translation>Scene introduction</translation>
    </message>
    <message>
        <source>Content explanation</source>
        <translation>Content explanation</translation>
    </message>
    <message>
        <source>Exercises</source>
        <translation>Exercises</translation>
    </message>
    <message>
        <source>In-class test</source>
        <translation>In-class test</translation>
    </message>
    <message>
        <source>Group competition</source>
        <translation>Group competition</translation>
    </message>
    <message>
        <source>Group inquiry</source>
        <translation>Group inquiry</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>Custom</translation>
    </message>
</context>
<context>
    <name>StateMessages</name>
    <message>
        <source>A new plan is ready.</source>
        <translation>A new plan is ready.</translation>
    </message>
    <message>
        <source>The plan is open.</source>
        <translation>The plan is open.</translation>
    </message>
    <message>
        <source>The plan was renamed.</source>
        <translation>The plan was renamed.</translation>
    </message>
    <message>
        <source>The plan was deleted.</source>
        <translation>The plan was deleted.</translation>
    </message>
    <message>
        <source>The plan was exported to a package.</source>
        <translation>The plan was exported to a package.</translation>
    </message>
    <message>
        <source>The package was imported.</source>
        <translation>The package was imported.</translation>
    </message>
    <message>
        <source>The older plan was converted and is being opened.</source>
        <translation>The older plan was converted and is being opened.</translation>
    </message>
    <message>
        <source>No new plan could be made: the plan folder cannot be written.</source>
        <translation>No new plan could be made: the plan folder cannot be written.</translation>
    </message>
    <message>
        <source>The plan could not be opened.</source>
        <translation>The plan could not be opened.</translation>
    </message>
    <message>
        <source>The plan could not be renamed.</source>
        <translation>The plan could not be renamed.</translation>
    </message>
    <message>
        <source>The plan could not be deleted: its files are gone.</source>
        <translation>The plan could not be deleted: its files are gone.</translation>
    </message>
    <message>
        <source>The export failed: check the network connection and the target folder.</source>
        <translation>The export failed: check the network connection and the target folder.</translation>
    </message>
    <message>
        <source>The package could not be imported: it is damaged or holds no plan.</source>
        <translation>The package could not be imported: it is damaged or holds no plan.</translation>
    </message>
    <message>
        <source>This step or task already holds that item.</source>
        <translation>This step or task already holds that item.</translation>
    </message>
    <message>
        <source>A plan file cannot be added to a task.</source>
        <translation>A plan file cannot be added to a task.</translation>
    </message>
    <message>
        <source>The plan was not opened: its document could not be read, or its conversion was declined.</source>
        <translation>The plan was not opened: its document could not be read, or its conversion was declined.</translation>
    </message>
    <message>
        <source>The plan service could not convert this older plan.</source>
        <translation>The plan service could not convert this older plan.</translation>
    </message>
    <message>
        <source>Importing the package…</source>
        <translation>Importing the package…</translation>
    </message>
    <message>
        <source>Exporting the plan…</source>
        <translation>Exporting the plan…</translation>
    </message>
    <message>
        <source>The plan controller reported %1.</source>
        <translation>The plan controller reported %1.</translation>
    </message>
</context>
<context>
    <name>StudioWindow</name>
    <message>
        <source>&amp;File</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>&amp;New Plan</source>
        <translation>&amp;New Plan</translation>
    </message>
    <message>
        <source>&amp;Open Package…</source>
        <translation>&amp;Open Package…</translation>
    </message>
    <message>
        <source>Open Plan &amp;Folder…</source>
        <translation>Open Plan &amp;Folder…</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>Save as &amp;Package…</source>
        <translation>Save as &amp;Package…</translation>
    </message>
    <message>
        <source>&amp;Import Package…</source>
        <translation>&amp;Import Package…</translation>
    </message>
    <message>
        <source>Ctrl+I</source>
        <translation>Ctrl+I</translation>
    </message>
    <message>
        <source>&amp;Export…</source>
        <translation>&amp;Export…</translation>
    </message>
    <message>
        <source>Ctrl+E</source>
        <translation>Ctrl+E</translation>
    </message>
    <message>
        <source>&amp;Rename…</source>
        <translation>&amp;Rename…</translation>
    </message>
    <message>
        <source>&amp;Delete Plan…</source>
        <translation>&amp;Delete Plan…</translation>
    </message>
    <message>
        <source>&amp;Close Plan</source>
        <translation>&amp;Close Plan</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>Not signed in: plans are saved as packages</source>
        <translation>Not signed in: plans are saved as packages</translation>
    </message>
    <message>
        <source>%1 was not added: %2</source>
        <translation>%1 was not added: %2</translation>
    </message>
    <message>
        <source>The plan was saved.</source>
        <translation>The plan was saved.</translation>
    </message>
    <message>
        <source>The plan could not be saved.</source>
        <translation>The plan could not be saved.</translation>
    </message>
    <message>
        <source>%1[*] — YRStudio</source>
        <translation>%1[*] — YRStudio</translation>
    </message>
    <message>
        <source>YRStudio</source>
        <translation>YRStudio</translation>
    </message>
    <message>
        <source>Plan packages (*.yrtp)</source>
        <translation>Plan packages (*.yrtp)</translation>
    </message>
    <message>
        <source>Open Package</source>
        <translation>Open Package</translation>
    </message>
    <message>
        <source>%1 is not a plan package.</source>
        <translation>%1 is not a plan package.</translation>
    </message>
    <message>
        <source>The package holds no plan this studio can open.</source>
        <translation>The package holds no plan this studio can open.</translation>
    </message>
    <message>
        <source>Open Plan Folder</source>
        <translation>Open Plan Folder</translation>
    </message>
    <message>
        <source>%1 is no plan folder under %2.</source>
        <translation>%1 is no plan folder under %2.</translation>
    </message>
    <message>
        <source>Rename Plan</source>
        <translation>Rename Plan</translation>
    </message>
    <message>
        <source>New name of the plan:</source>
        <translation>New name of the plan:</translation>
    </message>
    <message>
        <source>Delete Plan</source>
        <translation>Delete Plan</translation>
    </message>
    <message>
        <source>Delete the plan &quot;%1&quot; and all its files from this computer? Packages saved elsewhere stay.</source>
        <translation>Delete the plan &quot;%1&quot; and all its files from this computer? Packages saved elsewhere stay.</translation>
    </message>
    <message>
        <source>Unsaved Changes</source>
        <translation>Unsaved Changes</translation>
    </message>
    <message>
        <source>The plan &quot;%1&quot; has changes that are not saved. Save them first?</source>
        <translation>The plan &quot;%1&quot; has changes that are not saved. Save them first?</translation>
    </message>
    <message>
        <source>Save as Package</source>
        <translation>Save as Package</translation>
    </message>
    <message>
        <source>A copy of the plan was written to %1.</source>
        <translation>A copy of the plan was written to %1.</translation>
    </message>
    <message>
        <source>No copy could be written to %1.</source>
        <translation>No copy could be written to %1.</translation>
    </message>
    <message>
        <source>Add Files</source>
        <translation>Add Files</translation>
    </message>
    <message>
        <source>Open &amp;Cloud Plan…</source>
        <translation>Open &amp;Cloud Plan…</translation>
    </message>
    <message>
        <source>Ctrl+Shift+O</source>
        <translation>Ctrl+Shift+O</translation>
    </message>
    <message>
        <source>Signed in: a cloud plan with all its files into a package; otherwise the open plan</source>
        <translation>Signed in: a cloud plan with all its files into a package; otherwise the open plan</translation>
    </message>
    <message>
        <source>Signing in to %1…</source>
        <translation>Signing in to %1…</translation>
    </message>
    <message>
        <source>Signed in as %1: plans are saved to the cloud</source>
        <translation>Signed in as %1: plans are saved to the cloud</translation>
    </message>
    <message>
        <source>Signed in.</source>
        <translation>Signed in.</translation>
    </message>
    <message>
        <source>Signing in failed: %1</source>
        <translation>Signing in failed: %1</translation>
    </message>
    <message>
        <source>Open Cloud Plan</source>
        <translation>Open Cloud Plan</translation>
    </message>
    <message>
        <source>Export Cloud Plan</source>
        <translation>Export Cloud Plan</translation>
    </message>
    <message>
        <source>The plan service was not asked to delete the plan.</source>
        <translation>The plan service was not asked to delete the plan.</translation>
    </message>
    <message>
        <source>Delete the plan &quot;%1&quot; and all its files from this computer and from the cloud?</source>
        <translation>Delete the plan &quot;%1&quot; and all its files from this computer and from the cloud?</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Edits teaching plans in the plan editor page.</source>
        <translation>Edits teaching plans in the plan editor page.</translation>
    </message>
    <message>
        <source>Start with a demonstration plan.</source>
        <translation>Start with a demonstration plan.</translation>
    </message>
    <message>
        <source>A .yrtp package or a plan folder to open.</source>
        <translation>A .yrtp package or a plan folder to open.</translation>
    </message>
    <message>
        <source>Sign in to the plan service at URL.</source>
        <translation>Sign in to the plan service at URL.</translation>
    </message>
    <message>
        <source>The teacher&apos;s token for --cloud.</source>
        <translation>The teacher&apos;s token for --cloud.</translation>
    </message>
    <message>
        <source>--cloud and --token go together.</source>
        <translation>--cloud and --token go together.</translation>
    </message>
</context>
</TS>
