// The yrplan command-line host, run as a separate process on real plan directories.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

namespace {

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;

    QStringList errLines() const { return err.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    QStringList outLines() const { return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
};

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Every entry under a directory, relative, so that a test sees files appear or vanish.
QStringList treeOf(const QString &directory)
{
    QStringList entries;
    QDirIterator it(directory, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << QDir(directory).relativeFilePath(it.next());
    entries.sort();
    return entries;
}

QJsonArray stepsOf(const QJsonObject &document)
{
    return document.value(QStringLiteral("steps")).toArray();
}

QJsonObject attrOf(const QJsonValue &step)
{
    return step.toObject().value(QStringLiteral("attr")).toObject();
}

QStringList idsOf(const QJsonArray &records, const QString &key)
{
    QStringList ids;
    for (const QJsonValue &record : records) {
        const QJsonObject object = record.toObject();
        ids << (key == QLatin1String("stepId") ? object.value(QStringLiteral("attr")).toObject()
                                               : object)
                   .value(key)
                   .toString();
    }
    return ids;
}

const char kPaperJson[] =
    R"({"nodeType":"paper","nodeContent":{"paperId":"p-1","paperName":"卷一"}})";

} // namespace

class TestYrplan : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void topLevelHelpListsEverySubcommand();
    void everySubcommandHasHelp_data();
    void everySubcommandHasHelp();
    void unknownSubcommandIsAUsageError();
    void versionIsPrinted();
    void debugLogIsSilentUnlessVerbose();

    void newCreatesPlanUnderTheProfileRoot();
    void newHonoursAnotherRoot();
    void stepTypeArgumentsNameTheDocumentType_data();
    void stepTypeArgumentsNameTheDocumentType();
    void editsRoundTripThroughTheDocument();
    void taskIdentifiersStayStableAcrossCommands();
    void nodesMoveWithinTheirList();
    void deleteKindsEmptyOrRemove();

    void failuresLeaveThePlanUntouched_data();
    void failuresLeaveThePlanUntouched();
    void unusableDocumentsAreReported_data();
    void unusableDocumentsAreReported();

    void filesListsRecordsAndTheTotal();
    void diffListsLocallyAddedFiles();

    void packAndUnpackRoundTrip();
    void packagesAreReadOnlyButShowable();
    void packAndUnpackRefuseBadInput();
    void unpackRefusesEntriesThatLeaveTheDirectory();

    void demoBuildsEveryKindAndFindsCopiesEqual();

private:
    Result run(const QStringList &arguments);
    QString newPlan(const QString &name = QString());
    QString runForId(const QStringList &arguments);
    QJsonObject documentOf(const QString &plan);
    void buildFixture();

    std::unique_ptr<QTemporaryDir> home;
    // The fixture plan of the table tests: an intro step with a paper node, and a group-inquiry
    // step with its first task.
    QString plan, introStep, inquiryStep, task, paperNode;
};

void TestYrplan::init()
{
    home = std::make_unique<QTemporaryDir>();
    QVERIFY(home->isValid());
}

Result TestYrplan::run(const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ALLUSERSPROFILE"), home->path());
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(home->path());
    process.start(QStringLiteral(YRPLAN_EXECUTABLE), arguments);
    Result result;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QString TestYrplan::runForId(const QStringList &arguments)
{
    const Result result = run(arguments);
    if (result.exitCode != 0 || result.outLines().size() != 1) {
        qWarning() << arguments << result.exitCode << result.err;
        return QString();
    }
    return result.outLines().first();
}

QString TestYrplan::newPlan(const QString &name)
{
    QStringList arguments{QStringLiteral("new")};
    if (!name.isEmpty())
        arguments << QStringLiteral("--name") << name;
    return runForId(arguments);
}

QJsonObject TestYrplan::documentOf(const QString &planPath)
{
    const Result result = run({QStringLiteral("show"), planPath, QStringLiteral("--json")});
    if (result.exitCode != 0)
        return QJsonObject();
    return QJsonDocument::fromJson(result.out.toUtf8()).object();
}

void TestYrplan::buildFixture()
{
    plan = newPlan(QStringLiteral("fixture"));
    QVERIFY(!plan.isEmpty());
    introStep = attrOf(stepsOf(documentOf(plan)).at(0)).value(QStringLiteral("stepId")).toString();
    paperNode = runForId({QStringLiteral("add-node"), plan, introStep, QStringLiteral("--json"),
                          QString::fromUtf8(kPaperJson)});
    inquiryStep = runForId(
        {QStringLiteral("add-step"), plan, QStringLiteral("--type"), QStringLiteral("inquiry")});
    QVERIFY(!paperNode.isEmpty() && !inquiryStep.isEmpty());
    const QJsonArray tasks =
        stepsOf(documentOf(plan)).at(1).toObject().value(QStringLiteral("tasks")).toArray();
    QCOMPARE(tasks.size(), 1);
    task = tasks.at(0).toObject().value(QStringLiteral("taskId")).toString();
}

void TestYrplan::topLevelHelpListsEverySubcommand()
{
    const Result result = run({QStringLiteral("--help")});
    QCOMPARE(result.exitCode, 0);
    for (const char *name : {"new", "show", "add-step", "add-task", "add-node", "rename", "move",
                             "delete", "files", "diff", "pack", "unpack", "url", "demo"})
        QVERIFY2(result.out.contains(QStringLiteral("\n  %1 ").arg(QLatin1String(name))), name);
}

void TestYrplan::everySubcommandHasHelp_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("new") << "new"
                         << "--root";
    QTest::newRow("show") << "show"
                          << "--json";
    QTest::newRow("add-step") << "add-step"
                              << "--type";
    QTest::newRow("add-task") << "add-task"
                              << "STEP_ID";
    QTest::newRow("add-node") << "add-node"
                              << "--task";
    QTest::newRow("rename") << "rename"
                            << "--desc";
    QTest::newRow("move") << "move"
                          << "--before";
    QTest::newRow("delete") << "delete"
                            << "--kind";
    QTest::newRow("files") << "files"
                           << "PLAN";
    QTest::newRow("diff") << "diff"
                          << "OTHER";
    QTest::newRow("pack") << "pack"
                          << "PLAN_DIR";
    QTest::newRow("unpack") << "unpack"
                            << "DIR";
    QTest::newRow("demo") << "demo"
                          << "documents equal";
}

void TestYrplan::everySubcommandHasHelp()
{
    QFETCH(QString, command);
    QFETCH(QString, mentions);
    const Result result = run({command, QStringLiteral("--help")});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.startsWith(QStringLiteral("Usage: yrplan %1 [options]").arg(command)));
    QVERIFY2(result.out.contains(mentions), qPrintable(result.out));
    QVERIFY(result.out.contains(QStringLiteral("--verbose")));
    QVERIFY(result.err.isEmpty());
}

