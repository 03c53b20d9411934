#include "cloudfixture.h"

#include "plandata/yrplandata.h"
#include "resourcemanage/yrresourcemanage.h"
#include "support/modalanswerer.h"
#include "support/planfixtures.h"
#include "teachingplanoperate/yrteachingplanoperate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <quazip/JlCompress.h>

using PlanFixtures::readAll;
using PlanFixtures::writeFile;

namespace {

const QByteArray kSlides(300000, 's');
const QByteArray kNotes = "notes of the lesson";

// A teacher's application as a host builds it: plan data, resource manager and controller
// over a manager signed in to the cloud, with a teaching-plan root of its own.
struct TeacherHost
{
    explicit TeacherHost(CloudFixture &cloud)
        : resources(&cloud.manager), operate(&data, &cloud.manager, &resources),
          states(&operate, &YRTeachingPlanOperate::signalTeachingPlanOperateState),
          scripts(&operate, &YRTeachingPlanOperate::signalCefRunJavaScript)
    {
        YRHttpNetWorkManager::applySessionToApplication(cloud.session);
        data.initTeachingPlanAttr();
    }
    ~TeacherHost() { QCoreApplication::instance()->setProperty("uid", QString()); }

    QList<int> stateCodes() const
    {
        QList<int> codes;
        for (const QList<QVariant> &call : states)
            codes.append(call.at(0).toInt());
        return codes;
    }
    QStringList statements(const QString &prefix) const
    {
        QStringList found;
        for (const QList<QVariant> &call : scripts) {
            if (call.at(0).toString().startsWith(prefix))
                found.append(call.at(0).toString());
        }
        return found;
    }
    QString planDir() const { return data.getTeachingPlanDir(); }
    QString jsonPath() const
    {
        return QDir(data.getTeachingPlanRoot()).relativeFilePath(planDir() + "/teachpkg.json");
    }
    QString firstStepId() const
    {
        return PlanFixtures::parse(data.getJson())
            .value("steps")
            .toArray()
            .first()
            .toObject()
            .value("attr")
            .toObject()
            .value("stepId")
            .toString();
    }
    // Copies a file into the first step as the host does, telling the controller.
    bool addFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = planDir() + "/" + firstStepId() + "/" + name;
        return QDir().mkpath(QFileInfo(path).path()) && writeFile(path, bytes) &&
               operate.addLocalFile(path, 0) && operate.addLocalFile(path, 100);
    }
    // Saves and waits for the page's report: its status (1 saved in the cloud), -1 for none.
    int save()
    {
        scripts.clear();
        operate.saveTeachingPlan();
        if (!QTest::qWaitFor([&] { return !statements("savePlanStatus").isEmpty(); }, kWaitMs))
            return -1;
        return statements("savePlanStatus").first().mid(15, 1).toInt();
    }
    // Opens a cloud plan as a host does; true once its files and questions are all in.
    bool openFromCloud(const QString &path, int planId)
    {
        const QString id = QString::number(planId);
        // A host opens cloud plans once the network check has answered.
        if (!QTest::qWaitFor([&] { return resources.IsConnectedWithNet(); }, kWaitMs) ||
            operate.analysisCloudTeachingPlan(path, id, "", "", "5.0", "m") != TPV_Version5 ||
            !operate.openCloudTeachingPlan(path, id) ||
            !QTest::qWaitFor([&] { return stateCodes().contains(TPOS_Success_Open); }, kWaitMs))
            return false;
        operate.downloadResourceFromJson();
        return QTest::qWaitFor([&] { return !resources.hasDownloadingFile(); }, kWaitMs);
    }

    struct Profile
    {
        Profile() { qputenv("ALLUSERSPROFILE", dir.path().toUtf8()); }
        QTemporaryDir dir;
    } profile;
    YRPlanData data;
    YRResourceManage resources;
    YRTeachingPlanOperate operate;
    QSignalSpy states;
    QSignalSpy scripts;
};

// A plan saved to the cloud by a first teacher's application: two files and a question, which
// the cloud's question bank holds.
struct SavedPlan
{
    bool make(CloudFixture &cloud)
    {
        TeacherHost host(cloud);
        if (!cloud.addQuestion("101", "single", QJsonObject{{"stem", "2+2"}}) ||
            !QTest::qWaitFor([&] { return host.resources.IsConnectedWithNet(); }, kWaitMs) ||
            !host.operate.createTeachingPlan() || !host.addFile("slides.pptx", kSlides) ||
            !host.addFile("notes.txt", kNotes))
            return false;
        host.operate.appendNode(host.firstStepId(), "",
                                R"({"nodeType":"question","nodeContent":{"chName":"q",)"
                                R"("questionId":"101","questionType":"single"}})");
        if (host.save() != 1)
            return false;
        jsonPath = host.jsonPath();
        planId = host.operate.getId();
        host.operate.closeTeachingPlan();
        return planId > 0;
    }
    QString jsonPath;
    int planId = -1;
};

} // namespace

