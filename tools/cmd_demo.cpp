#include "cliutil.h"
#include "commands.h"
#include "interfaces/cyrcommonutils.h"
#include "plandata/planpaths.h"
#include "planfiles.h"

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

// Writes a small file at every local path that the plan's records name, so that the package
// carries real content, and gives each file node the MD5 of its file.
bool writeDemoResources(IYRPlanData &plan, QString *error)
{
    QVector<QJsonObject> records = plan.getJsonFiles();
    records += plan.getJsonQuestions();
    for (const QJsonObject &record : records) {
        const QString localPath = record.value(QStringLiteral("localPath")).toString();
        QString path;
        if (localPath.isEmpty() ||
            !YRPlanPaths::planFilePath(plan.getTeachingPlanDir(), localPath, &path))
            continue;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(QStringLiteral("demo resource %1\n").arg(localPath).toUtf8()) < 0) {
            *error = QStringLiteral("cannot write %1").arg(path);
            return false;
        }
        file.close();
        if (record.value(QStringLiteral("nodeType")).toString() == QLatin1String("file"))
            plan.setNodeFileMD5(record.value(QStringLiteral("nodeId")).toString(),
                                CYrCommonUtils::getFileMD5(path));
    }
    return true;
}

// Builds the demonstration plan under the default teaching-plan root: one step of every type, a
// second task in the group-inquiry step, a node of every kind, and its resource files. Returns its
// directory.
QString buildDemoPlan(QString *error)
{
    YRPlanData plan;
    const QString directory = createPlan(plan, QString(), QStringLiteral("演示教案"), error);
    if (directory.isEmpty())
        return QString();
    // The new plan begins with a scene introduction; the other six types follow.
    for (int code : {2, 4, 8, 16, 32, 64}) {
        const QString type = stepTypeName(code);
        if (!plan.addStepOrTask(QString(), type, type)) {
            *error = QStringLiteral("cannot add a %1 step").arg(type);
            return QString();
        }
    }
    const QString inquiryStep = stepsByType(plan.getJson()).value(32).stepId;
    if (!plan.addStepOrTask(inquiryStep, QStringLiteral("分组探究任务单2"), QString())) {
        *error = QStringLiteral("cannot add the second task");
        return QString();
    }
    const QMap<int, StepIds> steps = stepsByType(plan.getJson());
    for (const DemoNode &node : demoNodes()) {
        const StepIds ids = steps.value(node.stepType);
        const QString taskId = node.task < 0 ? QString() : ids.taskIds.value(node.task);
        if (!plan.appendNode(ids.stepId, taskId, node.json)) {
            *error = QStringLiteral("cannot add a node to the step of type %1").arg(node.stepType);
            return QString();
        }
    }
    if (!writeDemoResources(plan, error))
        return QString();
    if (!plan.saveJson(plan.getJson(), QString())) {
        *error = QStringLiteral("cannot write %1").arg(documentPathOf(directory));
        return QString();
    }
    return directory;
}

// Every file under a directory, by relative path, with its MD5.
QMap<QString, QString> filesWithDigests(const QString &directory)
{
    QMap<QString, QString> files;
    QDirIterator it(directory, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(directory).relativeFilePath(path), CYrCommonUtils::getFileMD5(path));
    }
    return files;
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

} // namespace

int runDemoCommand(const QStringList &arguments)
{
    SubcommandLine line(QStringLiteral("demo"),
                        QStringLiteral("In a temporary teaching-plan root: builds a plan with "
                                       "every step type and every node kind, shows it, packs "
                                       "it, unpacks it into a second directory, reads both back "
                                       "and compares them.\nPrints \"documents equal: yes\" and "
                                       "exits 0 when the two documents and their files agree."));
    int exitCode = ExitSuccess;
    if (!line.parse(arguments, 0, 0, &exitCode))
        return exitCode;

    QTemporaryDir workspace;
    if (!workspace.isValid())
        return line.fail(QStringLiteral("cannot create a temporary directory"));
    // The whole teaching-plan root, the default one that a new plan's attributes set up
    // included, lies in the temporary directory.
    qputenv("ALLUSERSPROFILE", QFile::encodeName(workspace.path()));
    QString error;
    const QString directory = buildDemoPlan(&error);
    PlanFile original;
    if (directory.isEmpty() || !original.open(directory, PlanFile::ReadOnly, &error))
        return line.fail(error);
    QTextStream &out = standardOutput();
    printPlanTree(original, out);

    const QString guid = QFileInfo(directory).fileName();
    const QString package = workspace.path() + QLatin1Char('/') + guid + QStringLiteral(".yrtp");
    if (!packPlanDirectory(directory, package, &error))
        return line.fail(error);
    out << "packed   " << package << " (" << QFileInfo(package).size() << " bytes)\n";
    // The copy lies in a directory of the same name: the GUID is the directory's name.
    const QString copyDirectory = workspace.path() + QStringLiteral("/unpacked/") + guid;
    PlanFile copy;
    if (!unpackPackage(package, copyDirectory, &error) ||
        !copy.open(copyDirectory, PlanFile::ReadOnly, &error))
        return line.fail(error);
    out << "unpacked " << copyDirectory << '\n';

    const QMap<QString, QString> originalFiles = filesWithDigests(directory);
    const bool filesEqual = originalFiles == filesWithDigests(copyDirectory);
    const bool documentsEqual = original.documentText() == copy.documentText();
    out << "resource files: " << originalFiles.size() << ", equal: " << yesNo(filesEqual) << '\n';
    out << "documents equal: " << yesNo(documentsEqual) << '\n';
    return filesEqual && documentsEqual ? ExitSuccess : ExitFailure;
}