void TestYrplan::unknownSubcommandIsAUsageError()
{
    const Result result = run({QStringLiteral("frobnicate"), QStringLiteral("x")});
    QCOMPARE(result.exitCode, 2);
    QCOMPARE(result.errLines().size(), 1);
    QVERIFY(result.errLines().first().contains(QStringLiteral("frobnicate")));
    QVERIFY(result.out.isEmpty());
}

void TestYrplan::versionIsPrinted()
{
    const Result result = run({QStringLiteral("--version")});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.startsWith(QStringLiteral("yrplan ")));
}

void TestYrplan::debugLogIsSilentUnlessVerbose()
{
    const QString planPath = newPlan();
    QVERIFY(!planPath.isEmpty());
    const Result quiet = run({QStringLiteral("show"), planPath});
    QCOMPARE(quiet.exitCode, 0);
    QVERIFY2(quiet.err.isEmpty(), qPrintable(quiet.err));
    const Result verbose = run({QStringLiteral("--verbose"), QStringLiteral("show"), planPath});
    QCOMPARE(verbose.exitCode, 0);
    QVERIFY2(verbose.err.contains(QStringLiteral("YRPlanData::")), qPrintable(verbose.err));
    QCOMPARE(verbose.out, quiet.out);
}

void TestYrplan::newCreatesPlanUnderTheProfileRoot()
{
    const QString planPath = newPlan(QStringLiteral("分数 第一课"));
    QVERIFY(!planPath.isEmpty());
    const QString root = home->path() + QStringLiteral("/Orvane/Tavrunelcore/TeachPlans/local/");
    QVERIFY2(planPath.startsWith(root), qPrintable(planPath));
    const QStringList parts = planPath.mid(root.size()).split(QLatin1Char('/'));
    QCOMPARE(parts.size(), 2);
    const QDateTime midnight(QDate::currentDate(), QTime(0, 0));
    QCOMPARE(parts.at(0), QString::number(midnight.toSecsSinceEpoch()));
    QVERIFY(QFileInfo(planPath + QStringLiteral("/teachpkg.json")).isFile());

    const QJsonObject document = documentOf(planPath);
    const QJsonObject description = document.value(QStringLiteral("description")).toObject();
    QCOMPARE(description.value(QStringLiteral("name")).toString(), QStringLiteral("分数 第一课"));
    QCOMPARE(description.value(QStringLiteral("GUID")).toString(), parts.at(1));
    QCOMPARE(description.value(QStringLiteral("documentVersion")).toString(),
             QStringLiteral("5.0"));
    QCOMPARE(stepsOf(document).size(), 1);
    QCOMPARE(attrOf(stepsOf(document).at(0)).value(QStringLiteral("stepType")).toString(),
             QStringLiteral("情景导入"));
}

