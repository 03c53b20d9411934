#include "cliutil.h"
#include "commands.h"
#include "interfaces/cyrcommonutils.h"
#include "plandata/planpaths.h"
#include "planfiles.h"
#include "planhost.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMap>
#include <QTemporaryDir>

namespace {

// One node of the demonstration plan: the step type that gets it, the task of that step
// (-1: the step itself) and its web-editor JSON.
struct DemoNode
{
    int stepType;
    int task;
    QString json;
};

const QVector<DemoNode> &demoNodes()
{
    static const QVector<DemoNode> nodes = {
        {1, -1, QStringLiteral(R"({"nodeType":"file","nodeContent":{"fileName":"导入视频.mp4",
            "cloudPath":"demo/intro.mp4","cloudThumb":"demo/intro_s.png","fileType":"mp4",
            "fileSize":"48","fileCloudSource":"localUpload","isTranslate":0}})")},
        {2, -1, QStringLiteral(R"({"nodeType":"ebook","nodeContent":{"pageName":"第3页","bookId":12,
            "bookType":"textbook","page":3,"cloudPath":"books/12/p3.j",
            "cloudThumb":"books/12/p3s.j","fileCloudSource":"vexopub"}})")},
        {4, -1, QStringLiteral(R"({"nodeType":"question","nodeContent":{"chName":"分数的意义",
            "questionId":"q-1001","questionType":"choice","fileCloudSource":"vexopub"}})")},
        {8, -1, QStringLiteral(R"({"nodeType":"paper","nodeContent":{"paperName":"随堂测试卷",
            "paperId":"paper-7"}})")},
        {16, -1, QStringLiteral(R"({"nodeType":"subjectApp","nodeContent":{"appName":"分数竞赛",
            "appBundleId":"com.orvane.fractions","appClassName":"FractionRace",
            "cloudThumb":"apps/fractions.png","fileCloudSource":"vexopub"}})")},
        {32, 0, QStringLiteral(R"({"nodeType":"file","nodeContent":{"fileName":"探究任务.docx",
            "cloudPath":"demo/task.docx","fileType":"docx","fileSize":"40",
            "fileCloudSource":"localUpload"}})")},
        {32, 1, QStringLiteral(R"({"nodeType":"question","nodeContent":{"chName":"讨论题",
            "questionId":"q-2002","questionType":"essay"}})")},
        {64, -1, QStringLiteral(R"({"nodeType":"file","nodeContent":{"fileName":"notes.txt",
            "cloudPath":"demo/notes.txt","fileType":"txt","fileSize":"32",
            "fileCloudSource":"localUpload"}})")},
    };
    return nodes;
}

// The step of each type in a plan document, with the task ids of each step.
struct StepIds
{
    QString stepId;
    QStringList taskIds;
};

QMap<int, StepIds> stepsByType(const QString &documentText)
{
    QMap<int, StepIds> result;
    for (const RecordLocation &record :
         recordsOf(QJsonDocument::fromJson(documentText.toUtf8()).object())) {
        if (record.kind == RecordLocation::Step)
            result[record.stepType].stepId = record.id;
        else if (record.kind == RecordLocation::Task)
            result[record.stepType].taskIds << record.id;
    }
    return result;
}

// Writes a small file at every local path that the records of the plan in directory name, so
// that its packages carry real content, and gives each file node of the host's plan the MD5
// of its file. The records are read from the document on disk: the controller hands the plan
// data's own lists to the resource manager after every edit.
bool writeDemoResources(const QString &directory, IYRPlanData &hostPlan, QString *error)
{
    PlanFile written;
    if (!written.open(directory, PlanFile::ReadOnly, error))
        return false;
    QVector<QJsonObject> records = written.data().getJsonFiles();
    records += written.data().getJsonQuestions();
    for (const QJsonObject &record : records) {
        const QString localPath = record.value(QStringLiteral("localPath")).toString();
        QString path;
        if (localPath.isEmpty() || !YRPlanPaths::planFilePath(directory, localPath, &path))
            continue;
        QDir().mkpath(QFileInfo(path).absolutePath());
        // As long as the node says, where it says: a check of the plan finds it sound.
        QByteArray content = QStringLiteral("demo resource %1\n").arg(localPath).toUtf8();
        const QString recordedSize = record.value(QStringLiteral("fileSize")).toString();
        if (!recordedSize.isEmpty())
            content = content.leftJustified(recordedSize.toInt(), '.', true);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
            *error = QStringLiteral("cannot write %1").arg(path);
            return false;
        }
        file.close();
        if (record.value(QStringLiteral("nodeType")).toString() == QLatin1String("file"))
            hostPlan.setNodeFileMD5(record.value(QStringLiteral("nodeId")).toString(),
                                    CYrCommonUtils::getFileMD5(path));
    }
    return true;
}

