// yrplan signed in: its lifecycle commands, cloud list and demo --cloud, run as separate
// processes against a real yrcloud on a free loopback port.

#include "support/archives.h"
#include "support/commandrun.h"
#include "support/faultproxy.h"
#include "yrcloudprocess.h"

#include <QTcpServer>
#include <QtCore>
#include <QtTest>

using PlanFixtures::readAll;
using PlanFixtures::writeFile;

namespace {

using Result = CommandResult;

// What lies below directory but folders.
QStringList filesUnder(const QString &directory)
{
    const QMap<QString, QByteArray> tree = Archives::treeContent(directory);
    QStringList files;
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        if (it.value() != "<dir>")
            files << it.key();
    }
    return files;
}

} // namespace

class TestYrplanCloud : public QObject
{
    Q_OBJECT

    // The teaching-plan roots and packages of a test, and the yrcloud it signs in to through
    // a fault proxy (the address its sessions hand out is the proxy's too).
    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<YRCloudProcess> cloud;
    std::unique_ptr<FaultProxy> proxy;
    YRCloudProcess::User teacher;
    const QByteArray slides = Archives::randomBytes(200000);
    QString step;

    // Runs yrplan signed in as the teacher through YRPLAN_CLOUD and YRPLAN_TOKEN, with its
    // teaching-plan root below home/root and its temporary files in home/tmp.
    Result run(const QStringList &arguments, const QString &root = QStringLiteral("first"))
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("YRPLAN_CLOUD", proxy->url().toString());
        environment.insert("YRPLAN_TOKEN", teacher.token);
        environment.insert("ALLUSERSPROFILE", home->filePath(root));
        environment.insert("TMPDIR", home->filePath("tmp"));
        environment.insert("XDG_RUNTIME_DIR", home->filePath("runtime"));
        return runCommand(QStringLiteral(YRPLAN_EXECUTABLE), arguments, environment, home->path());
    }

    // A plan created signed in, whose first step holds slides.bin (the bytes of slides) and,
    // with question, a question node; its first step's id in step.
    QString newPlan(const QString &question = QString())
    {
        const QString plan = run({"create"}).outLines().value(0);
        const QJsonObject shown =
            QJsonDocument::fromJson(run({"show", plan, "--json"}).out.toUtf8()).object();
        step = shown.value("steps")[0]["attr"]["stepId"].toString();
        const QString questionNode =
            R"({"nodeType":"question","nodeContent":{"questionId":"%1","questionType":"1"}})";
        if (!writeFile(plan + '/' + step + "/slides.bin", slides) ||
            run({"add-node", plan, step, "--json",
                 R"({"nodeType":"file","nodeContent":{"fileName":"slides.bin",
                     "cloudPath":"c","fileSize":"200000","fileCloudSource":"localUpload"}})"})
                    .exitCode != 0 ||
            (!question.isEmpty() &&
             run({"add-node", plan, step, "--json", questionNode.arg(question)}).exitCode != 0))
            return QString();
        return plan;
    }

    // The plans that `cloud list --json` prints.
    QVector<QJsonObject> listed()
    {
        QVector<QJsonObject> plans;
        for (const QString &line : run({"cloud", "list", "--json"}).outLines())
            plans << QJsonDocument::fromJson(line.toUtf8()).object();
        return plans;
    }

