#include "interfaces/cyrcommonutils.h"
#include "support/archives.h"
#include "support/modalanswerer.h"
#include "support/operatefixture.h"

#include <QtTest>

using namespace PlanFixtures;

namespace {

// A package of a plan directory holding the document and one resource file, as a save makes.
QString packPlan(const QString &folder, const QString &fileName, const QString &text)
{
    QTemporaryDir plan;
    writeFile(plan.filePath("teachpkg.json"), text.toUtf8());
    QDir(plan.path()).mkpath("s1");
    writeFile(plan.filePath("s1/a.docx"), "resource bytes");
    const QString package = folder + QLatin1Char('/') + fileName;
    return CYrCommonUtils::compressDir_level(package, plan.path(), true, 0) ? package : QString();
}

} // namespace

// Import, opening a package, and the local part of export.
class TestOperatePackage : public QObject
{
    Q_OBJECT

private slots:
    void importUnpacksANewMarkedPlan()
    {
        OperateFixture host;
        QTemporaryDir out;
        const QString package = packPlan(out.path(), "Fractions & more.yrtp", oneFilePlan("orig"));
        QVERIFY(!package.isEmpty());
        ModalAnswerer answerer;
        answerer.chooseFile(package);
        QVERIFY(host.operate->importTeachingPlan());
        QCOMPARE(host.operate->operationFlags(), TPOF_Background | TPOF_Importing);
        QTRY_COMPARE(host.stateCodes(), (QList<int>{TPOS_Start_Import, TPOS_Success_Import}));

        QVERIFY(host.planDir().startsWith(host.root() + "/"));
        QCOMPARE(nameInDocument(host.document()), "Fractions # more");
        QCOMPARE(readAll(host.planDir() + "/s1/a.docx"), QByteArray("resource bytes"));
        QVERIFY(QFile::exists(host.document() + ".notsave") && QFileInfo(package).isFile());
    }

    void importFailuresLeaveFilesAlone()
    {
        OperateFixture host;
        QTemporaryDir out;
        ModalAnswerer answerer;

        answerer.chooseFile(QString());
        QVERIFY(!host.operate->importTeachingPlan());
        QCOMPARE(host.operate->operationFlags(), 0);
        QVERIFY(host.stateCodes().isEmpty());

        // A document that is not a JSON object, or one that does not load as a plan, is a
        // failed import; the second one is not overwritten with an empty plan. (Hostile
        // entries are refused by the package reader; yrplan's import shows it end to end.)
        for (const QByteArray &document : {QByteArray("{ not a plan"), QByteArray("{}")}) {
            host.states->clear();
            QVERIFY(
                Archives::writeArchive(out.filePath("broken.yrtp"), {{"teachpkg.json", document}}));
            answerer.chooseFile(out.filePath("broken.yrtp"));
            QVERIFY(host.operate->importTeachingPlan());
            QTRY_COMPARE(host.stateCodes(), (QList<int>{TPOS_Start_Import, TPOS_Fail_Import}));
            QCOMPARE(readAll(host.document()), document == "{}" ? document : QByteArray());
        }
    }

    void openingAPackageReportsItsVersion_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("code");
        QTest::newRow("current") << "5.0" << int(TPV_Version5);
        QTest::newRow("older") << "4.0" << int(TPV_Version4);
        QTest::newRow("unknown") << "6.0" << int(TPV_Unknown);
    }
    void openingAPackageReportsItsVersion()
    {
        QFETCH(QString, version);
        QFETCH(int, code);
        OperateFixture host;
        QTemporaryDir out;
        const QString package =
            packPlan(out.path(), "Lesson 1.yrtp", oneFilePlan("inner", version));
        QCOMPARE(host.operate->analysisLocalTeachingPlan(package, "mark-1"), 1);
        QTRY_COMPARE(host.versions->size(), 1);
        QCOMPARE(host.versions->first(), (QList<QVariant>{code, "mark-1"}));
        if (code == TPV_Unknown)
            return;

        // The host opens what it was told about: renamed after its package, made current,
        // without asking, and never sent over the network.
        QVERIFY(host.operate->openLocalTeachingPlan());
        QCOMPARE(host.stateCodes(), QList<int>{TPOS_Success_Open});
        QCOMPARE(nameInDocument(host.document()), "Lesson 1");
        QVERIFY(readAll(host.document()).contains("\"documentVersion\": \"5.0\""));
        QVERIFY(host.net.transfer()->uploads.isEmpty());
    }

    void openingRefusesWhatIsNoPlanPackage()
    {
        OperateFixture host;
        QTemporaryDir out;
        const QString upper = packPlan(out.path(), "plan.YRTP", oneFilePlan("p"));
        QCOMPARE(host.operate->analysisLocalTeachingPlan(upper, "m"), 0);
        QCOMPARE(host.operate->analysisLocalTeachingPlan(out.filePath("none.yrtp"), "m"), 0);

        const QString broken = out.filePath("broken.yrtp");
        QVERIFY(writeFile(broken, "not a zip archive"));
        QCOMPARE(host.operate->analysisLocalTeachingPlan(broken, "m"), 1);
        QTRY_COMPARE(host.stateCodes(), QList<int>{TPOS_Fail_Open});
        QVERIFY(host.versions->isEmpty());
    }

    void exportWithoutNetworkFailsAfterStarting()
    {
        OperateFixture host;
        QTemporaryDir out;
        ModalAnswerer answerer;
        answerer.chooseFile(QString());
        QVERIFY(!host.operate->exportTeachingPlan("12", "u/1/p/teachpkg.json", "p", ""));
        QCOMPARE(host.operate->operationFlags(), 0);
        QVERIFY(host.stateCodes().isEmpty());

        answerer.chooseFile(out.filePath("p.yrtp"));
        QVERIFY(!host.operate->exportTeachingPlan("12", "u/1/p/teachpkg.json", "p", ""));
        QCOMPARE(host.stateCodes(), (QList<int>{TPOS_Start_Export, TPOS_Fail_Export}));
        QVERIFY(!host.operate->isProgressVisible() && !QFileInfo::exists(out.filePath("p.yrtp")));
        QCOMPARE(host.net.check()->checks.last(), "YRResourceManage");
    }
};

QTEST_MAIN(TestOperatePackage)
#include "tst_operatepackage.moc"
