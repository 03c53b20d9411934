// The yrplan command-line host, run as a separate process on real plan directories.

#include <QtCore>
#include <QtTest>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

namespace {

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;

    bool failedWithOneLine(int code) const { return exitCode == code && err.count('\n') == 1; }
    QStringList outLines() const { return out.split('\n', Qt::SkipEmptyParts); }
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

// A zip whose entries (names as given, even ones that climb out) each hold "{}".
bool writeZip(const QString &path, const QStringList &entries)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (const QString &name : entries) {
        QuaZipFile entry(&zip);
        if (!entry.open(QIODevice::WriteOnly, QuaZipNewInfo(name)) || entry.write("{}") != 2)
            return false;
    }
    zip.close();
    return zip.getZipError() == 0;
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

QJsonArray listOf(const QJsonValue &record, const char *key)
{
    return record.toObject().value(QLatin1String(key)).toArray();
}

QString textOf(const QJsonValue &record, const char *key)
{
    return record.toObject().value(QLatin1String(key)).toString();
}

// A value of each step (keys "step...", kept in its "attr"), task or node.
QStringList idsOf(const QJsonArray &records, const char *key)
{
    QStringList ids;
    for (const QJsonValue &record : records)
        ids << textOf(qstrncmp(key, "step", 4) == 0 ? record.toObject().value("attr") : record,
                      key);
    return ids;
}

QString paperJson(const QString &id)
{
    return QStringLiteral(R"({"nodeType":"paper","nodeContent":{"paperId":"%1","paperName":"卷"}})")
        .arg(id);
}

} // namespace