// Every cloud flow of the controller, through the real manager and a real yrcloud.
class TestNetCloudFlows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QJsonObject>(); }

    void aSavedPlanOpensWholeElsewhere()
    {
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        SavedPlan plan;
        QVERIFY(plan.make(cloud));

        // Another computer: a fresh root, and the first download of the slides cut midway.
        cloud.proxy.addRule({FaultProxy::Fault::Cut, "GET", "slides.pptx", 100000, 0, 0, {}, 1});
        TeacherHost host(cloud);
        QVERIFY(host.openFromCloud(plan.jsonPath, plan.planId));
        const QString step = host.planDir() + "/" + host.firstStepId();
        QCOMPARE(readAll(step + "/slides.pptx"), kSlides);
        QCOMPARE(readAll(step + "/notes.txt"), kNotes);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(step + "/single_101.json"), kWaitMs);
        QCOMPARE(PlanFixtures::parse(QString::fromUtf8(readAll(step + "/single_101.json"))),
                 QJsonObject({{"stem", "2+2"}}));
        QCOMPARE(cloud.proxy.faultsApplied(), 1);

        // Changed and saved again: the record is updated, not made twice.
        host.operate.setIntrospection("went well");
        QCOMPARE(host.save(), 1);
        QCOMPARE(host.operate.getId(), plan.planId);
        QSignalSpy listed(cloud.http(), &YRHttpRequest::sglHttpRequestFinish);
        cloud.http()->sendQueryRequest({}, "api/teaplan/list", "", 0);
        QVERIFY(listed.wait(kWaitMs));
        QCOMPARE(listed.first().at(1).toJsonObject().value("data").toArray().size(), 1);
    }

    void renameExportAndDeleteFromThePlanList()
    {
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        SavedPlan plan;
        QVERIFY(plan.make(cloud));
        TeacherHost host(cloud);
        QTRY_VERIFY_WITH_TIMEOUT(host.resources.IsConnectedWithNet(), kWaitMs);
        const QString id = QString::number(plan.planId);

        QVERIFY(host.operate.renameTeachingPlan(id, "Renamed", plan.jsonPath, "0"));
        QTRY_COMPARE_WITH_TIMEOUT(host.stateCodes(), QList<int>{TPOS_Success_Rename}, kWaitMs);

        QTemporaryDir out;
        ModalAnswerer answerer;
        answerer.chooseFile(out.filePath("exported.yrtp"));
        host.states.clear();
        QVERIFY(host.operate.exportTeachingPlan(id, plan.jsonPath, "Renamed", ""));
        QTRY_COMPARE_WITH_TIMEOUT(host.stateCodes(),
                                  (QList<int>{TPOS_Start_Export, TPOS_Success_Export}), kWaitMs);
        QTemporaryDir unpacked;
        QVERIFY(!JlCompress::extractDir(out.filePath("exported.yrtp"), unpacked.path()).isEmpty());
        QCOMPARE(PlanFixtures::nameInDocument(unpacked.filePath("teachpkg.json")),
                 QStringLiteral("Renamed"));
        const QStringList steps =
            QDir(unpacked.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(steps.size(), 1);
        QCOMPARE(readAll(unpacked.filePath(steps.first() + "/slides.pptx")), kSlides);
        QCOMPARE(readAll(unpacked.filePath(steps.first() + "/notes.txt")), kNotes);

        // Deleted: the record through the service, the files below the plan's folder.
        const QString folder = QFileInfo(plan.jsonPath).path();
        QVERIFY(host.resources.deleteFileFromCloud(folder));
        QSignalSpy answered(cloud.http(), &YRHttpRequest::sglHttpRequestFinish);
        cloud.http()->sendRequest({{"p_id", id}}, "api/teaplan/deleteplan", "", 0);
        QVERIFY(answered.wait(kWaitMs));
        TeacherHost later(cloud);
        QTRY_VERIFY_WITH_TIMEOUT(later.resources.IsConnectedWithNet(), kWaitMs);
        QVERIFY(later.operate.openCloudTeachingPlan(plan.jsonPath, id));
        QTRY_COMPARE_WITH_TIMEOUT(later.stateCodes(), QList<int>{TPOS_Fail_Open}, kWaitMs);
    }

    void uploadsRefusedForAWhileArriveLater()
    {
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        TeacherHost host(cloud);
        QTRY_VERIFY_WITH_TIMEOUT(host.resources.IsConnectedWithNet(), kWaitMs);
        QVERIFY(host.operate.createTeachingPlan());
        cloud.proxy.addRule({FaultProxy::Fault::Status, "PUT", "late.bin", 0, 0, 500,
                             "<Error><Code>InternalError</Code></Error>", 2});
        QSignalSpy uploads(&host.resources, &YRResourceManage::signalUploadFinished);
        QVERIFY(host.addFile("late.bin", kSlides));
        QTRY_VERIFY_WITH_TIMEOUT(!uploads.isEmpty() && uploads.last().at(0).toInt() == 0, kWaitMs);
        QCOMPARE(uploads.size(), 3);
        QCOMPARE(uploads.first().at(0).toInt(), 500);
        const QString key = "plan/" + host.jsonPath().replace("teachpkg.json", "") +
                            host.firstStepId() + "/late.bin";
        QTemporaryDir check;
        QVERIFY(cloud.download({{"url", cloud.objectUrl(cloud.bucket("localUpload"), key)},
                                {"dest", check.filePath("late.bin")}}));
        QCOMPARE(readAll(check.filePath("late.bin")), kSlides);
    }

    void theCloudGoingAwayAndComingBackLosesNothing()
    {
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        cloud.check()->setWatchInterval(300);
        TeacherHost host(cloud);
        QTRY_VERIFY_WITH_TIMEOUT(host.resources.IsConnectedWithNet(), kWaitMs);
        QVERIFY(host.operate.createTeachingPlan());
        QSignalSpy states(cloud.check(), &YRNetWorkCheck::sglNetWorkState);
        QSignalSpy uploads(&host.resources, &YRResourceManage::signalUploadFinished);

        QVERIFY(cloud.stopCloud());
        QVERIFY(host.addFile("offline.txt", kNotes));
        QTRY_VERIFY_WITH_TIMEOUT(!host.resources.IsConnectedWithNet(), kWaitMs);
        QVERIFY(cloud.startCloud());
        QTRY_VERIFY_WITH_TIMEOUT(host.resources.IsConnectedWithNet(), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!uploads.isEmpty() && uploads.last().at(0).toInt() == 0, kWaitMs);
        QCOMPARE(states.first().at(0).toBool(), false);
        QCOMPARE(states.last().at(0).toBool(), true);
        QVERIFY(!host.resources.hasUploadingFile());
    }

    void refusalsReachThePage_data()
    {
        QTest::addColumn<QString>("spoil");
        QTest::newRow("token refused") << "token";
        QTest::newRow("signature refused") << "secret";
    }
    void refusalsReachThePage()
    {
        QFETCH(QString, spoil);
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        TeacherHost host(cloud);
        QTRY_VERIFY_WITH_TIMEOUT(host.resources.IsConnectedWithNet(), kWaitMs);
        QVERIFY(host.operate.createTeachingPlan());
        QJsonObject storage = cloud.session.value("storage").toObject();
        if (spoil == "secret")
            storage.insert("secretAccessKey", "wrong");
        cloud.manager.setSession(cloud.proxy.url(), spoil == "token" ? "wrong" : cloud.token,
                                 storage);
        QCOMPARE(host.save(), 0);
        QVERIFY(host.operate.closeTeachingPlan());
    }

    void anAnswerThatIsNotJsonMarksTheQuestionFailed()
    {
        CloudFixture cloud;
        QVERIFY(cloud.ready);
        SavedPlan plan;
        QVERIFY(plan.make(cloud));
        cloud.proxy.addRule({FaultProxy::Fault::Status, "GET", "onequeinfo", 0, 0, 200,
                             "<html>maintenance</html>", -1});
        TeacherHost host(cloud);
        QSignalSpy failed(cloud.http(), &YRHttpRequest::sglHttpRequestError);
        QVERIFY(host.openFromCloud(plan.jsonPath, plan.planId));
        QTRY_VERIFY_WITH_TIMEOUT(!failed.isEmpty(), kWaitMs);
        QCOMPARE(failed.first().at(1).toInt(), int(YRNE_BadAnswer));
        // The page is told on its next progress report; nothing was written.
        host.operate.downloadResourceFromJson();
        QVERIFY(
            host.statements("multiFileProcess")
                .last()
                .contains(QRegularExpression("\"percent\": -1,\\s*\"tempPath\": \"[^\"]*_101")));
        QVERIFY(QDir(host.planDir() + "/" + host.firstStepId()).entryList({"*101*"}).isEmpty());
    }
};

QTEST_MAIN(TestNetCloudFlows)
#include "tst_netcloudflows.moc"