private slots:
    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(home->path()).mkdir("tmp") && QDir(home->path()).mkdir("runtime"));
        QVERIFY(QFile::setPermissions(home->filePath("runtime"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        cloud = std::make_unique<YRCloudProcess>();
        proxy = std::make_unique<FaultProxy>(0);
        QVERIFY(proxy->listen());
        QVERIFY2(cloud->start({"--public-url", proxy->url().toString()}),
                 qPrintable(cloud->errorString()));
        proxy->setUpstreamPort(cloud->port());
        teacher = cloud->addUser("teacher");
        QVERIFY(!teacher.token.isEmpty());
    }

    // Created and saved on one computer, opened, renamed, exported and deleted from another:
    // the file and the name travel through the cloud, and deleting leaves nothing there.
    void theLifecycleWorksSignedIn()
    {
        const QString plan = newPlan();
        QVERIFY2(plan.startsWith(home->filePath("first/Orvane/Tavrunelcore/TeachPlans/") +
                                 teacher.uid + '/'),
                 qPrintable(plan));

        // Saved: the file goes up before the document, and the service records the plan.
        const Result saved = run({"save", plan, "--trace"});
        QCOMPARE(saved.exitCode, 0);
        const int upload = saved.out.indexOf(QRegularExpression("\nupload /plan/\\S+/slides.bin "
                                                                "to plan-files: ok\n"));
        const int record = saved.out.indexOf("\nrequest api/teaplan/createplan: ok\n");
        QVERIFY2(upload > 0 && record > upload &&
                     saved.out.indexOf("js savePlanStatus(1, ") > record,
                 qPrintable(saved.out));
        const QString id = saved.outLines().constLast();
        QCOMPARE(listed().size(), 1);
        QCOMPARE(listed().first().value("p_id").toInt(), id.toInt());
        QVERIFY(run({"cloud", "list"}).out.startsWith(id + "  \"未命名教案"));

        // Another computer opens it, whole, and renames it from the plan list.
        const Result opened = run({"open", id}, "second");
        QCOMPARE(opened.exitCode, 0);
        const QString copy = opened.outLines().value(0);
        QVERIFY(copy.startsWith(home->filePath("second/")));
        QCOMPARE(readAll(copy + '/' + step + "/slides.bin"), slides);
        QCOMPARE(run({"rename", id, "分数"}, "second").exitCode, 0);
        QCOMPARE(listed().first().value("p_title").toString(), "分数");

        const QString package = home->filePath("分数.yrtp");
        QCOMPARE(run({"export", id, "--to", package}, "third").out, package + '\n');
        QTemporaryDir unpacked;
        QCOMPARE(run({"unpack", package, unpacked.filePath("p")}).exitCode, 0);
        QCOMPARE(readAll(unpacked.filePath("p/" + step + "/slides.bin")), slides);
        // The export's working directory goes; a package is never replaced without --force.
        QCOMPARE(filesUnder(home->filePath("third")), QStringList());
        QVERIFY(run({"export", id, "--to", package}, "third").failedWithOneLine(1));

        QCOMPARE(run({"delete", id}, "second").exitCode, 0);
        QVERIFY(!QFileInfo::exists(copy));
        QVERIFY(listed().isEmpty());
        QVERIFY(run({"open", id}, "second").failedWithOneLine(1));
    }

    // Each fault on the way is one error line, or is overcome; nothing is lost either way.
    void faultsOnTheWay_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::newRow("download cut, then retried") << "cut" << 0 << QString();
        QTest::newRow("question unknown") << "question" << 1 << "onequeinfo: failed, error 404";
        QTest::newRow("uploads refused") << "upload" << 1 << "failed, error 500";
    }
    void faultsOnTheWay()
    {
        QFETCH(QString, fault);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QTemporaryDir bank;
        QVERIFY(cloud->run({"question", "add", writeQuestion(bank.path(), "101", "2+2", "png")})
                    .exitCode == 0);
        const QString plan = newPlan(fault == "question" ? "999" : "101");
        if (fault == "upload")
            proxy->addRule({FaultProxy::Fault::Status, "PUT", "slides.bin", 0, 0, 500,
                            "<Error><Code>InternalError</Code></Error>", -1});
        const Result saved = run({"save", plan});
        if (fault == "upload") {
            QVERIFY2(saved.failedWithOneLine(1) && saved.err.contains(said), qPrintable(saved.err));
            QVERIFY(listed().isEmpty());
            return;
        }
        QCOMPARE(saved.exitCode, 0);
        if (fault == "cut")
            proxy->addRule({FaultProxy::Fault::Cut, "GET", "slides.bin", 100000, 0, 0, {}, 1});
        const Result opened = run({"open", saved.outLines().value(0)}, "second");
        QVERIFY2(opened.exitCode == exitCode && opened.err.contains(said), qPrintable(opened.err));
        if (exitCode == 0) {
            QCOMPARE(readAll(opened.outLines().value(0) + '/' + step + "/slides.bin"), slides);
            QCOMPARE(proxy->faultsApplied(), 1);
        } else {
            QVERIFY(opened.failedWithOneLine(1));
        }
    }

    void refusalsAreOneLine_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::newRow("token refused") << "cloud|list|--token|wrong" << 1 << "token was refused";
        QTest::newRow("no service")
            << "cloud|list|--cloud|http://127.0.0.1:CLOSED" << 1 << "cannot be reached";
        QTest::newRow("no such plan") << "rename|7|x" << 1 << "no cloud plan 7";
        QTest::newRow("not a plan id") << "delete|plan" << 2 << "cloud id";
        QTest::newRow("cloud without token") << "cloud|list|--token|" << 2 << "--token";
        QTest::newRow("package signed in") << "save|p|--to|p.yrtp" << 2 << "export";
        QTest::newRow("export signed out")
            << "export|1|--to|p.yrtp|--cloud||--token|" << 2 << "sign in";
    }
    void refusalsAreOneLine()
    {
        QFETCH(QString, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        // A port that was free a moment ago, so that nothing answers there.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        arguments.replace("CLOSED", QString::number(closed.serverPort()));
        closed.close();
        const Result result = run(arguments.split('|'));
        QVERIFY2(result.failedWithOneLine(exitCode) && result.err.contains(said),
                 qPrintable(result.err));
        QVERIFY(result.out.isEmpty());
        QCOMPARE(filesUnder(home->path()), QStringList());
    }

    void theDemoWalksTheSignedInRoad()
    {
        const Result demo = run({"demo", "--cloud"});
        QVERIFY2(demo.exitCode == 0 && demo.err.isEmpty(), qPrintable(demo.err));
        for (const QString shown : {"as plan 1 (api/teaplan/createplan, ",
                                    "opened copy: 3 files, the question and its picture, equal: "
                                    "yes\n",
                                    "(api/teaplan/updatePlan)\n",
                                    "exported copy: 4 files, the question and its picture, "
                                    "equal: yes\n",
                                    "imported copy: 4 files, the question and its picture, "
                                    "equal: yes\n",
                                    "the cloud lists 0 plans\n"})
            QVERIFY2(demo.out.contains(shown), qPrintable(shown));
        QVERIFY(demo.out.endsWith("\nstopped   yrcloud\nequal: yes\n"));
        // Its plans, its yrcloud's data and its packages lay in a temporary directory, gone now.
        QCOMPARE(Archives::treeContent(home->filePath("tmp")).size(), 0);

        const Result missing = run({"demo", "--cloud", "--yrcloud", "/no/such/yrcloud"});
        QVERIFY2(missing.failedWithOneLine(1), qPrintable(missing.err));
    }
};

QTEST_GUILESS_MAIN(TestYrplanCloud)
#include "tst_yrplancloud.moc"
