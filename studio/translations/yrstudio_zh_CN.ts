<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CloudPlanDialog</name>
    <message>
        <source>Asking the plan service for your plans…</source>
        <translation>正在向教案服务查询您的教案…</translation>
    </message>
    <message>
        <source>Plan</source>
        <translation>教案</translation>
    </message>
    <message>
        <source>Steps</source>
        <translation>环节数</translation>
    </message>
    <message>
        <source>Changed</source>
        <translation>修改时间</translation>
    </message>
    <message>
        <source>The plans could not be listed: %1</source>
        <translation>无法列出教案：%1</translation>
    </message>
    <message>
        <source>You have no plans in the cloud yet.</source>
        <translation>云端还没有您的教案。</translation>
    </message>
    <message>
        <source>Your plans, newest first:</source>
        <translation>您的教案（最新的在前）：</translation>
    </message>
</context>
<context>
    <name>CloudPlanList</name>
    <message>
        <source>there is no connection to the plan service</source>
        <translation>没有与教案服务的连接</translation>
    </message>
    <message>
        <source>the plan service answered with error %1</source>
        <translation>教案服务返回错误 %1</translation>
    </message>
</context>
<context>
    <name>LocalFileCopier</name>
    <message>
        <source>only files can be added</source>
        <translation>只能添加文件</translation>
    </message>
    <message>
        <source>this step or task already holds a file of that name</source>
        <translation>该环节或任务单中已有同名文件</translation>
    </message>
    <message>
        <source>the file cannot be read, or the plan folder written</source>
        <translation>无法读取文件，或无法写入教案文件夹</translation>
    </message>
    <message>
        <source>the file could not be read to its end</source>
        <translation>无法完整读取文件</translation>
    </message>
    <message>
        <source>the plan folder could not be written</source>
        <translation>无法写入教案文件夹</translation>
    </message>
</context>
<context>
    <name>PageTexts</name>
    <message>
        <source>No plan is open. Use File ▸ New or File ▸ Open.</source>
        <translation>没有打开的教案。请使用“文件 ▸ 新建”或“文件 ▸ 打开”。</translation>
    </message>
    <message>
        <source>Plan name</source>
        <translation>教案名称</translation>
    </message>
    <message>
        <source>Board</source>
        <translation>展板</translation>
    </message>
    <message>
        <source>Step type</source>
        <translation>环节类型</translation>
    </message>
    <message>
        <source>Step name</source>
        <translation>环节名称</translation>
    </message>
    <message>
        <source>Add step</source>
        <translation>添加环节</translation>
    </message>
    <message>
        <source>Introspection</source>
        <translation>教学反思</translation>
    </message>
    <message>
        <source>Add web node</source>
        <translation>添加网络资源</translation>
    </message>
    <message>
        <source>Add web node…</source>
        <translation>添加网络资源…</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>类型</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>添加</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Move up</source>
        <translation>上移</translation>
    </message>
    <message>
        <source>Move down</source>
        <translation>下移</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Delete?</source>
        <translation>确定删除？</translation>
    </message>
    <message>
        <source>Add files…</source>
        <translation>添加文件…</translation>
    </message>
    <message>
        <source>or drop files here</source>
        <translation>或把文件拖到这里</translation>
    </message>
    <message>
        <source>Add task</source>
        <translation>添加任务单</translation>
    </message>
    <message>
        <source>Task name</source>
        <translation>任务单名称</translation>
    </message>
    <message>
        <source>Task description</source>
        <translation>任务说明</translation>
    </message>
    <message>
        <source>Task sheet %1</source>
        <translation>分组探究任务单%1</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>Saved</source>
        <translation>已保存</translation>
    </message>
    <message>
        <source>Save failed</source>
        <translation>保存失败</translation>
    </message>
    <message>
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Question</source>
        <translation>试题</translation>
    </message>
    <message>
        <source>Paper</source>
        <translation>试卷</translation>
    </message>
    <message>
        <source>Subject app</source>
        <translation>学科应用</translation>
    </message>
    <message>
        <source>E-book page</source>
        <translation>电子书页</translation>
    </message>
    <message>
        <source>Cloud path</source>
        <translation>云端路径</translation>
    </message>
    <message>
        <source>File type</source>
        <translation>文件类型</translation>
    </message>
    <message>
        <source>Question id</source>
        <translation>试题编号</translation>
    </message>
    <message>
        <source>Question type</source>
        <translation>题型</translation>
    </message>
    <message>
        <source>Paper id</source>
        <translation>试卷编号</translation>
    </message>
    <message>
        <source>App bundle id</source>
        <translation>应用标识</translation>
    </message>
    <message>
        <source>App class name</source>
        <translation>应用类名</translation>
    </message>
    <message>
        <source>Page</source>
        <translation>页码</translation>
    </message>
    <message>
        <source>Scene introduction</source>
        <translation>情景导入</translation>
    </message>
    <message>
        <source>Content explanation</source>
        <translation>内容精讲</translation>
    </message>
    <message>
        <source>Exercises</source>
        <translation>同步习题</translation>
    </message>
    <message>
        <source>In-class test</source>
        <translation>随堂测试</translation>
    </message>
    <message>
        <source>Group competition</source>
        <translation>分组竞赛</translation>
    </message>
    <message>
        <source>Group inquiry</source>
        <translation>分组探究</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>自定义</translation>
    </message>