// Builds the demonstration plan through the controller's editing operations: one step of every
// type, a second task in the group-inquiry step, a node of every kind, and its resource files.
// Returns its directory.
QString buildDemoPlan(PlanHost &host, QString *error)
{
    YRTeachingPlanOperate &controller = host.controller();
    if (!host.createPlan(error))
        return QString();
    // Named as the host names the plan open in the editor.
    controller.renameTeachingPlan(QStringLiteral("local"), QStringLiteral("演示教案"), QString(),
                                  QStringLiteral("1"));
    // The new plan begins with a content explanation; the other six types follow, and the scene
    // introduction goes to the front.
    for (int code : {1, 4, 8, 16, 32, 64}) {
        const QString type = stepTypeName(code);
        controller.addStepOrTask(QString(), type, type);
    }
    QMap<int, StepIds> steps = stepsByType(host.planData().getJson());
    controller.orderStepOrTask(steps.value(1).stepId, steps.value(2).stepId, QString(), 2);
    controller.addStepOrTask(steps.value(32).stepId, QStringLiteral("分组探究任务单2"), QString());
    steps = stepsByType(host.planData().getJson());
    for (const DemoNode &node : demoNodes()) {
        const StepIds ids = steps.value(node.stepType);
        const QString taskId = node.task < 0 ? QString() : ids.taskIds.value(node.task);
        controller.appendNode(ids.stepId, taskId, node.json);
    }
    controller.setIntrospection(QStringLiteral("分数的意义讲得清楚；竞赛时间偏短。"));
    const QString directory = host.planDirectory();
    // The editing operations report nothing but a refused node: the tree tells what they did.
    int nodes = 0;
    for (const RecordLocation &record :
         recordsOf(QJsonDocument::fromJson(host.planData().getJson().toUtf8()).object()))
        nodes += record.kind == RecordLocation::Node ? 1 : 0;
    if (host.failureState() >= 0 || stepsByType(host.planData().getJson()).size() != 7 ||
        nodes != demoNodes().size()) {
        *error = QStringLiteral("the plan was not built as asked (%1 step types, %2 nodes%3)")
                     .arg(stepsByType(host.planData().getJson()).size())
                     .arg(nodes)
                     .arg(host.failureState() >= 0
                              ? QStringLiteral(", ") + describedState(host.failureState())
                              : QString());
        return QString();
    }
    return writeDemoResources(directory, host.planData(), error) ? directory : QString();
}

// Every file under a directory but the plan's document and its markers, by relative path,
// with its MD5.
QMap<QString, QString> resourcesWithDigests(const QString &directory)
{
    QMap<QString, QString> files;
    QDirIterator it(directory, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(directory).relativeFilePath(path);
        if (!relative.startsWith(QLatin1String("teachpkg.json")))
            files.insert(relative, CYrCommonUtils::getFileMD5(path));
    }
    return files;
}