void TestYrplan::newHonoursAnotherRoot()
{
    QTemporaryDir other;
    const QString planPath =
        runForId({QStringLiteral("new"), QStringLiteral("--root"), other.path()});
    QVERIFY2(planPath.startsWith(other.path() + QStringLiteral("/local/")), qPrintable(planPath));
    QVERIFY(QFileInfo(planPath + QStringLiteral("/teachpkg.json")).isFile());
    // The default title carries today's date.
    const QDate today = QDate::currentDate();
    QCOMPARE(
        documentOf(planPath)
            .value(QStringLiteral("description"))
            .toObject()
            .value(QStringLiteral("name"))
            .toString(),
        QStringLiteral("未命名教案%1-%2-%3").arg(today.year()).arg(today.month()).arg(today.day()));
}

void TestYrplan::stepTypeArgumentsNameTheDocumentType_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("documentType");
    QTest::newRow("Chinese name") << "同步习题"
                                  << "同步习题";
    QTest::newRow("older intro spelling") << "情境导入"
                                          << "情景导入";
    QTest::newRow("code 1") << "1"
                            << "情景导入";
    QTest::newRow("code 2") << "2"
                            << "内容精讲";
    QTest::newRow("code 8") << "8"
                            << "随堂测试";
    QTest::newRow("code 64") << "64"
                             << "自定义";
    QTest::newRow("intro") << "intro"
                           << "情景导入";
    QTest::newRow("EXPLAIN") << "EXPLAIN"
                             << "内容精讲";
    QTest::newRow("exercise") << "exercise"
                              << "同步习题";
    QTest::newRow("test") << "test"
                          << "随堂测试";
    QTest::newRow("competition") << "competition"
                                 << "分组竞赛";
    QTest::newRow("inquiry") << "inquiry"
                             << "分组探究";
    QTest::newRow("custom") << "custom"
                            << "自定义";
}

void TestYrplan::stepTypeArgumentsNameTheDocumentType()
{
    QFETCH(QString, argument);
    QFETCH(QString, documentType);
    const QString planPath = newPlan();
    const QString stepId = runForId({QStringLiteral("add-step"), planPath, QStringLiteral("--type"),
                                     argument, QStringLiteral("--name"), QStringLiteral("S")});
    QVERIFY(!stepId.isEmpty());
    const QJsonArray steps = stepsOf(documentOf(planPath));
    QCOMPARE(steps.size(), 2);
    QCOMPARE(attrOf(steps.at(1)).value(QStringLiteral("stepId")).toString(), stepId);
    QCOMPARE(attrOf(steps.at(1)).value(QStringLiteral("stepType")).toString(), documentType);
    QCOMPARE(attrOf(steps.at(1)).value(QStringLiteral("stepName")).toString(), QStringLiteral("S"));
}

void TestYrplan::editsRoundTripThroughTheDocument()
{
    const QString planPath = newPlan();
    const QString intro =
        attrOf(stepsOf(documentOf(planPath)).at(0)).value(QStringLiteral("stepId")).toString();
    const QString explain =
        runForId({QStringLiteral("add-step"), planPath, QStringLiteral("--type"),
                  QStringLiteral("explain"), QStringLiteral("--name"), QStringLiteral("讲解")});
    const QString inquiry = runForId(
        {QStringLiteral("add-step"), planPath, QStringLiteral("--type"), QStringLiteral("32")});
    QVERIFY(!explain.isEmpty() && !inquiry.isEmpty());
    const QString secondTask =
        runForId({QStringLiteral("add-task"), planPath, inquiry, QStringLiteral("--name"),
                  QStringLiteral("任务二"), QStringLiteral("--desc"), QStringLiteral("讨论")});
    QVERIFY(!secondTask.isEmpty());

    QTemporaryDir scratch;
    const QString nodeFile = scratch.path() + QStringLiteral("/node.json");
    QVERIFY(writeFile(nodeFile, R"({"nodeType":"file","nodeContent":{"fileName":"a.png",
        "cloudPath":"c/a.png","fileSize":"10","fileCloudSource":"localUpload"}})"));
    const QString fileNode = runForId(
        {QStringLiteral("add-node"), planPath, explain, QStringLiteral("--file"), nodeFile});
    const QString questionNode = runForId(
        {QStringLiteral("add-node"), planPath, inquiry, QStringLiteral("--task"), secondTask,
         QStringLiteral("--json"),
         QStringLiteral(
             R"({"nodeType":"question","nodeContent":{"questionId":"q1","questionType":"choice","chName":"题"}})")});
    QVERIFY(!fileNode.isEmpty() && !questionNode.isEmpty());

    QCOMPARE(run({QStringLiteral("rename"), planPath, explain, QStringLiteral("--name"),
                  QStringLiteral("精讲")})
                 .exitCode,
             0);
    QCOMPARE(run({QStringLiteral("rename"), planPath, secondTask, QStringLiteral("--name"),
                  QStringLiteral("任务2")})
                 .exitCode,
             0);
    QCOMPARE(run({QStringLiteral("move"), planPath, inquiry, QStringLiteral("--before"), intro})
                 .exitCode,
             0);

    const QJsonArray steps = stepsOf(documentOf(planPath));
    QCOMPARE(idsOf(steps, QStringLiteral("stepId")), (QStringList{inquiry, intro, explain}));
    QCOMPARE(attrOf(steps.at(2)).value(QStringLiteral("stepName")).toString(),
             QStringLiteral("精讲"));
    const QJsonArray explainNodes = steps.at(2).toObject().value(QStringLiteral("nodes")).toArray();
    QCOMPARE(idsOf(explainNodes, QStringLiteral("nodeId")), QStringList{fileNode});
    const QJsonObject fileContent =
        explainNodes.at(0).toObject().value(QStringLiteral("nodeContent")).toObject();
    QCOMPARE(fileContent.value(QStringLiteral("localPath")).toString(),
             QStringLiteral("/%1/a.png").arg(explain));

    const QJsonArray tasks = steps.at(0).toObject().value(QStringLiteral("tasks")).toArray();
    QCOMPARE(tasks.size(), 2);
    const QJsonObject second = tasks.at(1).toObject();
    QCOMPARE(second.value(QStringLiteral("taskId")).toString(), secondTask);
    QCOMPARE(second.value(QStringLiteral("taskName")).toString(), QStringLiteral("任务2"));
    // A rename without --desc keeps the description.
    QCOMPARE(second.value(QStringLiteral("taskDesc")).toString(), QStringLiteral("讨论"));
    QCOMPARE(idsOf(second.value(QStringLiteral("nodes")).toArray(), QStringLiteral("nodeId")),
             QStringList{questionNode});

    QCOMPARE(run({QStringLiteral("delete"), planPath, secondTask}).exitCode, 0);
    QCOMPARE(run({QStringLiteral("delete"), planPath, fileNode}).exitCode, 0);
    const QJsonArray after = stepsOf(documentOf(planPath));
    QCOMPARE(after.at(0).toObject().value(QStringLiteral("tasks")).toArray().size(), 1);
    QVERIFY(after.at(2).toObject().value(QStringLiteral("nodes")).toArray().isEmpty());
}