</context>
<context>
    <name>StateMessages</name>
    <message>
        <source>A new plan is ready.</source>
        <translation>新教案已创建。</translation>
    </message>
    <message>
        <source>The plan is open.</source>
        <translation>教案已打开。</translation>
    </message>
    <message>
        <source>The plan was renamed.</source>
        <translation>教案已重命名。</translation>
    </message>
    <message>
        <source>The plan was deleted.</source>
        <translation>教案已删除。</translation>
    </message>
    <message>
        <source>The plan was exported to a package.</source>
        <translation>教案已导出为教案包。</translation>
    </message>
    <message>
        <source>The package was imported.</source>
        <translation>教案包已导入。</translation>
    </message>
    <message>
        <source>The older plan was converted and is being opened.</source>
        <translation>旧版教案已转换，正在打开。</translation>
    </message>
    <message>
        <source>No new plan could be made: the plan folder cannot be written.</source>
        <translation>无法新建教案：教案文件夹不可写。</translation>
    </message>
    <message>
        <source>The plan could not be opened.</source>
        <translation>无法打开教案。</translation>
    </message>
    <message>
        <source>The plan could not be renamed.</source>
        <translation>无法重命名教案。</translation>
    </message>
    <message>
        <source>The plan could not be deleted: its files are gone.</source>
        <translation>无法删除教案：文件已不存在。</translation>
    </message>
    <message>
        <source>The export failed: check the network connection and the target folder.</source>
        <translation>导出失败：请检查网络连接和目标文件夹。</translation>
    </message>
    <message>
        <source>The package could not be imported: it is damaged or holds no plan.</source>
        <translation>无法导入教案包：文件已损坏或不含教案。</translation>
    </message>
    <message>
        <source>This step or task already holds that item.</source>
        <translation>该环节或任务单中已有此项。</translation>
    </message>
    <message>
        <source>A plan file cannot be added to a task.</source>
        <translation>教案文件不能加入任务单。</translation>
    </message>
    <message>
        <source>The plan was not opened: its document could not be read, or its conversion was declined.</source>
        <translation>教案未打开：无法读取教案文档，或已拒绝转换。</translation>
    </message>
    <message>
        <source>The plan service could not convert this older plan.</source>
        <translation>教案服务无法转换这份旧版教案。</translation>
    </message>
    <message>
        <source>Importing the package…</source>
        <translation>正在导入教案包…</translation>
    </message>
    <message>
        <source>Exporting the plan…</source>
        <translation>正在导出教案…</translation>
    </message>
    <message>
        <source>The plan controller reported %1.</source>
        <translation>教案控制器报告状态 %1。</translation>
    </message>