class TestYrplan : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home;
    QTemporaryDir config;
    // The fixture plan: an intro step with a paper node, and a group-inquiry step with its
    // first task.
    QString plan, introStep, inquiryStep, task, paperNode;

    Result run(const QStringList &arguments,
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        QProcess process;
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

    // The one line a successful command prints (a new id or directory); empty on failure.
    QString runForId(const QStringList &arguments)
    {
        const Result result = run(arguments);
        if (result.exitCode != 0 || result.outLines().size() != 1)
            qWarning() << arguments << result.exitCode << result.err;
        return result.exitCode == 0 ? result.outLines().value(0) : QString();
    }

    static QString root()
    {
        return qEnvironmentVariable("ALLUSERSPROFILE") + "/Orvane/Tavrunelcore/TeachPlans";
    }

    static QJsonObject descriptionOf(const QString &planPath)
    {
        return QJsonDocument::fromJson(fileBytes(planPath + "/teachpkg.json"))
            .object()
            .value("description")
            .toObject();
    }

    QJsonArray stepsOf(const QString &planPath)
    {
        const Result result = run({"show", planPath, "--json"});
        return listOf(QJsonDocument::fromJson(result.out.toUtf8()).object(), "steps");
    }

    QString addPaper(const QString &step, const QString &id, const QString &inTask = QString())
    {
        const QStringList taskOption{"--task", inTask};
        return runForId(QStringList{"add-node", plan, step, "--json", paperJson(id)} +
                        (inTask.isEmpty() ? QStringList() : taskOption));
    }

    void buildFixture()
    {
        plan = runForId({"new", "--name", "fixture"});
        introStep = idsOf(stepsOf(plan), "stepId").value(0);
        paperNode = addPaper(introStep, "p-1");
        inquiryStep = runForId({"add-step", plan, "--type", "32"});
        const QStringList tasks = idsOf(listOf(stepsOf(plan).at(1), "tasks"), "taskId");
        task = tasks.value(0);
        QVERIFY(!paperNode.isEmpty() && !inquiryStep.isEmpty() && tasks.size() == 1);
    }

private slots:
    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        QVERIFY(home->isValid());
        qputenv("ALLUSERSPROFILE", QFile::encodeName(home->path())); // the default root's base
        // Qt's file dialogs remember their folders in the user's configuration.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    }

    void helpVersionAndUnknownCommands()
    {
        const Result help = run({"--help"});
        QCOMPARE(help.exitCode, 0);
        for (const QString name :
             {"new", "show", "add-step", "add-task", "add-node", "rename-item", "move",
              "delete-item", "files", "diff", "pack", "unpack", "create", "open", "save", "import",
              "rename", "delete", "demo"}) {
            QVERIFY2(help.out.contains("\n  " + name + ' '), qPrintable(name));
            const Result own = run({name, "--help"}); // every subcommand has its own help
            QVERIFY2(own.exitCode == 0 &&
                         own.out.startsWith("Usage: yrplan " + name + " [options]"),
                     qPrintable(name));
            QVERIFY(own.out.contains("--verbose") && own.err.isEmpty());
        }
        QVERIFY(run({"--version"}).out.startsWith("yrplan "));
        const Result unknown = run({"frobnicate", "x"});
        QVERIFY(unknown.failedWithOneLine(2) && unknown.err.contains("frobnicate"));
        QCOMPARE(run({}).exitCode, 2);

        // The library's debug log shows only with --verbose.
        const QString planPath = runForId({"new"});
        const Result quiet = run({"show", planPath});
        QVERIFY2(quiet.exitCode == 0 && quiet.err.isEmpty(), qPrintable(quiet.err));
        const Result verbose = run({"--verbose", "show", planPath});
        QVERIFY2(verbose.err.contains("YRPlanData::") && verbose.out == quiet.out,
                 qPrintable(verbose.err));
        QVERIFY(run({"create", "--verbose"}).err.contains("YRTeachingPlanOperate::"));
    }

    void newCreatesADatedPlanUnderTheRoot()
    {
        // ROOT/local/<midnight of today>/<GUID>, named, saved with its first step.
        const QString planPath = runForId({"new", "--name", "分数 第一课"});
        const QString root = home->path() + "/Orvane/Tavrunelcore/TeachPlans/local/";
        QVERIFY2(planPath.startsWith(root), qPrintable(planPath));
        const QStringList parts = planPath.mid(root.size()).split('/');
        QCOMPARE(parts.size(), 2);
        const QDateTime midnight(QDate::currentDate(), QTime(0, 0));
        QCOMPARE(parts.at(0), QString::number(midnight.toSecsSinceEpoch()));
        const QJsonObject document =
            QJsonDocument::fromJson(fileBytes(planPath + "/teachpkg.json")).object();
        QCOMPARE(textOf(document.value("description"), "name"), QStringLiteral("分数 第一课"));
        QCOMPARE(textOf(document.value("description"), "GUID"), parts.at(1));
        QCOMPARE(idsOf(listOf(document, "steps"), "stepType"), QStringList{"情景导入"});
        // A step type by its older spelling is saved under the current one.
        QVERIFY(!runForId({"add-step", planPath, "--type", "情境导入", "--name", "S"}).isEmpty());
        QCOMPARE(idsOf(stepsOf(planPath), "stepType"), (QStringList{"情景导入", "情景导入"}));
        QCOMPARE(idsOf(stepsOf(planPath), "stepName").value(1), QStringLiteral("S"));

        // --root stands in for ALLUSERSPROFILE, as for the commands that drive the controller.
        QTemporaryDir other;
        QVERIFY(runForId({"new", "--root", other.path()})
                    .startsWith(other.path() + "/Orvane/Tavrunelcore/TeachPlans/local/"));
    }

    void editsRoundTripThroughTheDocument()
    {
        buildFixture();
        const QString explain = runForId({"add-step", plan, "--type", "EXPLAIN"});
        const QString secondTask =
            runForId({"add-task", plan, inquiryStep, "--name", "任务二", "--desc", "讨论"});
        const QString nodeFile = home->path() + "/node.json";
        QVERIFY(writeFile(nodeFile, R"({"nodeType":"file","nodeContent":{"fileName":"a.png",
            "cloudPath":"c/a.png","fileSize":"10","fileCloudSource":"localUpload"}})"));
        const QString fileNode = runForId({"add-node", plan, explain, "--file", nodeFile});
        // A task's nodes move among that task's nodes only; the reader gives every task a
        // fresh id on each load, and the tool keeps the stored one.
        const QStringList taskNodes{addPaper(inquiryStep, "t-1", task),
                                    addPaper(inquiryStep, "t-2", task)};
        QCOMPARE(run({"move", plan, taskNodes.at(1), "--before", taskNodes.at(0)}).exitCode, 0);
        QVERIFY(!secondTask.isEmpty() && !fileNode.isEmpty() && !taskNodes.contains(""));
        QCOMPARE(run({"rename-item", plan, explain, "--name", "精讲"}).exitCode, 0);
        QCOMPARE(run({"rename-item", plan, secondTask, "--name", "任务2"}).exitCode, 0);
        QCOMPARE(run({"move", plan, inquiryStep, "--before", introStep}).exitCode, 0);

        const QJsonArray steps = stepsOf(plan);
        QCOMPARE(idsOf(steps, "stepId"), (QStringList{inquiryStep, introStep, explain}));
        QCOMPARE(idsOf(steps, "stepName").value(2), QStringLiteral("精讲"));
        QCOMPARE(idsOf(listOf(steps.at(2), "nodes"), "nodeId"), QStringList{fileNode});
        const QJsonArray tasks = listOf(steps.at(0), "tasks");
        QCOMPARE(idsOf(tasks, "taskId"), (QStringList{task, secondTask}));
        QCOMPARE(textOf(tasks.at(1), "taskName"), QStringLiteral("任务2"));
        QCOMPARE(textOf(tasks.at(1), "taskDesc"), QStringLiteral("讨论")); // kept without --desc
        QCOMPARE(idsOf(listOf(tasks.at(0), "nodes"), "nodeId"),
                 (QStringList{taskNodes.at(1), taskNodes.at(0)}));

        // Deleting what the id names, or emptying a task or a step.
        for (const QStringList &arguments : {QStringList{secondTask},
                                             {fileNode},
                                             {task, "--kind", "empty-task"},
                                             {introStep, "--kind", "empty-step"},
                                             {explain}})
            QCOMPARE(run(QStringList{"delete-item", plan} + arguments).exitCode, 0);
        const QJsonArray after = stepsOf(plan);
        QCOMPARE(idsOf(after, "stepId"), (QStringList{inquiryStep, introStep}));
        QCOMPARE(idsOf(listOf(after.at(0), "tasks"), "taskId"), QStringList{task});
        QVERIFY(listOf(listOf(after.at(0), "tasks").at(0), "nodes").isEmpty());
        QVERIFY(listOf(after.at(1), "nodes").isEmpty());
    }

    void failuresLeaveThePlanUntouched_data()
    {
        // Placeholders: PLAN, INTRO (a step with the paper node NODE), INQUIRY (a group-inquiry
        // step), TASK (its task), PAPER (the paper node's JSON).
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("unknown id") << "rename-item|PLAN|no-such-id|--name|x" << 1;
        QTest::newRow("desc on a step") << "rename-item|PLAN|INTRO|--desc|d" << 2;
        QTest::newRow("task in an intro step") << "add-task|PLAN|INTRO|--name|t" << 1;
        QTest::newRow("unknown step type") << "add-step|PLAN|--type|bogus" << 2;
        QTest::newRow("bad node JSON") << "add-node|PLAN|INTRO|--json|{nodeType" << 1;
        QTest::newRow("unknown node type") << R"(add-node|PLAN|INTRO|--json|{"nodeType":"F"})" << 1;
        QTest::newRow("node already there") << "add-node|PLAN|INTRO|--json|PAPER" << 1;
        QTest::newRow("inquiry node, no task") << "add-node|PLAN|INQUIRY|--json|PAPER" << 1;
        QTest::newRow("missing node file") << "add-node|PLAN|INTRO|--file|/no/such" << 1;
        QTest::newRow("node given twice") << "add-node|PLAN|INTRO|--json|{}|--file|x" << 2;
        QTest::newRow("node to another step")
            << "move|PLAN|NODE|--before|NODE|--parent|INQUIRY" << 1;
        QTest::newRow("delete a step as a node") << "delete-item|PLAN|INTRO|--kind|node" << 1;
        QTest::newRow("unknown option") << "rename-item|PLAN|INTRO|--colour|red" << 2;
        QTest::newRow("missing arguments") << "add-task|PLAN" << 2;
        QTest::newRow("missing plan") << "show|/no/such/plan" << 1;
        QTest::newRow("another kind of file") << "show|PLAN/../notes.txt" << 1;
        // The commands that drive the controller; OLD is an existing package.
        QTest::newRow("save without --to") << "save|PLAN" << 2;
        QTest::newRow("save over a package") << "save|PLAN|--to|OLD" << 1;
        QTest::newRow("plan outside the root") << "save|PLAN|--to|x.yrtp|--root|/no/root" << 1;
        QTest::newRow("lifecycle option unknown") << "create|--colour|red" << 2;
        QTest::newRow("rename without a name") << "rename|PLAN" << 2;
        QTest::newRow("delete no plan") << "delete|PLAN/../notes.txt" << 1;
        QTest::newRow("open no package") << "open|PLAN/../notes.txt" << 1;
        QTest::newRow("import a missing file") << "import|PLAN/../none.yrtp" << 1;
        QTest::newRow("save into the plan") << "save|PLAN|--to|PLAN/self.yrtp" << 1;
        QTest::newRow("rename another kind of file") << "rename|PLAN/../notes.txt|x" << 1;
        QTest::newRow("open what is no zip") << "open|OLD" << 1;
        QTest::newRow("import what is no zip") << "import|OLD" << 1;
        QTest::newRow("open two packages") << "open|OLD|OLD" << 2;
        QTest::newRow("import no package") << "import" << 2;
        QTest::newRow("delete two plans") << "delete|PLAN|PLAN" << 2;
        QTest::newRow("create with an argument") << "create|PLAN" << 2;
        QTest::newRow("rename to a blank name") << "rename|PLAN| " << 2;
        QTest::newRow("root without a directory") << "create|--root|" << 2;
    }

    void failuresLeaveThePlanUntouched()
    {
        QFETCH(QString, arguments);
        QFETCH(int, exitCode);
        buildFixture();
        QVERIFY(writeFile(QFileInfo(plan).absolutePath() + "/notes.txt", "notes"));
        const QString old = QFileInfo(plan).absolutePath() + "/old.yrtp";
        QVERIFY(writeFile(old, "old package"));
        arguments.replace("OLD", old)
            .replace("PLAN", plan)
            .replace("INTRO", introStep)
            .replace("INQUIRY", inquiryStep);
        arguments.replace("TASK", task).replace("NODE", paperNode);
        const QStringList argumentList = arguments.replace("PAPER", paperJson("p-1")).split('|');
        const QByteArray before = fileBytes(plan + "/teachpkg.json");
        const QStringList treeBefore = treeOf(home->path());

        const Result result = run(argumentList);
        QVERIFY2(result.failedWithOneLine(exitCode) && result.out.isEmpty() &&
                     result.err.startsWith("yrplan " + argumentList.first() + ": "),
                 qPrintable(result.err));
        QCOMPARE(fileBytes(plan + "/teachpkg.json"), before);
        QCOMPARE(treeOf(home->path()), treeBefore);
        QCOMPARE(fileBytes(old), QByteArray("old package"));
    }

    void unusableDocumentsAreReported_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::newRow("not JSON") << QByteArray("{\"description\": ");
        QTest::newRow("no description") << QByteArray(R"({"steps": []})");
        QTest::newRow("version 6") << QByteArray(R"({"description": {"documentVersion": "6.0"}})");
        QTest::newRow("unknown step type") << QByteArray(R"({"description": {"documentVersion": 5},
                              "steps": [{"attr": {"stepId": "s", "stepType": "other"}}]})");
    }

    void unusableDocumentsAreReported()
    {
        QFETCH(QByteArray, document);
        const QString planPath = home->path() + "/broken";
        const QString documentPath = planPath + "/teachpkg.json";
        const QString package = home->path() + "/b.yrtp";
        QVERIFY(writeFile(documentPath, document));
        for (const QString line :
             {"files|PLAN/teachpkg.json", "add-step|PLAN|--type|1", "pack|PLAN|PACKAGE"}) {
            const QStringList arguments =
                QString(line).replace("PLAN", planPath).replace("PACKAGE", package).split('|');
            const Result result = run(arguments);
            QVERIFY(result.failedWithOneLine(1));
            QVERIFY(result.err.startsWith("yrplan " + arguments.first()));
            QCOMPARE(fileBytes(documentPath), document);
        }
        QVERIFY(!QFileInfo::exists(package));
    }

    void filesAndDiffListTheRecords()
    {
        buildFixture();
        const QString saved = home->path() + "/saved/teachpkg.json";
        QVERIFY(writeFile(saved, fileBytes(plan + "/teachpkg.json")));
        const QString fileNode =
            runForId({"add-node", plan, introStep, "--json",
                      R"({"nodeType":"file","nodeContent":{"fileName":"a.png","cloudPath":"c/a.png",
                 "fileSize":"100","fileCloudSource":"localUpload"}})"});
        const QString questionNode = runForId(
            {"add-node", plan, inquiryStep, "--task", task, "--json",
             R"({"nodeType":"question","nodeContent":{"questionId":"q9","questionType":"c"}})"});
        const QStringList lines = run({"files", plan}).outLines();
        QCOMPARE(lines.size(), 3);
        QCOMPARE(textOf(QJsonDocument::fromJson(lines.at(0).toUtf8()).object(), "nodeId"),
                 fileNode);
        QCOMPARE(textOf(QJsonDocument::fromJson(lines.at(1).toUtf8()).object(), "nodeId"),
                 questionNode);
        QCOMPARE(lines.at(2), QStringLiteral("total download size: 1000100"));

        // Of those, the locally added file is what the saved copy lacks.
        const Result diff = run({"diff", plan, saved});
        QCOMPARE(textOf(QJsonDocument::fromJson(diff.out.toUtf8()).object(), "nodeId"), fileNode);
        QVERIFY(diff.exitCode == 0 && diff.outLines().size() == 1);
        QVERIFY(run({"diff", plan, plan}).outLines().isEmpty());
        // A missing copy is an error, not "every file is new".
        const Result missing = run({"diff", plan, home->path() + "/none"});
        QVERIFY(missing.exitCode == 1 && missing.out.isEmpty());
    }

    void packAndUnpackRoundTripAndPackagesAreReadOnly()
    {
        buildFixture();
        const QByteArray resource("resource bytes \x00\x01\xff", 18);
        QVERIFY(writeFile(plan + QStringLiteral("/%1/卷一.pdf").arg(introStep), resource));
        QTemporaryDir scratch;
        // A package named after its plan unpacks, and shows, under the plan's GUID.
        const QString package = scratch.path() + '/' + QFileInfo(plan).fileName() + ".yrtp";
        QCOMPARE(run({"pack", plan, package}).exitCode, 0);
        const QString copy = scratch.path() + "/copy/" + QFileInfo(plan).fileName();
        QCOMPARE(run({"unpack", package, copy}).exitCode, 0);
        QCOMPARE(fileBytes(copy + QStringLiteral("/%1/卷一.pdf").arg(introStep)), resource);
        QCOMPARE(fileBytes(copy + "/teachpkg.json"), fileBytes(plan + "/teachpkg.json"));
        QCOMPARE(stepsOf(package), stepsOf(plan)); // task ids included

        const QByteArray packageBytes = fileBytes(package);
        const Result edit = run({"add-step", package, "--type", "1"});
        QVERIFY(edit.exitCode == 1 && edit.err.contains("unpack"));
        QCOMPARE(fileBytes(package), packageBytes);
    }

    void packAndUnpackRefuseBadOrUnsafeInput()
    {
        buildFixture();
        QTemporaryDir scratch;
        const QString notAPlan = scratch.path() + "/empty";
        const QString package = scratch.path() + "/p.yrtp";
        const QString out = scratch.path() + "/out";
        QVERIFY(QDir().mkpath(notAPlan));
        const Result result = run({"pack", notAPlan, package});
        QVERIFY(result.exitCode == 1 && result.err.contains("teachpkg.json"));
        QCOMPARE(run({"pack", plan, plan + "/self.yrtp"}).exitCode, 1);
        QVERIFY(!QFileInfo::exists(plan + "/self.yrtp") && !QFileInfo::exists(package));
        QCOMPARE(run({"unpack", package, out}).exitCode, 1);

        // A zip without a plan document is no plan package; nothing is left behind.
        QVERIFY(writeZip(package, {"readme.txt"}));
        const Result noPlan = run({"unpack", package, out});
        QVERIFY(noPlan.exitCode == 1 && noPlan.err.contains("teachpkg.json"));
        QCOMPARE(treeOf(scratch.path()), (QStringList{"empty", "p.yrtp"}));

        // A directory that already holds files is not overwritten.
        QVERIFY(writeFile(notAPlan + "/readme.txt", "hello"));
        QCOMPARE(run({"pack", plan, package}).exitCode, 0);
        QCOMPARE(run({"unpack", package, notAPlan}).exitCode, 1);
        QCOMPARE(treeOf(notAPlan), QStringList{"readme.txt"});

        // Entries that would leave the directory refuse the whole package.
        QVERIFY(writeZip(package, {"teachpkg.json", "../escaped.txt"}));
        const Result evil = run({"unpack", package, out + "/plan"});
        QVERIFY(evil.exitCode == 1 && evil.err.contains("../escaped.txt"));
        QCOMPARE(run({"show", package}).exitCode, 1);
        QCOMPARE(treeOf(scratch.path()), (QStringList{"empty", "empty/readme.txt", "p.yrtp"}));
    }

    void lifecycleRoundTripThroughTheController_data()
    {
        QTest::addColumn<bool>("rootOption");
        QTest::newRow("root below ALLUSERSPROFILE") << false;
        QTest::newRow("root below --root") << true;
    }

    void lifecycleRoundTripThroughTheController()
    {
        QFETCH(bool, rootOption);
        QTemporaryDir elsewhere;
        const QStringList rootArguments =
            rootOption ? QStringList{"--root", elsewhere.path()} : QStringList();
        const QString planRoot =
            rootOption ? elsewhere.path() + "/Orvane/Tavrunelcore/TeachPlans" : root();
        const auto lifecycle = [&](const QStringList &arguments,
                                   const QProcessEnvironment &environment =
                                       QProcessEnvironment::systemEnvironment()) {
            const Result result = run(arguments + rootArguments, environment);
            if (result.exitCode != 0)
                qWarning() << arguments << result.err;
            return result;
        };

        // Created as the host creates a plan: a first step, marked not saved. The commands
        // that drive the controller need no display: they run offscreen unless told otherwise.
        QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
        for (const QString name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            noDisplay.remove(name);
        const Result created = lifecycle({"create", "--trace"}, noDisplay);
        QVERIFY(created.exitCode == 0 && created.err.isEmpty());
        QCOMPARE(created.outLines().value(0), QStringLiteral("state 0 TPOS_Success_Create"));
        plan = created.outLines().value(1);
        QVERIFY2(plan.startsWith(planRoot + '/'), qPrintable(plan));
        QVERIFY(QFileInfo::exists(plan + "/teachpkg.json.notsave"));
        const QString step = idsOf(stepsOf(plan), "stepId").value(0);
        const QString node = addPaper(step, "p-1");

        // Saved as nobody signed in saves: packed into the file the save dialog was given.
        QTemporaryDir scratch;
        const QString package = scratch.path() + "/课.yrtp";
        const Result saved = lifecycle({"save", plan, "--to", scratch.path() + "/课", "--trace"});
        QVERIFY(saved.out.startsWith("state 1 TPOS_Success_Open\njs savePlanStatus(1, -1, {\n"));
        QVERIFY(saved.out.endsWith("}\n)\n" + package + "\n"));
        const QByteArray packageBytes = fileBytes(package);
        const Result refused = run(QStringList{"save", plan, "--to", package} + rootArguments);
        QVERIFY(refused.failedWithOneLine(1) && refused.err.contains("--force"));
        QCOMPARE(fileBytes(package), packageBytes);
        QCOMPARE(lifecycle({"save", plan, "--to", package, "--force"}).out, package + "\n");

        // Imported and opened: two new plans named after the package, with the same tree.
        const QStringList importLines = lifecycle({"import", package, "--trace"}).outLines();
        QCOMPARE(importLines.mid(0, 2),
                 (QStringList{"state 20 TPOS_Start_Import", "state 6 TPOS_Success_Import"}));
        const QString imported = importLines.value(2);
        const Result opened = lifecycle({"open", package});
        QCOMPARE(opened.outLines().value(1), QStringLiteral("plan \"课\", 1 step: 内容精讲"));
        const QString openedPlan = opened.outLines().value(0);
        for (const QString &copy : {imported, openedPlan}) {
            QVERIFY2(copy.startsWith(planRoot + '/') && copy != plan, qPrintable(copy));
            QCOMPARE(descriptionOf(copy).value("name").toString(), QStringLiteral("课"));
            QCOMPARE(idsOf(stepsOf(copy), "stepId"), QStringList{step});
            QCOMPARE(idsOf(listOf(stepsOf(copy).at(0), "nodes"), "nodeId"), QStringList{node});
        }

        QCOMPARE(lifecycle({"rename", imported, "新名"}).out, QString());
        QCOMPARE(descriptionOf(imported).value("name").toString(), QStringLiteral("新名"));
        for (const QString &copy : {plan, imported, openedPlan}) {
            QCOMPARE(lifecycle({"delete", copy, "--trace"}).out,
                     QStringLiteral("state 4 TPOS_Success_Delete\n"));
            QVERIFY(!QFileInfo::exists(copy));
        }
        if (rootOption) // nothing below ALLUSERSPROFILE
            QCOMPARE(treeOf(home->path()), QStringList());
    }

    void refusedPackagesLeaveNothingBehind_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("message");
        // The line names the state and, where the library says why, its reason.
        const QStringList climbing{"teachpkg.json", "../evil.txt"};
        QTest::newRow("import, entry climbs out")
            << "import" << climbing << "state 14 TPOS_Fail_Import [";
        QTest::newRow("import, no document") << "import" << QStringList{"a.txt"} << "14 TPOS_";
        QTest::newRow("open, no document") << "open" << QStringList{"a.txt"} << "0 TPV_Unknown";
        // writeZip gives every entry "{}": a document without a plan in it.
        QTest::newRow("import, no plan in the document")
            << "import" << QStringList{"teachpkg.json"} << "14 TPOS_Fail_Import";
        QTest::newRow("open, no plan in the document")
            << "open" << QStringList{"teachpkg.json"} << "0 TPV_Unknown";
    }

    void refusedPackagesLeaveNothingBehind()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, entries);
        QFETCH(QString, message);
        const QString package = home->path() + "/p.yrtp";
        QVERIFY(writeZip(package, entries) && QDir().mkpath(root()));
        const QStringList before = treeOf(home->path());
        const Result result = run({command, package});
        QVERIFY2(result.failedWithOneLine(1) && result.err.contains(message),
                 qPrintable(result.err));
        QVERIFY(!entries.contains("../evil.txt") || result.err.contains("../evil.txt"));
        // No entry written, and no working directory left.
        QCOMPARE(treeOf(home->path()), before);
    }

    void olderPlansAreConvertedOnlyWithConvert()
    {
        plan = runForId({"new", "--name", "旧"});
        QJsonObject document = QJsonDocument::fromJson(fileBytes(plan + "/teachpkg.json")).object();
        QJsonObject description = document.value("description").toObject();
        description.insert("documentVersion", "4.0");
        document.insert("description", description);
        QVERIFY(writeFile(plan + "/teachpkg.json", QJsonDocument(document).toJson()));
        const QByteArray older = fileBytes(plan + "/teachpkg.json");
        QTemporaryDir scratch;
        const QString package = scratch.path() + "/旧.yrtp";
        QCOMPARE(run({"pack", plan, package}).exitCode, 0);

        // Saving opens the plan first; the controller asks before it converts.
        const QString saved = scratch.path() + "/saved.yrtp";
        const Result declined = run({"save", plan, "--to", saved});
        QVERIFY2(declined.failedWithOneLine(1) && declined.err.contains("TPOS_Fail_Ignore") &&
                     declined.err.contains("--convert"),
                 qPrintable(declined.err));
        QVERIFY(!QFileInfo::exists(saved));
        QCOMPARE(fileBytes(plan + "/teachpkg.json"), older);
        QCOMPARE(run({"save", plan, "--to", saved, "--convert"}).exitCode, 0);
        QCOMPARE(descriptionOf(plan).value("documentVersion").toString(), QStringLiteral("5.0"));

        // Opening a package converts it: only when asked to.
        const Result refused = run({"open", package});
        QVERIFY(refused.failedWithOneLine(1) && refused.err.contains("--convert"));
        const Result converted = run({"open", package, "--convert"});
        QCOMPARE(converted.exitCode, 0);
        QCOMPARE(descriptionOf(converted.outLines().value(0)).value("documentVersion").toString(),
                 QStringLiteral("5.0"));
    }

    void demoBuildsEveryKindAndFindsCopiesEqual()
    {
        const Result result = run({"demo", "--trace"});
        QVERIFY2(result.exitCode == 0 && result.err.isEmpty(), qPrintable(result.err));
        // Every edit refreshes the page; the local save reports a plan without a cloud id.
        for (const QString trace :
             {"\njs returnJsonToWeb({\n", "\nstate 2 TPOS_Success_Rename\n",
              "\njs savePlanStatus(1, -1, {\n", "\nstate 6 TPOS_Success_Import\n"})
            QVERIFY2(result.out.contains(trace), qPrintable(trace));
        QVERIFY(result.out.endsWith("resource files: 9, equal: yes\ndocuments equal: yes\n"));
        for (const QString stage : {"\ncreated  ", "\nsaved    ", "\nimported ", "\nopened   ",
                                    "\nrenamed  ", "\ndeleted  "})
            QVERIFY2(result.out.contains(stage), qPrintable(stage));
        for (const QString type :
             {"情景导入 (1)", "内容精讲 (2)", "同步习题 (4)", "随堂测试 (8)", "分组竞赛 (16)",
              "分组探究 (32)", "自定义 (64)", "    file \"", "    question \"", "    paper \"",
              "    subjectApp \"", "    ebook \"", "        file \"", "        question \""})
            QVERIFY2(result.out.contains(type), qPrintable(type));
        // The demonstration works in a temporary root and leaves nothing behind.
        QCOMPARE(treeOf(home->path()), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestYrplan)
#include "tst_yrplan.moc"