void TestYrplan::taskIdentifiersStayStableAcrossCommands()
{
    buildFixture();
    // Several loads and saves later the task keeps the identifier that show gave it first.
    for (int i = 0; i < 3; ++i)
        QCOMPARE(run({QStringLiteral("rename"), plan, introStep, QStringLiteral("--name"),
                      QStringLiteral("n%1").arg(i)})
                     .exitCode,
                 0);
    const QJsonArray tasks =
        stepsOf(documentOf(plan)).at(1).toObject().value(QStringLiteral("tasks")).toArray();
    QCOMPARE(tasks.at(0).toObject().value(QStringLiteral("taskId")).toString(), task);
    QCOMPARE(
        run({QStringLiteral("rename"), plan, task, QStringLiteral("--desc"), QStringLiteral("d")})
            .exitCode,
        0);
    QVERIFY(fileBytes(plan + QStringLiteral("/teachpkg.json")).contains(task.toUtf8()));
}

void TestYrplan::nodesMoveWithinTheirList()
{
    buildFixture();
    QStringList nodes{paperNode};
    for (const char *id : {"p-2", "p-3"})
        nodes << runForId({QStringLiteral("add-node"), plan, introStep, QStringLiteral("--json"),
                           QStringLiteral(R"({"nodeType":"paper","nodeContent":{"paperId":"%1"}})")
                               .arg(QLatin1String(id))});
    QVERIFY(!nodes.contains(QString()));
    QCOMPARE(run({QStringLiteral("move"), plan, nodes.at(2), QStringLiteral("--before"),
                  nodes.at(0), QStringLiteral("--parent"), introStep})
                 .exitCode,
             0);
    const auto introNodes = [&] {
        return idsOf(
            stepsOf(documentOf(plan)).at(0).toObject().value(QStringLiteral("nodes")).toArray(),
            QStringLiteral("nodeId"));
    };
    QCOMPARE(introNodes(), (QStringList{nodes.at(2), nodes.at(0), nodes.at(1)}));

    // Nodes inside a task move among that task's nodes.
    QStringList taskNodes;
    for (const char *id : {"t-1", "t-2"})
        taskNodes << runForId(
            {QStringLiteral("add-node"), plan, inquiryStep, QStringLiteral("--task"), task,
             QStringLiteral("--json"),
             QStringLiteral(R"({"nodeType":"paper","nodeContent":{"paperId":"%1"}})")
                 .arg(QLatin1String(id))});
    QCOMPARE(run({QStringLiteral("move"), plan, taskNodes.at(1), QStringLiteral("--before"),
                  taskNodes.at(0)})
                 .exitCode,
             0);
    const QJsonArray tasks =
        stepsOf(documentOf(plan)).at(1).toObject().value(QStringLiteral("tasks")).toArray();
    QCOMPARE(idsOf(tasks.at(0).toObject().value(QStringLiteral("nodes")).toArray(),
                   QStringLiteral("nodeId")),
             (QStringList{taskNodes.at(1), taskNodes.at(0)}));
}

