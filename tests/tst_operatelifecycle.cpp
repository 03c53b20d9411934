#include "support/modalanswerer.h"
#include "support/operatefixture.h"

#include <QFileDialog>
#include <QtTest>

using namespace PlanFixtures;

// Creating, opening, saving, closing, renaming and deleting plans, with the statements the
// page receives along the way.
class TestOperateLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void currentStepDirectoryPrefersTheTask()
    {
        OperateFixture host;
        host.data.setTeachingPlanDir(host.root() + "/p");
        QCOMPARE(host.operate->getCurrentTeachingPlanStepDir(), host.root() + "/p/");
        host.operate->setCurrentStepOrTask("step-1", "");
        QCOMPARE(host.operate->getCurrentTeachingPlanStepDir(), host.root() + "/p/step-1");
        host.operate->setCurrentStepOrTask("step-1", "task-2");
        QCOMPARE(host.operate->getCurrentTeachingPlanStepDir(), host.root() + "/p/task-2");
    }

    void createMakesAMarkedPlanWithOneStep()
    {
        OperateFixture host;
        QVERIFY(host.operate->createTeachingPlan());
        QCOMPARE(host.stateCodes(), QList<int>{TPOS_Success_Create});
        QCOMPARE(host.operate->operationFlags(), TPOF_Editing | TPOF_Opened);
        const TeachingPlanAttr &attr = host.data.getTeachingPlanAttr();
        const QString day = QString::number(QDate::currentDate().startOfDay().toSecsSinceEpoch());
        QCOMPARE(host.planDir(), host.root() + "/" + day + "/" + attr.strGUID);
        QVERIFY(host.data.getTeachingPlanStepCount() == 1 &&
                host.data.getJson().contains("内容精讲"));
        QCOMPARE(readAll(host.document()), host.data.getJson().toUtf8());
        QVERIFY(host.operate->beNeedSaved());
        // Nobody is signed in: no auto-save.
        QVERIFY(!host.operate->findChild<QTimer *>()->isActive());

        QCoreApplication::instance()->setProperty("uid", QStringLiteral("u7"));
        QVERIFY(host.operate->createTeachingPlan());
        QVERIFY(host.planDir().contains(QStringLiteral("/u7/")));
        QVERIFY(host.operate->findChild<QTimer *>()->isActive());
        host.operate->closeTeachingPlan();
        QVERIFY(!host.operate->findChild<QTimer *>()->isActive());
        QVERIFY(host.operate->operationFlags() == 0 && host.planDir().isEmpty());
    }

    void editsReachThePageAndKeepTheFirstMarker()
    {
        OperateFixture host;
        QVERIFY(host.operate->createTeachingPlan());
        const QByteArray firstState = readAll(host.document() + ".notsave");
        host.scripts->clear();

        host.operate->addStepOrTask("", "练习", "同步习题");
        // The whole document as an object literal, then the progress pass (an empty array,
        // still in the indented form).
        QCOMPARE(host.statements().value(0), "returnJsonToWeb(" + host.data.getJson() + ")");
        QCOMPARE(host.statements().value(1), "multiFileProcess([\n]\n)");
        QVERIFY(host.data.getJson().contains(QStringLiteral("练习")));
        QCOMPARE(readAll(host.document()), host.data.getJson().toUtf8());
        QCOMPARE(readAll(host.document() + ".notsave"), firstState);

        // A refused node is reported and still leaves the plan marked.
        QFile::remove(host.document() + ".notsave");
        host.scripts->clear();
        host.operate->appendNode("no-such-step", "", R"({"nodeType":"file","nodeContent":{}})");
        QCOMPARE(host.stateCodes().last(), int(TPOS_Fail_AddNode_ExistFile));
        QVERIFY(host.statements("returnJsonToWeb").isEmpty());
        QVERIFY(QFile::exists(host.document() + ".notsave"));

        host.operate->setIntrospection("学生积极");
        host.operate->setBoard(9);
        QVERIFY(host.data.getJson().contains("\"board\": 9") &&
                host.data.getJson().contains("学生积极"));
        QCOMPARE(host.statements("returnJsonToWeb").size(), 2);
    }

    void saveWithoutAnOpenPlanDoesNothing()
    {
        OperateFixture host;
        host.data.setTeachingPlanDir(host.root() + "/idle");
        QVERIFY(!host.operate->saveTeachingPlan());
        QVERIFY(host.operate->operationFlags() == 0 && host.scripts->isEmpty());
        QVERIFY(!QFile::exists(host.root() + "/idle/teachpkg.json"));
    }

    void localSaveAsksOnceAndReportsToThePage()
    {
        OperateFixture host;
        QTemporaryDir out;
        QVERIFY(host.operate->createTeachingPlan());
        ModalAnswerer answerer;

        answerer.chooseFile(QString()); // the user cancels
        QVERIFY(!host.operate->saveTeachingPlan());
        QCOMPARE(host.statements("savePlanStatus"), QStringList{"savePlanStatus(3, -1, )"});
        QVERIFY(!(host.operate->operationFlags() & TPOF_Saving));

        host.scripts->clear();
        answerer.chooseFile(out.filePath("lesson")); // no suffix: ".yrtp" is added
        QVERIFY(host.operate->saveTeachingPlan());
        QVERIFY(QFileInfo(out.filePath("lesson.yrtp")).isFile());
        // Saved locally reads as saved (1) to the page, with the document as it now is.
        QCOMPARE(host.statements("savePlanStatus"),
                 QStringList{"savePlanStatus(1, -1, " + host.data.getJson() + ")"});
        QCOMPARE(answerer.seen().size(), 2);

        // The next save does not ask again and keeps the markers of a local save.
        QVERIFY(host.operate->saveTeachingPlan());
        QCOMPARE(answerer.seen().size(), 2);
        QVERIFY(QFile::exists(host.document() + ".notsave"));
    }

    void renamedOpenPlanMovesItsPackageOnlyOnceWritten()
    {
        OperateFixture host;
        QTemporaryDir out;
        QVERIFY(host.operate->createTeachingPlan());
        ModalAnswerer answerer;
        answerer.chooseFile(out.filePath("old.yrtp"));
        QVERIFY(host.operate->saveTeachingPlan());
        const QByteArray oldPackage = readAll(out.filePath("old.yrtp"));

        host.states->clear();
        QVERIFY(host.operate->renameTeachingPlan("local", "a/b: new", "", "1"));
        QCOMPARE(host.stateCodes(), QList<int>{TPOS_Success_Rename});
        QCOMPARE(nameInDocument(host.document()), "a/b: new");

        // A package that cannot be written (a directory stands in the way) keeps the old one.
        QVERIFY(QDir().mkpath(out.filePath("a#b# new.yrtp")));
        host.scripts->clear();
        QVERIFY(!host.operate->saveTeachingPlan());
        QCOMPARE(host.statements("savePlanStatus"), QStringList{"savePlanStatus(0, -1, )"});
        QCOMPARE(readAll(out.filePath("old.yrtp")), oldPackage);

        QVERIFY(QDir(out.filePath("a#b# new.yrtp")).removeRecursively());
        QVERIFY(host.operate->saveTeachingPlan());
        QVERIFY(QFileInfo(out.filePath("a#b# new.yrtp")).isFile());
        QVERIFY(!QFile::exists(out.filePath("old.yrtp")));
        QCOMPARE(answerer.seen().size(), 1);

        // The next save dialog opens in the folder last saved to, proposing the plan's name.
        QString proposed;
        answerer.enqueue([&](QWidget *widget) {
            auto *dialog = qobject_cast<QFileDialog *>(widget);
            QVERIFY(dialog && dialog->acceptMode() == QFileDialog::AcceptSave);
            proposed = QDir(dialog->directory()).filePath(dialog->selectedFiles().value(0));
            dialog->reject();
        });
        QVERIFY(!host.operate->exportTeachingPlan("5", "u/1/p/teachpkg.json", "Fractions", ""));
        QCOMPARE(proposed, QDir(out.path()).absoluteFilePath("Fractions.yrtp"));
    }

    void removalStaysStrictlyInsideTheRoot()
    {
        OperateFixture host;
        QTemporaryDir outside;
        QVERIFY(writeFile(outside.filePath("keep.txt"), "precious"));
        QDir().mkpath(host.root());

        // Through "..", and through a link planted under the root.
        host.data.setTeachingPlanDir(host.root() + "/" +
                                     QDir(host.root()).relativeFilePath(outside.path()));
        QCOMPARE(host.planDir(), QDir(outside.path()).absolutePath());
        QVERIFY(!host.operate->removeTeachingPlanDir());
        QVERIFY(QFile::link(outside.path(), host.root() + "/linked"));
        host.data.setTeachingPlanDir(host.root() + "/linked");
        QVERIFY(!host.operate->removeTeachingPlanDir());
        QVERIFY(QDir().mkpath(host.root() + "/via"));
        QVERIFY(QFile::link(outside.path(), host.root() + "/via/link"));
        QVERIFY(QDir().mkpath(outside.filePath("sub")));
        host.data.setTeachingPlanDir(host.root() + "/via/link/sub");
        QVERIFY(!host.operate->removeTeachingPlanDir());
        host.data.setTeachingPlanDir(host.root());
        QVERIFY(!host.operate->removeTeachingPlanDir());
        QCOMPARE(readAll(outside.filePath("keep.txt")), QByteArray("precious"));
        QVERIFY(QFileInfo::exists(outside.filePath("sub")));

        // A plan directory given with its slash; a link inside it goes, not its target.
        const QString plan = host.root() + "/u/1/guid";
        QVERIFY(QDir().mkpath(plan));
        QVERIFY(QFile::link(outside.path(), plan + "/inner"));
        host.data.setTeachingPlanDir(plan + "/");
        QVERIFY(host.operate->removeTeachingPlanDir());
        QVERIFY(!QFileInfo::exists(plan));
        QVERIFY(host.planDir().isEmpty());
        QCOMPARE(readAll(outside.filePath("keep.txt")), QByteArray("precious"));
    }

    void deleteRemovesOnlyAPlanUnderTheRoot()
    {
        OperateFixture host;
        QTemporaryDir outside;
        const QString victim = outside.filePath("teachpkg.json");
        QVERIFY(writeFile(victim, oneFilePlan("x").toUtf8()));
        QDir().mkpath(host.root());
        const QString escape = QDir(host.root()).relativeFilePath(victim);

        QVERIFY(!host.operate->deleteTeachingPlan("local", ""));
        QVERIFY(!host.operate->deleteTeachingPlan("local", escape));
        QVERIFY(!host.operate->deleteTeachingPlan("local", "u/1/none/teachpkg.json"));
        // A document at the root itself: the root is never removed, so nothing is deleted.
        host.writePlan("teachpkg.json", oneFilePlan("root"));
        QVERIFY(!host.operate->deleteTeachingPlan("local", "teachpkg.json"));
        QCOMPARE(host.stateCodes(), (QList<int>{12, 12, 12, 12}));
        QVERIFY(QFile::exists(victim));
        QVERIFY(QFile::exists(host.root() + "/teachpkg.json"));

        host.writePlan("u/1/plan-a/teachpkg.json", oneFilePlan("a"));
        host.writePlan("u/1/plan-a/s1/a.docx", "data");
        QVERIFY(host.operate->deleteTeachingPlan("local", "u/1/plan-a/teachpkg.json"));
        QCOMPARE(host.stateCodes().last(), int(TPOS_Success_Delete));
        QVERIFY(!QFileInfo::exists(host.root() + "/u/1/plan-a"));
        QVERIFY(QFileInfo::exists(host.root() + "/u/1"));
    }

    void backgroundRenameRewritesALocalPlan_data()
    {
        QTest::addColumn<QString>("jsonPath");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("state");
        QTest::newRow("mode 0") << "u/1/plan-b/teachpkg.json"
                                << "0" << int(TPOS_Success_Rename);
        QTest::newRow("not a number reads as 0") << "u/1/plan-b/teachpkg.json"
                                                 << "list" << int(TPOS_Success_Rename);
        QTest::newRow("other modes do nothing") << "u/1/plan-b/teachpkg.json"
                                                << "2" << -1;
        QTest::newRow("missing") << "u/1/missing/teachpkg.json"
                                 << "0" << int(TPOS_Fail_Rename);
        QTest::newRow("broken") << "u/1/broken/teachpkg.json"
                                << "0" << int(TPOS_Fail_Rename);
        QTest::newRow("outside") << "../../etc/teachpkg.json"
                                 << "0" << int(TPOS_Fail_Rename);
    }
    void backgroundRenameRewritesALocalPlan()
    {
        QFETCH(QString, jsonPath);
        QFETCH(QString, mode);
        QFETCH(int, state);
        OperateFixture host;
        const QString path = host.writePlan("u/1/plan-b/teachpkg.json", oneFilePlan("old"));
        const QString broken = host.writePlan("u/1/broken/teachpkg.json", "{ not json");
        QCOMPARE(host.operate->renameTeachingPlan("local-3", "新名", jsonPath, mode),
                 state != TPOS_Fail_Rename);
        QCOMPARE(host.stateCodes(), state < 0 ? QList<int>() : QList<int>{state});
        QCOMPARE(nameInDocument(path), state == TPOS_Success_Rename ? "新名" : "old");
        QCOMPARE(readAll(broken), QByteArray("{ not json"));
        QVERIFY(host.net.transfer()->downloads.isEmpty());
        if (state == TPOS_Success_Rename)
            QCOMPARE(host.operate->operationFlags(), TPOF_Background | TPOF_Opened);
    }

    void openingALocalPlanNeverTouchesTheNetwork()
    {
        OperateFixture host;
        host.writePlan("u/1/plan-c/teachpkg.json", oneFilePlan("stored"));
        QVERIFY(host.operate->openTeachingPlan("u/1/plan-c/teachpkg.json", "local-9", "", "shown",
                                               "5.0"));
        QCOMPARE(host.operate->operationFlags(), TPOF_Editing | TPOF_Opened);
        QCOMPARE(host.planDir(), host.root() + "/u/1/plan-c");
        QCOMPARE(host.data.getTeachingPlanAttr().strName, "shown");
        QVERIFY(host.net.transfer()->downloads.isEmpty() && host.net.http()->requests.isEmpty());
        QVERIFY(!host.operate->openTeachingPlan("u/1/none/teachpkg.json", "local", "", "n", ""));
        QVERIFY(!host.operate->openTeachingPlan("../x/teachpkg.json", "local", "", "n", ""));
        QCOMPARE(host.stateCodes(),
                 (QList<int>{TPOS_Success_Open, TPOS_Fail_Open, TPOS_Fail_Open}));
    }

    void versionFourAsksBeforeConverting_data()
    {
        QTest::addColumn<bool>("convert");
        QTest::newRow("accepted") << true;
        QTest::newRow("declined") << false;
    }
    void versionFourAsksBeforeConverting()
    {
        QFETCH(bool, convert);
        OperateFixture host;
        const QString path = host.writePlan("u/1/old/teachpkg.json", oneFilePlan("v4", "4.0"));
        const QByteArray stored = readAll(path);
        ModalAnswerer answerer;
        answerer.answerConversion(convert);
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        QCOMPARE(host.operate->openTeachingPlan("u/1/old/teachpkg.json", "local", "", "v4", "4.0"),
                 convert);
        QCOMPARE(answerer.seen(), QStringList{"YRTPVersionTransformDialog"});
        if (!convert) {
            QCOMPARE(host.stateCodes(), QList<int>{TPOS_Fail_Ignore});
            QCOMPARE(readAll(path), stored);
            return;
        }
        QCOMPARE(host.stateCodes(), QList<int>{TPOS_Success_Open});
        const QJsonObject written =
            parse(QString::fromUtf8(readAll(path))).value("description").toObject();
        QCOMPARE(written.value("documentVersion").toString(), "5.0");
        QVERIFY(written.value("createTime").toVariant().toLongLong() >= before);
        QVERIFY(QFile::exists(path + ".notsave"));
    }

    void closingRejectsAWaitingFileDialog()
    {
        OperateFixture host;
        ModalAnswerer answerer;
        answerer.enqueue([&](QWidget *dialog) {
            QVERIFY(qobject_cast<QFileDialog *>(dialog));
            host.operate->closeTeachingPlan();
        });
        QVERIFY(!host.operate->exportTeachingPlan("5", "u/1/p/teachpkg.json", "p", ""));
        QCOMPARE(host.operate->operationFlags(), 0);
        QVERIFY(host.stateCodes().isEmpty());
    }
};

QTEST_MAIN(TestOperateLifecycle)
#include "tst_operatelifecycle.moc"
