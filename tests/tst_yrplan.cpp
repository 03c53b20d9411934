// The yrplan command-line host, run as a separate process on real plan directories.

#include "support/archives.h"
#include "support/commandrun.h"

#include <QtCore>
#include <QtTest>

#include <sys/stat.h>

using namespace Archives;
using PlanFixtures::writeFile;

namespace {

using Result = CommandResult;

QByteArray fileBytes(const QString &path)
{
    return PlanFixtures::readAll(path);
}

// Every entry under a directory, relative, so that a test sees files appear or vanish.
QStringList treeOf(const QString &directory)
{
    return treeContent(directory).keys();
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

    // Everything a command may touch lies in home: the teaching-plan root's base, the user's
    // home and configuration, every --root, so that a write elsewhere shows as a change.
    std::unique_ptr<QTemporaryDir> home;
    // The fixture plan: an intro step with a paper node, and a group-inquiry step with its
    // first task.
    QString plan, introStep, inquiryStep, task, paperNode;

    Result run(const QStringList &arguments,
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
               const QString &program = QStringLiteral(YRPLAN_EXECUTABLE))
    {
        return runCommand(program, arguments, environment, home->path());
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
        qputenv("HOME", QFile::encodeName(home->path() + "/user"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home->path() + "/user/.config"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home->path() + "/user/.local/share"));
    }

    void helpVersionAndUnknownCommands()
    {
        QFile readmeFile(QStringLiteral(YRDATA_SOURCE_DIR "/README.md"));
        QVERIFY(readmeFile.open(QIODevice::ReadOnly));
        const QString readme = QString::fromUtf8(readmeFile.readAll());
        const Result help = run({"--help"});
        QCOMPARE(help.exitCode, 0);
        const QRegularExpression commandLine(QStringLiteral("^  ([a-z-]+) "),
                                             QRegularExpression::MultilineOption);
        QStringList commands;
        for (auto match = commandLine.globalMatch(
                 help.out.section("Commands:", 1).section("Options:", 0, 0));
             match.hasNext();)
            commands << match.next().captured(1);
        QVERIFY(commands.size() >= 20 && commands.contains("check"));
        for (const QString &name : qAsConst(commands)) {
            QVERIFY2(readme.contains(QRegularExpression("yrplan " + name + "[ `\n]")),
                     qPrintable("README lacks " + name));
            // The usage line names exactly the arguments the help describes.
            const Result own = run({name, "--help"});
            QVERIFY2(own.exitCode == 0 && own.err.isEmpty() &&
                         own.out.startsWith("Usage: yrplan " + name + " [options]"),
                     qPrintable(name));
            QStringList usage = own.out.section('\n', 0, 0).split(' ').mid(4);
            usage.replaceInStrings(QRegularExpression("[\\[\\].]"), QString());
            QStringList described;
            const QRegularExpression argumentLine(QStringLiteral("^  (\\S+)"),
                                                  QRegularExpression::MultilineOption);
            for (auto match = argumentLine.globalMatch(own.out.section("Arguments:\n", 1));
                 match.hasNext();)
                described << match.next().captured(1);
            QVERIFY2(usage == described,
                     qPrintable(name + ": " + usage.join(' ') + " / " + described.join(' ')));
            QVERIFY(own.out.contains("--verbose") && !own.out.contains("--help-all"));
            QCOMPARE(run({name, "--help-all"}).exitCode, 2);
        }
        QVERIFY(run({"--version"}).out.startsWith("yrplan "));
        const Result unknown = run({"frobnicate", "x"});
        QVERIFY(unknown.failedWithOneLine(2) && unknown.err.contains("frobnicate"));
        QCOMPARE(run({}).exitCode, 2);

        // The library's diagnostic lines show only with --verbose; an error is one line.
        const QString planPath = runForId({"new"});
        const Result quiet = run({"show", planPath});
        QVERIFY2(quiet.exitCode == 0 && quiet.err.isEmpty(), qPrintable(quiet.err));
        const Result verbose = run({"--verbose", "show", planPath});
        QVERIFY2(verbose.err.contains("YRPlanData::") && verbose.out == quiet.out,
                 qPrintable(verbose.err));
        QVERIFY(run({"create", "--verbose"}).err.contains("YRTeachingPlanOperate::"));
        QVERIFY(QFile::link(home->path(), planPath + "/loop"));
        const Result failedPack = run({"pack", planPath, home->path() + "/p.yrtp"});
        QVERIFY2(failedPack.failedWithOneLine(1) && failedPack.err.contains("loop"),
                 qPrintable(failedPack.err));
    }

    void newCreatesADatedPlanUnderTheRoot()
    {
        // ROOT/local/<midnight of today>/<GUID>, named, saved with its first step; --root
        // stands in for ALLUSERSPROFILE, as for the commands that drive the controller.
        const QString planPath = runForId({"new", "--name", "分数 第一课"});
        const QString day =
            QString::number(QDateTime(QDate::currentDate(), QTime()).toSecsSinceEpoch());
        QCOMPARE(planPath,
                 root() + "/local/" + day + '/' + descriptionOf(planPath)["GUID"].toString());
        QCOMPARE(descriptionOf(planPath)["name"].toString(), "分数 第一课");
        QCOMPARE(idsOf(stepsOf(planPath), "stepType"), QStringList{"情景导入"});
        const QString other = home->path() + "/other";
        QVERIFY(runForId({"new", "--root", other})
                    .startsWith(other + "/Orvane/Tavrunelcore/TeachPlans/local/"));
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
        // A file added to a task lies in the folder of the task as the document names it.
        const QString taskFile = runForId(
            {"add-node", plan, inquiryStep, "--task", task, "--json",
             R"({"nodeType":"file","nodeContent":{"fileName":"t.png","cloudPath":"c/t.png"}})"});
        QVERIFY(run({"files", plan}).out.contains("\"localPath\":\"/" + task + "/t.png\""));
        QCOMPARE(run({"delete-item", plan, taskFile}).exitCode, 0);
        QCOMPARE(run({"move", plan, taskNodes.at(1), "--before", taskNodes.at(0)}).exitCode, 0);
        QVERIFY(!secondTask.isEmpty() && !fileNode.isEmpty() && !taskNodes.contains(""));
        QCOMPARE(run({"rename-item", plan, explain, "--name", "精讲"}).exitCode, 0);
        QCOMPARE(run({"rename-item", plan, secondTask, "--name", "任务2"}).exitCode, 0);
        QCOMPARE(run({"move", plan, inquiryStep, "--before", introStep}).exitCode, 0);

        const QJsonArray steps = stepsOf(plan);
        QCOMPARE(idsOf(steps, "stepId"), (QStringList{inquiryStep, introStep, explain}));
        QCOMPARE(idsOf(steps, "stepName").value(2), "精讲");
        QCOMPARE(idsOf(listOf(steps.at(2), "nodes"), "nodeId"), QStringList{fileNode});
        const QJsonArray tasks = listOf(steps.at(0), "tasks");
        QCOMPARE(idsOf(tasks, "taskId"), (QStringList{task, secondTask}));
        QCOMPARE(textOf(tasks.at(1), "taskName") + textOf(tasks.at(1), "taskDesc"), "任务2讨论");
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
        const QString fileNode =
            R"(add-node|PLAN|INTRO|--json|{"nodeType":"file","nodeContent":{%1}})";
        QTest::newRow("file name .") << fileNode.arg(R"("fileName":".")") << 1;
        QTest::newRow("file name with /") << fileNode.arg(R"("fileName":"a/b")") << 1;
        QTest::newRow("size as a number") << fileNode.arg(R"("fileName":"a","fileSize":12)") << 1;
        QTest::newRow("page as a text")
            << R"(add-node|PLAN|INTRO|--json|{"nodeType":"ebook","nodeContent":{"page":"3"}})" << 1;
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
        QTest::newRow("plan outside the root") << "save|PLAN|--to|x.yrtp|--root|HOME/no/root" << 1;
        QTest::newRow("save over a FIFO") << "save|PLAN|--to|FIFO|--force" << 1;
        QTest::newRow("save over a directory") << "save|PLAN|--to|HOME/dir.yrtp|--force" << 1;
        QTest::newRow("pack over a FIFO") << "pack|PLAN|FIFO" << 1;
        QTest::newRow("check two plans") << "check|PLAN|PLAN" << 2;
        QTest::newRow("lifecycle option unknown") << "create|--colour|red" << 2;
        QTest::newRow("rename without a name") << "rename|PLAN" << 2;
        QTest::newRow("delete no plan") << "delete|PLAN/../notes.txt" << 1;
        QTest::newRow("open no package") << "open|PLAN/../notes.txt" << 1;
        QTest::newRow("import a missing file") << "import|PLAN/../none.yrtp" << 1;
        QTest::newRow("save into the plan") << "save|PLAN|--to|PLAN/self.yrtp" << 1;
        QTest::newRow("rename another kind of file") << "rename|PLAN/../notes.txt|x" << 1;
        QTest::newRow("open what is no zip") << "open|OLD" << 1;
        QTest::newRow("import what is no zip") << "import|OLD" << 1;
        QTest::newRow("import no package") << "import" << 2;
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
        const QString fifo = home->path() + "/fifo.yrtp";
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QDir().mkpath(home->path() + "/dir.yrtp"));
        arguments.replace("OLD", old)
            .replace("FIFO", fifo)
            .replace("HOME", home->path())
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
        QCOMPARE(lines.at(2), "total download size: 1000100");

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
        QVERIFY(!runForId({"add-node", plan, introStep, "--json",
                           R"({"nodeType":"file","nodeContent":{"fileName":"卷一.pdf",
                               "cloudPath":"c/1.pdf","fileSize":"18"}})"})
                     .isEmpty());
        QVERIFY(writeFile(plan + QStringLiteral("/%1/卷一.pdf").arg(introStep), resource));
        // Named otherwise than its plan: what is shown comes from the document.
        const QString package = home->path() + "/lesson.yrtp";
        QCOMPARE(run({"pack", plan, package}).exitCode, 0);
        const QString copy = home->path() + "/copy/" + QFileInfo(plan).fileName();
        QCOMPARE(run({"unpack", package, copy}).exitCode, 0);
        QCOMPARE(fileBytes(copy + QStringLiteral("/%1/卷一.pdf").arg(introStep)), resource);
        QCOMPARE(fileBytes(copy + "/teachpkg.json"), fileBytes(plan + "/teachpkg.json"));
        QCOMPARE(stepsOf(package), stepsOf(plan)); // task ids included
        const QString guid = descriptionOf(plan).value("GUID").toString();
        QVERIFY(run({"show", package}).out.contains("\n  GUID      " + guid + "\n"));
        const QString files = run({"files", package}).out;
        QVERIFY2(files.contains(QStringLiteral("\"dest\":\"/%1/卷一.pdf\"").arg(introStep)),
                 qPrintable(files));