void TestYrplan::deleteKindsEmptyOrRemove()
{
    buildFixture();
    QVERIFY(!runForId({QStringLiteral("add-node"), plan, inquiryStep, QStringLiteral("--task"),
                       task, QStringLiteral("--json"), QString::fromUtf8(kPaperJson)})
                 .isEmpty());
    QCOMPARE(run({QStringLiteral("delete"), plan, task, QStringLiteral("--kind"),
                  QStringLiteral("empty-task")})
                 .exitCode,
             0);
    QJsonArray steps = stepsOf(documentOf(plan));
    QCOMPARE(steps.at(1).toObject().value(QStringLiteral("tasks")).toArray().size(), 1);
    QVERIFY(
        steps.at(1).toObject()["tasks"].toArray().at(0).toObject()["nodes"].toArray().isEmpty());

    QCOMPARE(run({QStringLiteral("delete"), plan, introStep, QStringLiteral("--kind"),
                  QStringLiteral("empty-step")})
                 .exitCode,
             0);
    steps = stepsOf(documentOf(plan));
    QCOMPARE(steps.size(), 2);
    QVERIFY(steps.at(0).toObject().value(QStringLiteral("nodes")).toArray().isEmpty());

    QCOMPARE(run({QStringLiteral("delete"), plan, inquiryStep}).exitCode, 0);
    QCOMPARE(idsOf(stepsOf(documentOf(plan)), QStringLiteral("stepId")), QStringList{introStep});
}

void TestYrplan::failuresLeaveThePlanUntouched_data()
{
    // Placeholders: PLAN, INTRO (a step with a paper node), INQUIRY (a group-inquiry step),
    // TASK (its task), NODE (the paper node), PACKAGE (a .yrtp of the plan).
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    const auto row = [](const char *name, const QString &line, int code) {
        QTest::newRow(name) << line.split(QLatin1Char('|')) << code;
    };
    row("unknown id to rename", "rename|PLAN|no-such-id|--name|x", 1);
    row("rename a node", "rename|PLAN|NODE|--name|x", 1);
    row("rename with nothing to change", "rename|PLAN|INTRO", 2);
    row("desc on a step", "rename|PLAN|INTRO|--desc|d", 2);
    row("unknown step for a task", "add-task|PLAN|no-such-id|--name|t", 1);
    row("task in an intro step", "add-task|PLAN|INTRO|--name|t", 1);
    row("task without a name", "add-task|PLAN|INQUIRY", 2);
    row("unknown step type", "add-step|PLAN|--type|bogus", 2);
    row("step without a type", "add-step|PLAN|--name|x", 2);
    row("node JSON that does not parse", "add-node|PLAN|INTRO|--json|{nodeType", 1);
    row("node JSON of an unknown type",
        R"(add-node|PLAN|INTRO|--json|{"nodeType":"File","nodeContent":{}})", 1);
    row("node JSON without content", R"(add-node|PLAN|INTRO|--json|{"nodeType":"paper"})", 1);
    row("node already in the step",
        QStringLiteral("add-node|PLAN|INTRO|--json|") + QString::fromUtf8(kPaperJson), 1);
    row("node into an inquiry step without a task",
        QStringLiteral("add-node|PLAN|INQUIRY|--json|") + QString::fromUtf8(kPaperJson), 1);
    row("node into a task of another step",
        QStringLiteral("add-node|PLAN|INTRO|--task|TASK|--json|") + QString::fromUtf8(kPaperJson),
        1);
    row("node into an unknown task",
        QStringLiteral("add-node|PLAN|INQUIRY|--task|nope|--json|") + QString::fromUtf8(kPaperJson),
        1);
    row("node JSON from a missing file", "add-node|PLAN|INTRO|--file|/no/such/node.json", 1);
    row("node JSON given twice", "add-node|PLAN|INTRO|--json|{}|--file|x", 2);
    row("move before an unknown id", "move|PLAN|INQUIRY|--before|nope", 1);
    row("move a step before a node", "move|PLAN|INQUIRY|--before|NODE", 1);
    row("move a task", "move|PLAN|TASK|--before|INQUIRY", 1);
    row("move a node into another step", "move|PLAN|NODE|--before|NODE|--parent|INQUIRY", 1);
    row("move without before", "move|PLAN|INQUIRY", 2);
    row("delete an unknown id", "delete|PLAN|no-such-id", 1);
    row("delete a step as a node", "delete|PLAN|INTRO|--kind|node", 1);
    row("delete with an unknown kind", "delete|PLAN|INTRO|--kind|everything", 2);
    row("edit a package", "rename|PACKAGE|INTRO|--name|x", 1);
    row("unknown option", "rename|PLAN|INTRO|--colour|red", 2);
    row("missing arguments", "add-task|PLAN", 2);
    row("too many arguments", "show|PLAN|PLAN", 2);
    row("missing plan", "show|/no/such/plan", 1);
    row("plan that is another kind of file", "show|PLAN/../notes.txt", 1);
}

