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
    // The fixture plan: an intro step with a paper node, and a group-inquiry step with its
    // first task.
    QString plan, introStep, inquiryStep, task, paperNode;

    Result run(const QStringList &arguments)
    {
        QProcess process;
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
    }

    void helpVersionAndUnknownCommands()
    {
        const Result help = run({"--help"});
        QCOMPARE(help.exitCode, 0);
        for (const QString name : {"new", "show", "add-step", "add-task", "add-node", "rename",
                                   "move", "delete", "files", "diff", "pack", "unpack", "demo"}) {
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

        QTemporaryDir other;
        QVERIFY(runForId({"new", "--root", other.path()}).startsWith(other.path() + "/local/"));
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
        QCOMPARE(run({"rename", plan, explain, "--name", "精讲"}).exitCode, 0);
        QCOMPARE(run({"rename", plan, secondTask, "--name", "任务2"}).exitCode, 0);
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
            QCOMPARE(run(QStringList{"delete", plan} + arguments).exitCode, 0);
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
        QTest::newRow("unknown id") << "rename|PLAN|no-such-id|--name|x" << 1;
        QTest::newRow("desc on a step") << "rename|PLAN|INTRO|--desc|d" << 2;
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
        QTest::newRow("delete a step as a node") << "delete|PLAN|INTRO|--kind|node" << 1;
        QTest::newRow("unknown option") << "rename|PLAN|INTRO|--colour|red" << 2;
        QTest::newRow("missing arguments") << "add-task|PLAN" << 2;
        QTest::newRow("missing plan") << "show|/no/such/plan" << 1;
        QTest::newRow("another kind of file") << "show|PLAN/../notes.txt" << 1;
    }

    void failuresLeaveThePlanUntouched()
    {
        QFETCH(QString, arguments);
        QFETCH(int, exitCode);
        buildFixture();
        QVERIFY(writeFile(QFileInfo(plan).absolutePath() + "/notes.txt", "notes"));
        arguments.replace("PLAN", plan).replace("INTRO", introStep).replace("INQUIRY", inquiryStep);
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

    void demoBuildsEveryKindAndFindsCopiesEqual()
    {
        const Result result = run({"demo"});
        QVERIFY2(result.exitCode == 0 && result.err.isEmpty(), qPrintable(result.err));
        QVERIFY(result.out.contains("resource files: 10, equal: yes\ndocuments equal: yes\n"));
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