</context>
<context>
    <name>StudioWindow</name>
    <message>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;New Plan</source>
        <translation>新建教案(&amp;N)</translation>
    </message>
    <message>
        <source>&amp;Open Package…</source>
        <translation>打开教案包(&amp;O)…</translation>
    </message>
    <message>
        <source>Open Plan &amp;Folder…</source>
        <translation>打开教案文件夹(&amp;F)…</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>保存(&amp;S)</translation>
    </message>
    <message>
        <source>Save as &amp;Package…</source>
        <translation>另存为教案包(&amp;P)…</translation>
    </message>
    <message>
        <source>&amp;Import Package…</source>
        <translation>导入教案包(&amp;I)…</translation>
    </message>
    <message>
        <source>Ctrl+I</source>
        <translation>Ctrl+I</translation>
    </message>
    <message>
        <source>&amp;Export…</source>
        <translation>导出(&amp;E)…</translation>
    </message>
    <message>
        <source>Ctrl+E</source>
        <translation>Ctrl+E</translation>
    </message>
    <message>
        <source>&amp;Rename…</source>
        <translation>重命名(&amp;R)…</translation>
    </message>
    <message>
        <source>&amp;Delete Plan…</source>
        <translation>删除教案(&amp;D)…</translation>
    </message>
    <message>
        <source>&amp;Close Plan</source>
        <translation>关闭教案(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>退出(&amp;Q)</translation>
    </message>
    <message>
        <source>Not signed in: plans are saved as packages</source>
        <translation>未登录：教案保存为教案包</translation>
    </message>
    <message>
        <source>%1 was not added: %2</source>
        <translation>%1 未添加：%2</translation>
    </message>
    <message>
        <source>The plan was saved.</source>
        <translation>教案已保存。</translation>
    </message>
    <message>
        <source>The plan could not be saved.</source>
        <translation>无法保存教案。</translation>
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
        <translation>教案(*.yrtp)</translation>
    </message>
    <message>
        <source>Open Package</source>
        <translation>打开教案包</translation>
    </message>
    <message>
        <source>%1 is not a plan package.</source>
        <translation>%1 不是教案包。</translation>
    </message>
    <message>
        <source>The package holds no plan this studio can open.</source>
        <translation>教案包中没有可打开的教案。</translation>
    </message>
    <message>
        <source>Open Plan Folder</source>
        <translation>打开教案文件夹</translation>
    </message>
    <message>
        <source>%1 is no plan folder under %2.</source>
        <translation>%1 不是 %2 下的教案文件夹。</translation>
    </message>
    <message>
        <source>Rename Plan</source>
        <translation>重命名教案</translation>
    </message>
    <message>
        <source>New name of the plan:</source>
        <translation>教案的新名称：</translation>
    </message>
    <message>
        <source>Delete Plan</source>
        <translation>删除教案</translation>
    </message>
    <message>
        <source>Delete the plan &quot;%1&quot; and all its files from this computer? Packages saved elsewhere stay.</source>
        <translation>从本机删除教案“%1”及其全部文件？保存在别处的教案包不受影响。</translation>
    </message>
    <message>
        <source>Unsaved Changes</source>
        <translation>未保存的修改</translation>
    </message>
    <message>
        <source>The plan &quot;%1&quot; has changes that are not saved. Save them first?</source>
        <translation>教案“%1”有未保存的修改。先保存吗？</translation>
    </message>
    <message>
        <source>Save as Package</source>
        <translation>另存为教案包</translation>
    </message>
    <message>
        <source>A copy of the plan was written to %1.</source>
        <translation>教案副本已写入 %1。</translation>
    </message>
    <message>
        <source>No copy could be written to %1.</source>
        <translation>无法把副本写入 %1。</translation>
    </message>
    <message>
        <source>Add Files</source>
        <translation>添加文件</translation>
    </message>
    <message>
        <source>Open &amp;Cloud Plan…</source>
        <translation>打开云端教案(&amp;C)…</translation>
    </message>
    <message>
        <source>Ctrl+Shift+O</source>
        <translation>Ctrl+Shift+O</translation>
    </message>
    <message>
        <source>Signed in: a cloud plan with all its files into a package; otherwise the open plan</source>
        <translation>已登录时：把云端教案连同全部文件导出为教案包；否则导出当前教案</translation>
    </message>
    <message>
        <source>Signing in to %1…</source>
        <translation>正在登录 %1…</translation>
    </message>
    <message>
        <source>Signed in as %1: plans are saved to the cloud</source>
        <translation>已登录为 %1：教案保存到云端</translation>
    </message>
    <message>
        <source>Signed in.</source>
        <translation>已登录。</translation>
    </message>
    <message>
        <source>Signing in failed: %1</source>
        <translation>登录失败：%1</translation>
    </message>
    <message>
        <source>Open Cloud Plan</source>
        <translation>打开云端教案</translation>
    </message>
    <message>
        <source>Export Cloud Plan</source>
        <translation>导出云端教案</translation>
    </message>
    <message>
        <source>The plan service was not asked to delete the plan.</source>
        <translation>未能请求教案服务删除该教案。</translation>
    </message>
    <message>
        <source>Delete the plan &quot;%1&quot; and all its files from this computer and from the cloud?</source>
        <translation>从本机和云端删除教案“%1”及其全部文件？</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Edits teaching plans in the plan editor page.</source>
        <translation>在教案编辑页中编辑教案。</translation>
    </message>
    <message>
        <source>Start with a demonstration plan.</source>
        <translation>以演示教案启动。</translation>
    </message>
    <message>
        <source>A .yrtp package or a plan folder to open.</source>
        <translation>要打开的 .yrtp 教案包或教案文件夹。</translation>
    </message>
    <message>
        <source>Sign in to the plan service at URL.</source>
        <translation>登录位于 URL 的教案服务。</translation>
    </message>
    <message>
        <source>The teacher&apos;s token for --cloud.</source>
        <translation>用于 --cloud 的教师令牌。</translation>
    </message>
    <message>
        <source>--cloud and --token go together.</source>
        <translation>--cloud 和 --token 须一起使用。</translation>
    </message>
</context>
</TS>
