#include "cloudhttp.h"
#include "yrcloudprocess.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// yrcloud beside a district's own S3 store. The district's store here is a second real
// yrcloud with an administrator, whose keys the plan service uses; each user's keys for it are
// registered with `user keys`. The session then hands out that store, and the plan service
// reads, deletes and stores there.
class TestCloudDistrict : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sessionHandsOutTheDistrictStoreAndTheRegisteredKeys();
    void planServiceWorksOnTheDistrictStore();
    void questionPicturesGoToTheDistrictStore();

private:
    YRSigV4::Credentials storageOf(const YRCloudProcess &cloud,
                                   const YRCloudProcess::User &user) const;

    std::unique_ptr<YRCloudProcess> m_district; // the S3 store
    std::unique_ptr<YRCloudProcess> m_cloud;    // the plan service in front of it
    YRCloudProcess::User m_alice;
    YRCloudProcess::User m_bob;
    YRSigV4::Credentials m_aliceKeys; // alice's keys in the district's store
};

YRSigV4::Credentials TestCloudDistrict::storageOf(const YRCloudProcess &cloud,
                                                  const YRCloudProcess::User &user) const
{
    const QJsonObject storage =
        apiRequest(cloud.port(), "GET", "session", user.token).json().value("storage").toObject();
    return {storage.value("accessKeyId").toString(), storage.value("secretAccessKey").toString()};
}

void TestCloudDistrict::init()
{
    m_district = std::make_unique<YRCloudProcess>();
    QVERIFY2(m_district->start(), qPrintable(m_district->errorString()));
    // The district's store knows alice under the uid that the plan service gives her.
    const YRCloudProcess::User districtAlice = m_district->addUser("alice");
    m_aliceKeys = storageOf(*m_district, districtAlice);
    const YRCloudProcess::Run ops = m_district->run({"user", "add", "ops", "--admin"});
    QCOMPARE(ops.exitCode, 0);
    const QJsonObject opsUser = QJsonDocument::fromJson(ops.out).object();
    const YRSigV4::Credentials service = storageOf(
        *m_district, {opsUser.value("uid").toString(), opsUser.value("token").toString()});
    qputenv("YRCLOUD_STORE_ACCESS_KEY_ID", service.accessKeyId.toUtf8());
    qputenv("YRCLOUD_STORE_SECRET_ACCESS_KEY", service.secretAccessKey.toUtf8());

    m_cloud = std::make_unique<YRCloudProcess>();
    QVERIFY2(m_cloud->start({"--store-url", m_district->url().toString()}),
             qPrintable(m_cloud->errorString()));
    m_alice = m_cloud->addUser("alice");
    m_bob = m_cloud->addUser("bob");
    QCOMPARE(m_alice.uid, districtAlice.uid);
    const YRCloudProcess::Run keys =
        m_cloud->run({"user", "keys", "alice", "--store-key", m_aliceKeys.accessKeyId},
                     m_aliceKeys.secretAccessKey.toUtf8() + '\n');
    QVERIFY2(keys.exitCode == 0, keys.err.constData());
}

void TestCloudDistrict::cleanup()
{
    QVERIFY2(m_cloud->terminate(), m_cloud->log().constData());
    QVERIFY2(m_district->terminate(), m_district->log().constData());
    m_cloud.reset();
    m_district.reset();
}

