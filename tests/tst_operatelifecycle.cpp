#include "interfaces/cyrcommonutils.h"
#include "support/modalanswerer.h"
#include "support/operatefixture.h"
#include "teachingplanoperate/yrcalexportprocess.h"

#include "interfaces/planpackage.h"
#include <QFileDialog>
#include <QTimer>
#include <QtTest>

using namespace PlanFixtures;

// Creating, opening, saving, closing, renaming and deleting plans, with the statements the
// page receives along the way.
class TestOperateLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void constructionLeavesTheControllerIdle()
    {
        OperateFixture host;
        auto *timer = host.operate->findChild<QTimer *>();
        QVERIFY(timer);
        QCOMPARE(timer->interval(), 300000);
        QVERIFY(!timer->isSingleShot());
        QVERIFY(!timer->isActive());
        auto *worker = host.operate->findChild<YRCalExportProcess *>();
        QVERIFY(worker && !worker->isRunning());
        QCOMPARE(host.operate->operationFlags(), 0);
        QVERIFY(!host.operate->isProgressVisible());

        // The host may report any number, and progress carries the flags word.
        host.operate->emitSignalTeachingPlanOperateState(3);
        QCOMPARE(host.stateCodes(), QList<int>{3});
        QSignalSpy progress(host.operate.get(), &YRTeachingPlanOperate::signalExportProgress);
        host.operate->slotExportProcess(50);
        QCOMPARE(progress.takeFirst(), (QList<QVariant>{0, 50}));
    }

    void currentStepDirectoryPrefersTheTask()
    {
        OperateFixture host;
        host.data.setTeachingPlanDir(host.root() + "/p");
        QCOMPARE(host.operate->getCurrentTeachingPlanStepDir(), host.root() + "/p/");
        host.operate->setCurrentStepOrTask("step-1", "");
        QCOMPARE(host.operate->getCurrentTeachingPlanStepDir(), host.root() + "/p/step-1");
        host.operate->setCurrentStepOrTask("step-1", "task-2");
        QCOMPARE(host.operate->getCurrentTeachingPlanStepDir(), host.root() + "/p/task-2");
        host.operate->setId(77);
        QCOMPARE(host.operate->getId(), 77);
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
        QCOMPARE(host.data.getTeachingPlanStepCount(), 1);
        QVERIFY(host.data.getJson().contains(QStringLiteral("内容精讲")));
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
        QCOMPARE(host.operate->operationFlags(), 0);
        QVERIFY(host.planDir().isEmpty());
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
        QCOMPARE(host.statements().value(1), QStringLiteral("multiFileProcess([\n]\n)"));
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
        QCOMPARE(host.data.getTeachingPlanAttr().strIntrospection, QStringLiteral("学生积极"));
        QCOMPARE(host.data.getTeachingPlanAttr().iBoardId, 9);
        QCOMPARE(host.statements("returnJsonToWeb").size(), 2);
    }

    void saveWithoutAnOpenPlanDoesNothing()
    {
        OperateFixture host;
        host.data.setTeachingPlanDir(host.root() + "/idle");
        QVERIFY(!host.operate->saveTeachingPlan());
        QCOMPARE(host.operate->operationFlags(), 0);
        QVERIFY(!QFile::exists(host.root() + "/idle/teachpkg.json"));
        QVERIFY(host.scripts->isEmpty());
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

        // The package restores the plan directory.
        QTemporaryDir restored;
        QVERIFY(YRPlanPackage::extractPackage(out.filePath("lesson.yrtp"), restored.path()));
        QCOMPARE(readAll(restored.filePath("teachpkg.json")), readAll(host.document()));
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
        QCOMPARE(host.data.getTeachingPlanAttr().strName, QStringLiteral("a/b: new"));
        QCOMPARE(nameInDocument(host.document()), QStringLiteral("a/b: new"));

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
        QString folder, proposed, title;
        answerer.enqueue([&](QWidget *widget) {
            auto *dialog = qobject_cast<QFileDialog *>(widget);
            QVERIFY(dialog);
            folder = dialog->directory().absolutePath();
            proposed = QFileInfo(dialog->selectedFiles().value(0)).fileName();
            title = dialog->windowTitle();
            QVERIFY(dialog->acceptMode() == QFileDialog::AcceptSave);
            QCOMPARE(dialog->nameFilters(), QStringList{"教案(*.yrtp)"});
            dialog->reject();
        });
        QVERIFY(!host.operate->exportTeachingPlan("5", "u/1/p/teachpkg.json", "Fractions", ""));
        QCOMPARE(folder, QDir(out.path()).absolutePath());
        QCOMPARE(proposed, QStringLiteral("Fractions.yrtp"));
        QCOMPARE(title, QStringLiteral("导出教案"));
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
        QTest::addColumn<QString>("mode");
        QTest::newRow("mode 0") << "0";
        QTest::newRow("not a number reads as 0") << "list";
    }
    void backgroundRenameRewritesALocalPlan()
    {
        QFETCH(QString, mode);
        OperateFixture host;
        const QString path = host.writePlan("u/1/plan-b/teachpkg.json", oneFilePlan("old"));
        QVERIFY(
            host.operate->renameTeachingPlan("local-3", "新名", "u/1/plan-b/teachpkg.json", mode));
        QCOMPARE(host.stateCodes(), QList<int>{TPOS_Success_Rename});
        QCOMPARE(host.operate->operationFlags(), TPOF_Background | TPOF_Opened);
        QCOMPARE(nameInDocument(path), QStringLiteral("新名"));
        QVERIFY(host.net.transfer()->downloads.isEmpty());

        // Any other mode does nothing at all.
        QVERIFY(
            host.operate->renameTeachingPlan("local-3", "other", "u/1/plan-b/teachpkg.json", "2"));
        QCOMPARE(nameInDocument(path), QStringLiteral("新名"));
        QCOMPARE(host.states->size(), 1);
    }

    void backgroundRenameFailuresAreReported()
    {
        OperateFixture host;
        host.writePlan("u/1/broken/teachpkg.json", "{ not json");
        QVERIFY(!host.operate->renameTeachingPlan("local", "n", "u/1/missing/teachpkg.json", "0"));
        QVERIFY(!host.operate->renameTeachingPlan("local", "n", "u/1/broken/teachpkg.json", "0"));
        QVERIFY(!host.operate->renameTeachingPlan("local", "n", "../../etc/teachpkg.json", "0"));
        QCOMPARE(host.stateCodes(), (QList<int>{10, 10, 10}));
        QCOMPARE(readAll(host.root() + "/u/1/broken/teachpkg.json"), QByteArray("{ not json"));
    }

    void openingALocalPlanNeverTouchesTheNetwork()
    {
        OperateFixture host;
        host.writePlan("u/1/plan-c/teachpkg.json", oneFilePlan("stored"));
        QVERIFY(host.operate->openTeachingPlan("u/1/plan-c/teachpkg.json", "local-9", "", "shown",
                                               "5.0"));
        QCOMPARE(host.stateCodes(), QList<int>{TPOS_Success_Open});
        QCOMPARE(host.operate->operationFlags(), TPOF_Editing | TPOF_Opened);
        QCOMPARE(host.planDir(), host.root() + "/u/1/plan-c");
        QCOMPARE(host.data.getTeachingPlanAttr().strName, QStringLiteral("shown"));
        QCOMPARE(host.data.getTeachingPlanStepCount(), 1);
        QVERIFY(host.net.transfer()->downloads.isEmpty());
        QVERIFY(host.net.http()->requests.isEmpty());

        QVERIFY(!host.operate->openTeachingPlan("u/1/none/teachpkg.json", "local", "", "n", ""));
        QCOMPARE(host.stateCodes().last(), int(TPOS_Fail_Open));
        QVERIFY(!host.operate->openTeachingPlan("../x/teachpkg.json", "local", "", "n", ""));
        QCOMPARE(host.stateCodes().last(), int(TPOS_Fail_Open));
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
        QCOMPARE(written.value("documentVersion").toString(), QStringLiteral("5.0"));
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
