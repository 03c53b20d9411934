#include "interfaces/cyrcommonutils.h"
#include "support/modalanswerer.h"
#include "support/operatefixture.h"

#include <QtTest>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

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

// A zip archive whose entries carry exactly the given names, whatever they are.
QString writeArchive(const QString &path, const QVector<QPair<QString, QByteArray>> &entries)
{
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return QString();
    for (const auto &entry : entries) {
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(entry.first)))
            return QString();
        file.write(entry.second);
        file.close();
    }
    zip.close();
    return path;
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
        QCOMPARE(nameInDocument(host.document()), QStringLiteral("Fractions # more"));
        QCOMPARE(readAll(host.planDir() + "/s1/a.docx"), QByteArray("resource bytes"));
        QVERIFY(QFile::exists(host.document() + ".notsave"));
        // The package itself is read, never changed.
        QVERIFY(QFileInfo(package).isFile());
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

        // An entry that climbs out of the plan directory refuses the whole package.
        const QString escapeTarget = host.root() + "/u/escaped.txt";
        const QString hostile = writeArchive(
            out.filePath("hostile.yrtp"),
            {{"teachpkg.json", oneFilePlan("h").toUtf8()}, {"../../u/escaped.txt", "owned"}});
        answerer.chooseFile(hostile);
        QVERIFY(host.operate->importTeachingPlan());
        QTRY_COMPARE(host.stateCodes().value(1, -1), int(TPOS_Fail_Import));
        QVERIFY(!QFileInfo::exists(escapeTarget));
        QVERIFY(!QFileInfo::exists(host.document()));

        // A document that is not a JSON object, or one that does not load as a plan, is a
        // failed import; the second one is not overwritten with an empty plan.
        for (const QByteArray &document : {QByteArray("{ not a plan"), QByteArray("{}")}) {
            host.states->clear();
            answerer.chooseFile(
                writeArchive(out.filePath("broken.yrtp"), {{"teachpkg.json", document}}));
            QVERIFY(host.operate->importTeachingPlan());
            QTRY_COMPARE(host.stateCodes(), (QList<int>{TPOS_Start_Import, TPOS_Fail_Import}));
            QCOMPARE(readAll(host.document()), document == "{}" ? document : QByteArray());
        }

        host.states->clear();
        const QString empty = writeArchive(out.filePath("empty.yrtp"), {{"other.txt", "x"}});
        answerer.chooseFile(empty);
        QVERIFY(host.operate->importTeachingPlan());
        QTRY_COMPARE(host.stateCodes(), (QList<int>{TPOS_Start_Import, TPOS_Fail_Import}));
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
        QCOMPARE(nameInDocument(host.document()), QStringLiteral("Lesson 1"));
        const QJsonObject written =
            parse(QString::fromUtf8(readAll(host.document()))).value("description").toObject();
        QCOMPARE(written.value("documentVersion").toString(), QStringLiteral("5.0"));
        QVERIFY(host.net.transfer()->uploads.isEmpty());
    }

    void openingRefusesWhatIsNoPlanPackage()
    {
        OperateFixture host;
        QTemporaryDir out;
        const QString upper = packPlan(out.path(), "plan.YRTP", oneFilePlan("p"));
        QCOMPARE(host.operate->analysisLocalTeachingPlan(upper, "m"), 0);
        QCOMPARE(host.operate->analysisLocalTeachingPlan(out.filePath("none.yrtp"), "m"), 0);

        // An archive that does not unpack fails the open (the entry checks have tests of
        // their own).
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
        QVERIFY(!host.operate->isProgressVisible());
        QCOMPARE(host.net.check()->checks.last(), QStringLiteral("YRResourceManage"));
        QVERIFY(!QFileInfo::exists(out.filePath("p.yrtp")));
    }
};

QTEST_MAIN(TestOperatePackage)
#include "tst_operatepackage.moc"
