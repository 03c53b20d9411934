<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>LocalFileCopier</name>
    <message>
        <source>only files can be added</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>this step or task already holds a file of that name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the file cannot be read, or the plan folder written</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the file could not be read to its end</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the plan folder could not be written</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PageTexts</name>
    <message>
        <source>No plan is open. Use File ▸ New or File ▸ Open.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Plan name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Board</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Step type</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Step name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add step</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Introspection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add web node</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add web node…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kind</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move up</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move down</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add files…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>or drop files here</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add task</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Task name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Task description</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Task sheet %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Question</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paper</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Subject app</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>E-book page</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cloud path</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File type</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Question id</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Question type</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paper id</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>App bundle id</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>App class name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Page</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scene introduction</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Content explanation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exercises</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>In-class test</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Group competition</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Group inquiry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Custom</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StateMessages</name>
    <message>
        <source>A new plan is ready.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The plan is open.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The plan was renamed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The plan was deleted.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The plan was exported to a package.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The package was imported.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The older plan was converted and is being opened.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No new plan could be made: the plan folder cannot be written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The plan could not be opened.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The plan could not be renamed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The plan could not be deleted: its files are gone.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The export failed: check the network connection and the target folder.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The package could not be imported: it is damaged or holds no plan.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This step or task already holds that item.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A plan file cannot be added to a task.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The plan was not opened: its document could not be read, or its conversion was declined.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The plan service could not convert this older plan.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Importing the package…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exporting the plan…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The plan controller reported %1.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StudioWindow</name>
    <message>
        <source>&amp;File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;New Plan</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Open Package…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Plan &amp;Folder…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save as &amp;Package…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Import Package…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl+I</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Export…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl+E</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Writes the open plan with all its files into a package</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Rename…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Delete Plan…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Close Plan</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not signed in: plans are saved as packages</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 was not added: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The plan was saved.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The plan could not be saved.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1[*] — YRStudio</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>YRStudio</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Plan packages (*.yrtp)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Package</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is not a plan package.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The package holds no plan this studio can open.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Plan Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is no plan folder under %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rename Plan</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New name of the plan:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Plan</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete the plan &quot;%1&quot; and all its files from this computer? Packages saved elsewhere stay.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unsaved Changes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The plan &quot;%1&quot; has changes that are not saved. Save them first?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save as Package</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A copy of the plan was written to %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No copy could be written to %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add Files</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Edits teaching plans in the plan editor page.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start with a demonstration plan.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A .yrtp package or a plan folder to open.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