void TestCloudDistrict::sessionHandsOutTheDistrictStoreAndTheRegisteredKeys()
{
    const QJsonObject session = apiRequest(m_cloud->port(), "GET", "session", m_alice.token).json();
    const QString store = m_district->url().toString();
    QCOMPARE(session.value("storage").toObject().value("endpoint").toString(), store);
    const YRSigV4::Credentials keys = storageOf(*m_cloud, m_alice);
    QCOMPARE(keys.accessKeyId, m_aliceKeys.accessKeyId);
    QCOMPARE(keys.secretAccessKey, m_aliceKeys.secretAccessKey);
    QCOMPARE(session.value("ResourceDomain")
                 .toObject()
                 .value("localUpload")
                 .toObject()
                 .value("fileDomain")
                 .toString(),
             store + "/plan-files");
    // Without registered keys there is nothing to hand out; the plan service keeps no objects.
    const HttpReply bobs = apiRequest(m_cloud->port(), "GET", "session", m_bob.token);
    QCOMPARE(bobs.status, 409);
    QVERIFY(bobs.json().value("message").toString().contains("user keys"));
    QCOMPARE(S3TestClient(m_cloud->port(), keys).get("plan-files", "plan/1/x").errorCode(),
             QStringLiteral("NoSuchBucket"));
}

void TestCloudDistrict::planServiceWorksOnTheDistrictStore()
{
    const S3TestClient store(m_district->port(), storageOf(*m_cloud, m_alice));
    const QString road = m_alice.uid + "/20260101/d/teachpkg.json";
    const QByteArray document =
        R"({"description":{"documentVersion":"5.0","name":"n"},"steps":[]})";
    QCOMPARE(store.put("plan-documents", "plan/" + road.toUtf8(), document).status, 200);
    QCOMPARE(
        store.put("plan-files", "plan/" + m_alice.uid.toUtf8() + "/20260101/d/a.png", "png").status,
        200);

    const QMap<QString, QString> fields{{"p_author", m_alice.uid}, {"p_block", "1"},
                                        {"p_board", "1"},          {"p_date", "1767225600"},
                                        {"p_jsonmd5", "m"},        {"p_rethink", ""},
                                        {"p_stepnum", "0"},        {"p_title", "区"},
                                        {"p_version", "5.0"},      {"p_jsonroad", road}};
    const QString planId =
        apiRequest(m_cloud->port(), "POST", "teaplan/createplan", m_alice.token, fields)
            .json()
            .value("data")
            .toObject()
            .value("planid")
            .toString();
    QVERIFY(!planId.isEmpty());
    const HttpReply converted =
        apiRequest(m_cloud->port(), "GET", "teaplan/Translateplan", m_alice.token,
                   {{"planid", planId}, {"uid", m_alice.uid}, {"version", "4.0"}});
    QCOMPARE(converted.json().value("success").toBool(), true);
    QCOMPARE(converted.json().value("data").toObject().value("p_jsonroad").toString(), road);

    QCOMPARE(
        apiRequest(m_cloud->port(), "POST", "teaplan/deleteplan", m_alice.token, {{"p_id", planId}})
            .status,
        200);
    QCOMPARE(store.get("plan-documents", "plan/" + road.toUtf8()).status, 404);
    QCOMPARE(store.get("plan-files", "plan/" + m_alice.uid.toUtf8() + "/20260101/d/a.png").status,
             404);
}

void TestCloudDistrict::questionPicturesGoToTheDistrictStore()
{
    QTemporaryDir source;
    const YRCloudProcess::Run added =
        m_cloud->run({"question", "add", writeQuestion(source.path(), "9", "?", "in the district"),
                      "--store-url", m_district->url().toString()});
    QVERIFY2(added.exitCode == 0, added.err.constData());

    const HttpReply reply =
        apiRequest(m_cloud->port(), "GET", "teaplan/onequeinfo", m_alice.token,
                   {{"uid", m_alice.uid}, {"questionId", "9"}, {"questionType", "1"}});
    const QUrl address(
        reply.json().value("data").toObject().value("questionImg").toArray().at(0).toString());
    QCOMPARE(address.port(), int(m_district->port()));
    const HttpReply fetched = sendHttp(
        m_district->port(), "GET", address.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority));
    QCOMPARE(fetched.body, QByteArray("in the district"));
}

QTEST_GUILESS_MAIN(TestCloudDistrict)
#include "tst_clouddistrict.moc"