void TestYrplan::failuresLeaveThePlanUntouched()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    buildFixture();
    QTemporaryDir scratch;
    const QString package = scratch.path() + QStringLiteral("/plan.yrtp");
    QCOMPARE(run({QStringLiteral("pack"), plan, package}).exitCode, 0);
    QVERIFY(writeFile(QFileInfo(plan).absolutePath() + QStringLiteral("/notes.txt"), "notes"));

    for (QString &argument : arguments) {
        argument.replace(QStringLiteral("PLAN"), plan)
            .replace(QStringLiteral("INTRO"), introStep)
            .replace(QStringLiteral("INQUIRY"), inquiryStep)
            .replace(QStringLiteral("TASK"), task)
            .replace(QStringLiteral("NODE"), paperNode)
            .replace(QStringLiteral("PACKAGE"), package);
    }
    const QByteArray before = fileBytes(plan + QStringLiteral("/teachpkg.json"));
    const QStringList treeBefore = treeOf(home->path());

    const Result result = run(arguments);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.errLines().size(), 1);
    QVERIFY2(
        result.errLines().first().startsWith(QStringLiteral("yrplan %1: ").arg(arguments.first())),
        qPrintable(result.err));
    QVERIFY(result.out.isEmpty());
    QCOMPARE(fileBytes(plan + QStringLiteral("/teachpkg.json")), before);
    QCOMPARE(treeOf(home->path()), treeBefore);
}

void TestYrplan::unusableDocumentsAreReported_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::newRow("not JSON") << QByteArray("{\"description\": ");
    QTest::newRow("an array") << QByteArray("[1, 2]");
    QTest::newRow("no description") << QByteArray(R"({"steps": []})");
    QTest::newRow("unsupported version")
        << QByteArray(R"({"description": {"documentVersion": "6.0"}, "steps": []})");
    QTest::newRow("unknown step type") << QByteArray(R"({"description": {"documentVersion": "5.0"},
                          "steps": [{"attr": {"stepId": "s", "stepType": "other"}}]})");
    QTest::newRow("empty file") << QByteArray();
}

void TestYrplan::unusableDocumentsAreReported()
{
    QFETCH(QByteArray, document);
    const QString planPath = home->path() + QStringLiteral("/broken");
    const QString documentPath = planPath + QStringLiteral("/teachpkg.json");
    QVERIFY(writeFile(documentPath, document));
    for (const QStringList &arguments : {QStringList{QStringLiteral("show"), planPath},
                                         QStringList{QStringLiteral("files"), documentPath},
                                         QStringList{QStringLiteral("add-step"), planPath,
                                                     QStringLiteral("--type"), QStringLiteral("1")},
                                         QStringList{QStringLiteral("pack"), planPath,
                                                     home->path() + QStringLiteral("/b.yrtp")}}) {
        const Result result = run(arguments);
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.errLines().size(), 1);
        QVERIFY(
            result.errLines().first().startsWith(QStringLiteral("yrplan ") + arguments.first()));
        QCOMPARE(fileBytes(documentPath), document);
    }
    QVERIFY(!QFileInfo::exists(home->path() + QStringLiteral("/b.yrtp")));
}