        const QByteArray packageBytes = fileBytes(package);
        const Result edit = run({"add-step", package, "--type", "1"});
        QVERIFY(edit.exitCode == 1 && edit.err.contains("unpack"));
        QCOMPARE(fileBytes(package), packageBytes);
    }

    // The packages of the trial that found the second road: every command that reads a
    // package refuses each of them whole, in one line naming the entry, and writes nothing.
    void hostilePackagesChangeNothing_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("named");
        for (const QString command :
             {"show", "files", "diff", "check", "unpack", "import", "open"}) {
            const auto row = [&command](const char *kind, const char *named) {
                QTest::addRow("%s, %s", qPrintable(command), kind) << command << kind << named;
            };
            row("link to a folder outside", "entry \"d\"");
            row("entry climbs out", "../victim/keepme.txt");
            row("same entry twice", "entry \"d/a.txt\"");
            row("no document", "no teachpkg.json");
        }
    }
    void hostilePackagesChangeNothing()
    {
        QFETCH(QString, command);
        QFETCH(QString, kind);
        QFETCH(QString, named);
        const QString victim = home->path() + "/victim";
        QVERIFY(writeFile(victim + "/keepme.txt", "ORIGINAL"));
        plan = runForId({"new"});
        const QByteArray document = fileBytes(plan + "/teachpkg.json");
        QVector<Entry> entries{{"teachpkg.json", document}};
        if (kind.startsWith("link"))
            entries += {{"d", victim.toUtf8(), kUnixSymbolicLink}, {"d/keepme.txt", "CLOBBERED"}};
        else if (kind.startsWith("entry"))
            entries.append(Entry{"../victim/keepme.txt", "CLOBBERED"});
        else if (kind.startsWith("same"))
            entries += {{"d/a.txt", "one"}, {"d/a.txt", "two"}};
        else
            entries = {{"notes.txt", "x"}};
        const QString package = home->path() + "/evil.yrtp";
        QVERIFY(writeArchive(package, entries));
        const QStringList before = treeOf(home->path());

        QStringList arguments{command, package};
        if (command == "diff")
            arguments.insert(1, plan);
        else if (command == "unpack")
            arguments << home->path() + "/out";
        const Result result = run(arguments);
        QVERIFY2(result.exitCode == 1 && result.err.count('\n') <= 1, qPrintable(result.err));
        QVERIFY2((result.err + result.out).contains(named), qPrintable(result.err + result.out));
        QCOMPARE(fileBytes(victim + "/keepme.txt"), QByteArray("ORIGINAL"));
        QCOMPARE(treeOf(home->path()), before);
    }

    // Packages go only to new names and over regular files; a plan whose document is a link
    // packs no package without its document.
    void packWritesOnlyRegularFilesWithTheirDocument()
    {
        plan = runForId({"new"});
        const QString copy = home->path() + "/copy";
        QVERIFY(QDir().mkpath(copy));
        QVERIFY(QFile::link(plan + "/teachpkg.json", copy + "/teachpkg.json"));
        const Result linked = run({"pack", copy, home->path() + "/q.yrtp"});
        QVERIFY(linked.failedWithOneLine(1) && linked.err.contains(copy + "/teachpkg.json"));
        QVERIFY(!QFileInfo::exists(home->path() + "/q.yrtp"));

        // Through a link, its target is replaced, as by any editor.
        const QString target = home->path() + "/target.yrtp";
        QVERIFY(writeFile(target, "old") && QFile::link(target, home->path() + "/via.yrtp"));
        QCOMPARE(run({"pack", plan, home->path() + "/via.yrtp"}).exitCode, 0);
        QVERIFY(QFileInfo(home->path() + "/via.yrtp").isSymLink());
        QVERIFY(fileBytes(target).startsWith("PK\x03\x04"));
    }

    // Two saves racing for one name without --force: one writes the package, the other is
    // refused, and the package is whole.
    void racingSavesNeverReplaceAPackage()
    {
        plan = runForId({"new", "--name", "race"});
        const QString package = home->path() + "/race.yrtp";
        QVector<QProcess *> runs;
        for (int i = 0; i < 2; ++i) {
            auto *process = new QProcess(this);
            process->setWorkingDirectory(home->path());
            process->start(QStringLiteral(YRPLAN_EXECUTABLE), {"save", plan, "--to", package});
            runs << process;
        }
        QList<int> codes;
        for (QProcess *process : qAsConst(runs)) {
            QVERIFY(process->waitForFinished(120000));
            codes << process->exitCode();
            delete process;
        }
        std::sort(codes.begin(), codes.end());
        QCOMPARE(codes, (QList<int>{0, 1}));
        QCOMPARE(run({"check", package}).exitCode, 0);
    }

    void checkSaysWhatIsWrong_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("line");
        QTest::newRow("sound") << QString() << 0
                               << "ok      file      /S/a.txt  present, 5 bytes, MD5 as recorded";
        QTest::newRow("file missing") << "remove" << 1 << "PROBLEM file      /S/a.txt  missing";
        QTest::newRow("file changed")
            << "change" << 1 << "PROBLEM file      /S/a.txt  present, 5 bytes, MD5 differs";
        QTest::newRow("file grown") << "grow" << 1 << "recorded 5 bytes";
        QTest::newRow("file no node names") << "orphan" << 0 << "ok      unnamed   /S/orphan.bin";
        QTest::newRow("link in the plan") << "link" << 1 << "PROBLEM refused";
        QTest::newRow("document broken") << "document" << 1 << "PROBLEM document  /teachpkg.json";
    }
    void checkSaysWhatIsWrong()
    {
        QFETCH(QString, change);
        QFETCH(int, exitCode);
        QFETCH(QString, line);
        plan = runForId({"new"});
        const QString step = idsOf(stepsOf(plan), "stepId").value(0);
        QVERIFY(writeFile(plan + "/" + step + "/a.txt", "hello"));
        QVERIFY(!runForId({"add-node", plan, step, "--json",
                           R"({"nodeType":"file","nodeContent":{"fileName":"a.txt",
                               "cloudPath":"c/a.txt","fileSize":"5"}})"})
                     .isEmpty());
        // The MD5 arrives as a download or a copy completes; here it is written in directly.
        QByteArray document = fileBytes(plan + "/teachpkg.json");
        QVERIFY(document.contains("\"fileMD5\": \"\""));
        document.replace("\"fileMD5\": \"\"",
                         "\"fileMD5\": \"" +
                             QCryptographicHash::hash("hello", QCryptographicHash::Md5).toHex() +
                             '"');
        QVERIFY(writeFile(plan + "/teachpkg.json", document));
        const QString file = plan + "/" + step + "/a.txt";
        if (change == "remove")
            QVERIFY(QFile::remove(file));
        else if (change == "change")
            QVERIFY(writeFile(file, "HELLO"));
        else if (change == "grow")
            QVERIFY(writeFile(file, "hello!"));
        else if (change == "orphan")
            QVERIFY(writeFile(plan + "/" + step + "/orphan.bin", "x"));
        else if (change == "link")
            QVERIFY(QFile::link(home->path(), plan + "/outside"));
        else if (change == "document")
            QVERIFY(writeFile(plan + "/teachpkg.json", "[]"));
        line.replace("/S/", "/" + step + "/");
        const QStringList before = treeOf(home->path());

        // The same findings for the directory and, where it can be packed, for its package.
        QStringList targets{plan};
        const QString package = home->path() + "/checked.yrtp";
        if (change != "link" && change != "document") {
            QCOMPARE(run({"pack", plan, package}).exitCode, 0);
            targets << package;
        }
        for (const QString &target : qAsConst(targets)) {
            const Result result = run({"check", target});
            QVERIFY2(result.exitCode == exitCode && result.out.contains(line),
                     qPrintable(result.out + result.err));
            const QJsonObject json =
                QJsonDocument::fromJson(run({"check", target, "--json"}).out.toUtf8()).object();
            QCOMPARE(json.value("ok").toBool(), exitCode == 0);
        }
        QFile::remove(package);
        QCOMPARE(treeOf(home->path()), before);
    }

    // On a terminal, long work draws its progress on standard error; elsewhere it stays quiet.
    void progressShowsOnlyOnATerminal()
    {
        plan = runForId({"new"});
        QVERIFY(writeFile(plan + "/big.bin", QByteArray(8 << 20, 'x')));
        const QString package = home->path() + "/p.yrtp";
        const Result piped = run({"pack", plan, package});
        QVERIFY(piped.exitCode == 0 && piped.err.isEmpty());
        QVERIFY(QFile::remove(package));
        // script(1) gives the command a terminal and copies what it writes there.
        const Result terminal =
            run({"-c", QStringLiteral("script -qec '%1 pack %2 %3' /dev/null")
                           .arg(QStringLiteral(YRPLAN_EXECUTABLE), plan, package)},
                QProcessEnvironment::systemEnvironment(), QStringLiteral("/bin/sh"));
        QVERIFY2(terminal.exitCode == 0 && terminal.out.contains("pack  ") &&
                     terminal.out.contains(" of 8.0 MiB"),
                 qPrintable(terminal.out));
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
        const QString elsewhere = home->path() + "/elsewhere";
        const QStringList rootArguments =
            rootOption ? QStringList{"--root", elsewhere} : QStringList();
        const QString planRoot =
            rootOption ? elsewhere + "/Orvane/Tavrunelcore/TeachPlans" : root();
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
        QCOMPARE(created.outLines().value(0), "state 0 TPOS_Success_Create");
        plan = created.outLines().value(1);
        QVERIFY2(plan.startsWith(planRoot + '/'), qPrintable(plan));
        QVERIFY(QFileInfo::exists(plan + "/teachpkg.json.notsave"));
        const QString step = idsOf(stepsOf(plan), "stepId").value(0);
        const QString node = addPaper(step, "p-1");

        // Saved as nobody signed in saves: packed into the file the save dialog was given.
        const QString package = home->path() + "/课.yrtp";
        const Result saved = lifecycle({"save", plan, "--to", home->path() + "/课", "--trace"});
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
            QCOMPARE(descriptionOf(copy).value("name").toString(), "课");
            QCOMPARE(idsOf(stepsOf(copy), "stepId"), QStringList{step});
            QCOMPARE(idsOf(listOf(stepsOf(copy).at(0), "nodes"), "nodeId"), QStringList{node});
        }

        QCOMPARE(lifecycle({"rename", imported, "新名"}).out, QString());
        QCOMPARE(descriptionOf(imported).value("name").toString(), "新名");
        for (const QString &copy : {plan, imported, openedPlan}) {
            QCOMPARE(lifecycle({"delete", copy, "--trace"}).out, "state 4 TPOS_Success_Delete\n");
            QVERIFY(!QFileInfo::exists(copy));
        }
        // Nothing is left but the package: nothing below ALLUSERSPROFILE when --root says
        // otherwise, and no file-dialog history in the user's configuration.
        const QString base = QDir(home->path()).relativeFilePath(rootOption ? elsewhere : root());
        const QRegularExpression kept("^(" + QFileInfo(package).fileName() + "|" +
                                      base.section('/', 0, 0) + "(/.*)?)$");
        QCOMPARE(treeOf(home->path()).filter(kept).size(), treeOf(home->path()).size());
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
        const QString package = home->path() + "/旧.yrtp";
        QCOMPARE(run({"pack", plan, package}).exitCode, 0);

        // Saving opens the plan first; the controller asks before it converts.
        const QString saved = home->path() + "/saved.yrtp";
        const Result declined = run({"save", plan, "--to", saved});
        QVERIFY2(declined.failedWithOneLine(1) && declined.err.contains("TPOS_Fail_Ignore") &&
                     declined.err.contains("--convert"),
                 qPrintable(declined.err));
        QVERIFY(!QFileInfo::exists(saved));
        QCOMPARE(fileBytes(plan + "/teachpkg.json"), older);
        QCOMPARE(run({"save", plan, "--to", saved, "--convert"}).exitCode, 0);
        QCOMPARE(descriptionOf(plan).value("documentVersion").toString(), "5.0");

        // Opening a package converts it: only when asked to.
        const Result refused = run({"open", package});
        QVERIFY(refused.failedWithOneLine(1) && refused.err.contains("--convert"));
        const Result converted = run({"open", package, "--convert"});
        QCOMPARE(converted.exitCode, 0);
        QCOMPARE(descriptionOf(converted.outLines().value(0)).value("documentVersion").toString(),
                 "5.0");
    }

    void demoBuildsEveryKindAndFindsCopiesEqual()
    {
        const Result result = run({"demo", "--trace"});
        QVERIFY2(result.exitCode == 0 && result.err.isEmpty(), qPrintable(result.err));
        // Every edit refreshes the page; the local save reports a plan without a cloud id; every
        // stage, step type and node kind shows.
        QVERIFY(result.out.endsWith("resource files: 9, equal: yes\ndocuments equal: yes\n"));
        for (const QString shown : {"\njs returnJsonToWeb({\n",
                                    "\nstate 2 TPOS_Success_Rename\n",
                                    "\njs savePlanStatus(1, -1, {\n",
                                    "\nstate 6 TPOS_Success_Import\n",
                                    "\ncreated  ",
                                    "\nsaved    ",
                                    "\nimported ",
                                    "\nopened   ",
                                    "\nrenamed  ",
                                    "\ndeleted  ",
                                    "情景导入 (1)",
                                    "内容精讲 (2)",
                                    "同步习题 (4)",
                                    "随堂测试 (8)",
                                    "分组竞赛 (16)",
                                    "分组探究 (32)",
                                    "自定义 (64)",
                                    "    file \"",
                                    "    question \"",
                                    "    paper \"",
                                    "    subjectApp \"",
                                    "    ebook \"",
                                    "        file \"",
                                    "        question \""})
            QVERIFY2(result.out.contains(shown), qPrintable(shown));
        // The demonstration works in a temporary root and leaves nothing behind.
        QCOMPARE(treeOf(home->path()), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestYrplan)
#include "tst_yrplan.moc"