// What two copies of a plan must share: the document of directory without the plan's name and
// update time, which the lifecycle changes, without its GUID, which names each copy's own
// directory, and without the task identifiers, which the document reader renews on every load.
QJsonObject comparableDocument(const QString &directory, QString *name)
{
    QFile file(documentPathOf(directory));
    QJsonObject document;
    if (file.open(QIODevice::ReadOnly))
        document = QJsonDocument::fromJson(file.readAll()).object();
    QJsonObject description = document.value(QStringLiteral("description")).toObject();
    *name = description.take(QStringLiteral("name")).toString();
    description.remove(QStringLiteral("updateTime"));
    description.remove(QStringLiteral("GUID"));
    document.insert(QStringLiteral("description"), description);
    QJsonArray steps = document.value(QStringLiteral("steps")).toArray();
    for (int s = 0; s < steps.size(); ++s) {
        QJsonObject step = steps.at(s).toObject();
        if (!step.contains(QStringLiteral("tasks")))
            continue;
        QJsonArray tasks = step.value(QStringLiteral("tasks")).toArray();
        for (int t = 0; t < tasks.size(); ++t) {
            QJsonObject task = tasks.at(t).toObject();
            task.remove(QStringLiteral("taskId"));
            tasks.replace(t, task);
        }
        step.insert(QStringLiteral("tasks"), tasks);
        steps.replace(s, step);
    }
    document.insert(QStringLiteral("steps"), steps);
    return document;
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

// The document path under the root of a plan directory that the controller made.
QString jsonPathOf(const QString &directory)
{
    RootedPlan rooted;
    QString error;
    return locateRootedPlan(directory, &rooted, &error) ? rooted.jsonPath : QString();
}

// The local lifecycle, with nobody signed in.
int runLocalDemo(const SubcommandLine &line)
{
    QTemporaryDir workspace;
    if (!workspace.isValid())
        return line.fail(QStringLiteral("cannot create a temporary directory"));
    // The whole teaching-plan root lies in the temporary directory.
    qputenv("ALLUSERSPROFILE", QFile::encodeName(workspace.path()));
    PlanHost host(line.isSet(QStringLiteral("trace")));
    QTextStream &out = standardOutput();
    QString error;

    const QString created = buildDemoPlan(host, &error);
    if (created.isEmpty())
        return line.fail(error);
    PlanFile original;
    if (!original.open(created, PlanFile::ReadOnly, &error))
        return line.fail(error);
    printPlanTree(original, out);
    out << "created  " << created << '\n';

    const QString name = host.planData().getTeachingPlanAttr().strName;
    const QString package = workspace.path() + QLatin1Char('/') + name + QStringLiteral(".yrtp");
    if (!host.saveOpenPlan(package, &error))
        return line.fail(error);
    out << "saved    " << package << " (" << QFileInfo(package).size() << " bytes)\n";
    QStringList problems;
    if (!checkPlan(package, &problems, &error))
        return line.fail(error);
    out << "checked  " << package << ": "
        << (problems.isEmpty() ? QStringLiteral("all well") : problems.join(QStringLiteral("; ")))
        << '\n';
    if (!host.importPackage(package, &error))
        return line.fail(error);
    const QString imported = host.planDirectory();
    out << "imported " << imported << '\n';
    if (!host.openPackage(package, false, &error))
        return line.fail(error);
    const QString opened = host.planDirectory();
    out << "opened   " << opened << '\n';
    const QString newName = name + QStringLiteral("（导入）");
    if (!host.renamePlan(jsonPathOf(imported), newName, &error))
        return line.fail(error);
    out << "renamed  " << imported << " to \"" << newName << "\"\n";

    // The copies agree with the original but for the imported plan's new name.
    QString originalName;
    QString importedName;
    QString openedName;
    const QJsonObject originalDocument = comparableDocument(created, &originalName);
    const bool documentsEqual = comparableDocument(imported, &importedName) == originalDocument &&
                                comparableDocument(opened, &openedName) == originalDocument &&
                                originalName == name && importedName == newName &&
                                openedName == name;
    const QMap<QString, QString> originalFiles = resourcesWithDigests(created);
    const bool filesEqual = resourcesWithDigests(imported) == originalFiles &&
                            resourcesWithDigests(opened) == originalFiles;

    for (const QString &directory : {created, imported, opened}) {
        if (!host.deletePlan(jsonPathOf(directory), &error))
            return line.fail(error);
        if (QFileInfo::exists(directory))
            return line.fail(QStringLiteral("%1 is still there after its deletion").arg(directory));
    }
    out << "deleted  the three plans\n";
    out << "resource files: " << originalFiles.size() << ", equal: " << yesNo(filesEqual) << '\n';
    out << "documents equal: " << yesNo(documentsEqual) << '\n';
    return filesEqual && documentsEqual && problems.isEmpty() ? ExitSuccess : ExitFailure;
}

} // namespace

int runDemoCommand(const QStringList &arguments)
{
    SubcommandLine line(
        QStringLiteral("demo"),
        QStringLiteral("The whole local lifecycle through the plan controller, in a temporary "
                       "teaching-plan root: creates a plan and gives it a step of every type and "
                       "a node of every kind with the controller's editing operations, shows it, "
                       "saves it into a package and checks the package, imports the package, opens "
                       "it, renames the imported plan, compares the three copies and deletes "
                       "them.\nPrints \"documents equal: yes\" and exits 0 when the documents "
                       "(names, steps, nodes) and their files agree and every stage succeeded.\n"
                       "With --cloud, the signed-in road instead, against a yrcloud of its own on "
                       "a free loopback port: a plan with local files and a question saved to the "
                       "cloud, opened from it into a fresh teaching-plan root, changed and saved "
                       "again, exported, imported and deleted; prints \"equal: yes\" and exits 0 "
                       "when every file arrived byte for byte."));
    line.addOption(QStringLiteral("trace"),
                   QStringLiteral("Print every state code and JavaScript statement that the "
                                  "controller reports, in order; with --cloud, every request and "
                                  "transfer with its outcome too."));
    line.addOption(QStringLiteral("cloud"),
                   QStringLiteral("Walk the signed-in road against a yrcloud started for it."));
    line.addOption(QStringLiteral("yrcloud"),
                   QStringLiteral("The yrcloud to start (default: the one beside yrplan, as "
                                  "built or installed)."),
                   QStringLiteral("PATH"));
    int exitCode = ExitSuccess;
    if (!line.parse(arguments, 0, 0, &exitCode))
        return exitCode;
    if (line.isSet(QStringLiteral("yrcloud")) && !line.isSet(QStringLiteral("cloud")))
        return line.usageError(QStringLiteral("--yrcloud goes with --cloud"));
    return line.isSet(QStringLiteral("cloud")) ? runCloudDemo(line) : runLocalDemo(line);
}