void TestYrplan::filesListsRecordsAndTheTotal()
{
    buildFixture();
    const QString fileNode =
        runForId({QStringLiteral("add-node"), plan, introStep, QStringLiteral("--json"),
                  QStringLiteral(
                      R"({"nodeType":"file","nodeContent":{"fileName":"a.png","cloudPath":"c/a.png",
             "cloudThumb":"c/s/a.png","fileSize":"100","fileCloudSource":"vexores"}})")});
    const QString questionNode = runForId(
        {QStringLiteral("add-node"), plan, inquiryStep, QStringLiteral("--task"), task,
         QStringLiteral("--json"),
         QStringLiteral(
             R"({"nodeType":"question","nodeContent":{"questionId":"q9","questionType":"choice"}})")});
    QVERIFY(!fileNode.isEmpty() && !questionNode.isEmpty());

    const Result result = run({QStringLiteral("files"), plan});
    QCOMPARE(result.exitCode, 0);
    QStringList lines = result.outLines();
    QCOMPARE(lines.takeLast(), QStringLiteral("total download size: 1000100"));
    QCOMPARE(lines.size(), 3); // the file, its thumbnail, the question
    QVector<QJsonObject> records;
    for (const QString &line : lines) {
        QJsonParseError error;
        records << QJsonDocument::fromJson(line.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
    }
    QCOMPARE(records.at(0).value(QStringLiteral("nodeType")).toString(), QStringLiteral("file"));
    QCOMPARE(records.at(0).value(QStringLiteral("nodeId")).toString(), fileNode);
    QCOMPARE(records.at(0).value(QStringLiteral("dest")).toString(),
             QStringLiteral("%1/%2/a.png").arg(plan, introStep));
    QCOMPARE(records.at(0).value(QStringLiteral("downloadMethod")).toString(),
             QStringLiteral("queue"));
    QCOMPARE(records.at(1).value(QStringLiteral("nodeType")).toString(),
             QStringLiteral("fileThumb"));
    QCOMPARE(records.at(1).value(QStringLiteral("localPath")).toString(),
             QStringLiteral("/%1/a.png.thumb/a.png").arg(introStep));
    QCOMPARE(records.at(2).value(QStringLiteral("questionId")).toString(), QStringLiteral("q9"));
    QCOMPARE(records.at(2).value(QStringLiteral("nodeId")).toString(), questionNode);
    QVERIFY(records.at(2)
                .value(QStringLiteral("dest"))
                .toString()
                .endsWith(QStringLiteral("/choice_q9.json")));
}

void TestYrplan::diffListsLocallyAddedFiles()
{
    buildFixture();
    QTemporaryDir scratch;
    const QString saved = scratch.path() + QStringLiteral("/saved");
    QVERIFY(QDir().mkpath(saved));
    QVERIFY(QFile::copy(plan + QStringLiteral("/teachpkg.json"),
                        saved + QStringLiteral("/teachpkg.json")));

    const QString local = runForId(
        {QStringLiteral("add-node"), plan, introStep, QStringLiteral("--json"),
         QStringLiteral(R"({"nodeType":"file","nodeContent":{"fileName":"mine.docx","fileSize":"5",
             "fileCloudSource":"localUpload"}})")});
    const QString cloud = runForId(
        {QStringLiteral("add-node"), plan, introStep, QStringLiteral("--json"),
         QStringLiteral(
             R"({"nodeType":"file","nodeContent":{"fileName":"cloud.docx","cloudPath":"x/cloud.docx",
             "fileCloudSource":"vexores"}})")});
    QVERIFY(!local.isEmpty() && !cloud.isEmpty());

    const Result result =
        run({QStringLiteral("diff"), plan, saved + QStringLiteral("/teachpkg.json")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.outLines().size(), 1);
    const QJsonObject record = QJsonDocument::fromJson(result.outLines().first().toUtf8()).object();
    QCOMPARE(record.value(QStringLiteral("nodeId")).toString(), local);
    QCOMPARE(record.value(QStringLiteral("fileCloudSource")).toString(),
             QStringLiteral("localUpload"));
    QCOMPARE(record.value(QStringLiteral("fileSize")).toString(), QStringLiteral("5"));
    for (const char *key : {"dest", "localPath", "fileMD5", "downloadMethod", "cloudPath"})
        QVERIFY2(record.contains(QLatin1String(key)), key);

    const Result same = run({QStringLiteral("diff"), plan, plan});
    QCOMPARE(same.exitCode, 0);
    QVERIFY(same.out.isEmpty());
    const Result missing =
        run({QStringLiteral("diff"), plan, scratch.path() + QStringLiteral("/none")});
    QCOMPARE(missing.exitCode, 1);
    QCOMPARE(missing.errLines().size(), 1);
}

void TestYrplan::packAndUnpackRoundTrip()
{
    buildFixture();
    const QByteArray resource("resource bytes \x00\x01\xff", 18);
    QVERIFY(writeFile(plan + QStringLiteral("/%1/卷一.pdf").arg(introStep), resource));
    QTemporaryDir scratch;
    const QString package = scratch.path() + QStringLiteral("/plan.yrtp");
    QCOMPARE(run({QStringLiteral("pack"), plan, package}).exitCode, 0);
    QVERIFY(QFileInfo(package).size() > 0);
    QuaZip zip(package);
    QVERIFY(zip.open(QuaZip::mdUnzip));
    QVERIFY(zip.getFileNameList().contains(QStringLiteral("teachpkg.json")));
    zip.close();

    const QString copy = scratch.path() + QStringLiteral("/copy/") + QFileInfo(plan).fileName();
    const Result unpacked = run({QStringLiteral("unpack"), package, copy});
    QCOMPARE(unpacked.exitCode, 0);
    QVERIFY(unpacked.err.isEmpty());
    QCOMPARE(fileBytes(copy + QStringLiteral("/%1/卷一.pdf").arg(introStep)), resource);
    QCOMPARE(fileBytes(copy + QStringLiteral("/teachpkg.json")),
             fileBytes(plan + QStringLiteral("/teachpkg.json")));
    QCOMPARE(documentOf(copy), documentOf(plan));
}

void TestYrplan::packagesAreReadOnlyButShowable()
{
    buildFixture();
    QTemporaryDir scratch;
    const QString package =
        scratch.path() + QLatin1Char('/') + QFileInfo(plan).fileName() + QStringLiteral(".yrtp");
    QCOMPARE(run({QStringLiteral("pack"), plan, package}).exitCode, 0);
    // A package named after its plan shows the same document, task ids included.
    QCOMPARE(documentOf(package), documentOf(plan));
    const Result files = run({QStringLiteral("files"), package});
    QCOMPARE(files.exitCode, 0);
    QCOMPARE(files.outLines().last(), QStringLiteral("total download size: 0"));
    const QByteArray packageBytes = fileBytes(package);
    const Result edit =
        run({QStringLiteral("add-step"), package, QStringLiteral("--type"), QStringLiteral("1")});
    QCOMPARE(edit.exitCode, 1);
    QVERIFY(edit.err.contains(QStringLiteral("unpack")));
    QCOMPARE(fileBytes(package), packageBytes);
}

void TestYrplan::packAndUnpackRefuseBadInput()
{
    buildFixture();
    QTemporaryDir scratch;
    const QString notAPlan = scratch.path() + QStringLiteral("/empty");
    QVERIFY(QDir().mkpath(notAPlan));
    const QString package = scratch.path() + QStringLiteral("/p.yrtp");

    Result result = run({QStringLiteral("pack"), notAPlan, package});
    QCOMPARE(result.exitCode, 1);
    QVERIFY(result.err.contains(QStringLiteral("teachpkg.json")));
    result = run({QStringLiteral("pack"), plan, plan + QStringLiteral("/self.yrtp")});
    QCOMPARE(result.exitCode, 1);
    QVERIFY(!QFileInfo::exists(plan + QStringLiteral("/self.yrtp")));
    QVERIFY(!QFileInfo::exists(package));

    result = run({QStringLiteral("unpack"), package, scratch.path() + QStringLiteral("/out")});
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(result.errLines().size(), 1);
    QVERIFY(!QFileInfo::exists(scratch.path() + QStringLiteral("/out")));

    // A zip without a plan document is no plan package; nothing is left behind.
    QVERIFY(writeFile(notAPlan + QStringLiteral("/readme.txt"), "hello"));
    QCOMPARE(run({QStringLiteral("pack"), plan, package}).exitCode, 0);
    const QString other = scratch.path() + QStringLiteral("/other.yrtp");
    {
        QuaZip zip(other);
        QVERIFY(zip.open(QuaZip::mdCreate));
        QuaZipFile entry(&zip);
        QVERIFY(entry.open(QIODevice::WriteOnly, QuaZipNewInfo(QStringLiteral("readme.txt"))));
        entry.write("hello");
        entry.close();
        zip.close();
    }
    result = run({QStringLiteral("unpack"), other, scratch.path() + QStringLiteral("/out")});
    QCOMPARE(result.exitCode, 1);
    QVERIFY(result.err.contains(QStringLiteral("teachpkg.json")));
    QVERIFY(!QFileInfo::exists(scratch.path() + QStringLiteral("/out")));
    QCOMPARE(treeOf(scratch.path()).filter(QStringLiteral(".yrplan-unpack")), QStringList());

    // A directory that already holds files is not overwritten.
    result = run({QStringLiteral("unpack"), package, notAPlan});
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(treeOf(notAPlan), QStringList{QStringLiteral("readme.txt")});
}

void TestYrplan::unpackRefusesEntriesThatLeaveTheDirectory()
{
    QTemporaryDir scratch;
    const QString package = scratch.path() + QStringLiteral("/evil.yrtp");
    {
        QuaZip zip(package);
        QVERIFY(zip.open(QuaZip::mdCreate));
        for (const char *name : {"teachpkg.json", "../escaped.txt"}) {
            QuaZipFile entry(&zip);
            QVERIFY(entry.open(QIODevice::WriteOnly, QuaZipNewInfo(QLatin1String(name))));
            entry.write("{}");
            entry.close();
        }
        zip.close();
    }
    const QString target = scratch.path() + QStringLiteral("/inside/plan");
    const Result result = run({QStringLiteral("unpack"), package, target});
    QCOMPARE(result.exitCode, 1);
    QVERIFY(result.err.contains(QStringLiteral("../escaped.txt")));
    QVERIFY(!QFileInfo::exists(scratch.path() + QStringLiteral("/inside/escaped.txt")));
    QVERIFY(!QFileInfo::exists(target));
    QCOMPARE(run({QStringLiteral("show"), package}).exitCode, 1);
}

void TestYrplan::demoBuildsEveryKindAndFindsCopiesEqual()
{
    const Result result = run({QStringLiteral("demo")});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
    QVERIFY(result.outLines().contains(QStringLiteral("documents equal: yes")));
    QVERIFY(result.outLines().contains(QStringLiteral("resource files: 10, equal: yes")));
    for (const char *type : {"情景导入 (1)", "内容精讲 (2)", "同步习题 (4)", "随堂测试 (8)",
                             "分组竞赛 (16)", "分组探究 (32)", "自定义 (64)"})
        QVERIFY2(result.out.contains(QString::fromUtf8(type)), type);
    for (const char *kind : {"    file \"", "    question \"", "    paper \"", "    subjectApp \"",
                             "    ebook \"", "        file \"", "        question \""})
        QVERIFY2(result.out.contains(QLatin1String(kind)), kind);
    // The demonstration works in a temporary root and leaves nothing behind.
    QCOMPARE(treeOf(home->path()), QStringList());
}

QTEST_GUILESS_MAIN(TestYrplan)
#include "tst_yrplan.moc"
