#include "cloudhttp.h"
#include "yrcloudprocess.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The plan service and the session of a real yrcloud, on SQLite and on PostgreSQL: every
// request of the controller and the shapes of its answers, and the refusals that change
// nothing.
class TestCloudPlans : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void init();
    void cleanup();

    void sessionHandsOutTheStoreAndTheUsersKeys();
    void plansAreCreatedUpdatedListedAndDeleted();
    void translatePlanAnswersForDocumentsTheLibraryOpens_data();
    void translatePlanAnswersForDocumentsTheLibraryOpens();
    void questionInfoServesTheBankWithFetchablePictures();
    void refusalsChangeNothing_data();
    void refusalsChangeNothing();
    void commandLineTellsTheTruth();

private:
    HttpReply api(const QByteArray &method, const QString &api, const YRCloudProcess::User &user,
                  const QMap<QString, QString> &params = {}) const;
    QMap<QString, QString> planParams(const YRCloudProcess::User &user, const QString &jsonroad,
                                      const QString &title) const;
    QString createPlan(const YRCloudProcess::User &user, const QString &jsonroad,
                       const QString &title);
    S3TestClient storeClient(const YRCloudProcess::User &user) const;
    QJsonArray plansOf(const YRCloudProcess::User &user) const;

    std::unique_ptr<YRCloudProcess> m_cloud;
    YRCloudProcess::User m_alice;
    YRCloudProcess::User m_bob;
};

void TestCloudPlans::initTestCase_data()
{
    QTest::addColumn<bool>("onPostgres");
    QTest::addColumn<QString>("postgres");
    QTest::newRow("sqlite") << false << QString();
    QTest::newRow("postgresql") << true << testPostgresUrl();
}

void TestCloudPlans::init()
{
    QFETCH_GLOBAL(bool, onPostgres);
    QFETCH_GLOBAL(QString, postgres);
    if (onPostgres && postgres.isEmpty())
        QFAIL("YRCLOUD_TEST_POSTGRES_URL is not set: run the tests through "
              "scripts/with-postgres.sh BUILD_DIR ctest");
    m_cloud = std::make_unique<YRCloudProcess>(postgres);
    QVERIFY2(m_cloud->start(), qPrintable(m_cloud->errorString()));
    m_alice = m_cloud->addUser(QStringLiteral("alice"));
    m_bob = m_cloud->addUser(QStringLiteral("bob"));
    QVERIFY(!m_alice.token.isEmpty() && !m_bob.token.isEmpty());
}

void TestCloudPlans::cleanup()
{
    if (m_cloud)
        QVERIFY2(m_cloud->terminate(), m_cloud->log().constData());
    m_cloud.reset();
}

HttpReply TestCloudPlans::api(const QByteArray &method, const QString &api,
                              const YRCloudProcess::User &user,
                              const QMap<QString, QString> &params) const
{
    return apiRequest(m_cloud->port(), method, api, user.token, params);
}

QMap<QString, QString> TestCloudPlans::planParams(const YRCloudProcess::User &user,
                                                  const QString &jsonroad,
                                                  const QString &title) const
{
    return {{QStringLiteral("p_author"), user.uid}, {QStringLiteral("p_block"), "2048"},
            {QStringLiteral("p_board"), "3"},       {QStringLiteral("p_date"), "1767225600"},
            {QStringLiteral("p_jsonmd5"), "abc"},   {QStringLiteral("p_rethink"), "a + b & c"},
            {QStringLiteral("p_stepnum"), "4"},     {QStringLiteral("p_title"), title},
            {QStringLiteral("p_version"), "5.0"},   {QStringLiteral("p_jsonroad"), jsonroad}};
}

QString TestCloudPlans::createPlan(const YRCloudProcess::User &user, const QString &jsonroad,
                                   const QString &title)
{
    const HttpReply reply =
        api("POST", QStringLiteral("teaplan/createplan"), user, planParams(user, jsonroad, title));
    return reply.json().value("data").toObject().value("planid").toString();
}

S3TestClient TestCloudPlans::storeClient(const YRCloudProcess::User &user) const
{
    const QJsonObject storage =
        api("GET", QStringLiteral("session"), user).json().value("storage").toObject();
    return S3TestClient(m_cloud->port(), {storage.value("accessKeyId").toString(),
                                          storage.value("secretAccessKey").toString()});
}

QJsonArray TestCloudPlans::plansOf(const YRCloudProcess::User &user) const
{
    return api("GET", QStringLiteral("teaplan/list"), user).json().value("data").toArray();
}

void TestCloudPlans::sessionHandsOutTheStoreAndTheUsersKeys()
{
    const HttpReply health =
        apiRequest(m_cloud->port(), "GET", QStringLiteral("health"), QString());
    QCOMPARE(health.status, 200);
    QCOMPARE(health.json().value("status").toString(), QStringLiteral("ok"));

    const QJsonObject session = api("GET", QStringLiteral("session"), m_alice).json();
    QCOMPARE(session.value("uid").toString(), m_alice.uid);
    const QString base = m_cloud->url().toString();
    const QJsonObject domains = session.value("ResourceDomain").toObject();
    const QMap<QString, QString> buckets{{"jsonroad", "plan-documents"},
                                         {"localUpload", "plan-files"},
                                         {"resource", "resource"},
                                         {"ebook", "ebook"},
                                         {"question", "question"},
                                         {"subjectApp", "subjectapp"},
                                         {"wpan", "wpan"},
                                         {"minvideo", "minvideo"}};
    for (auto it = buckets.cbegin(); it != buckets.cend(); ++it) {
        const QJsonObject group = domains.value(it.key()).toObject();
        QCOMPARE(group.value("bucket").toString(), it.value());
        const QString below = it.key() == "jsonroad" ? "/plan" : "";
        for (const char *key : {"fileDomain", "transFileDomain", "thumbDomain"})
            QCOMPARE(group.value(key).toString(), base + '/' + it.value() + below);
    }
    const QJsonObject storage = session.value("storage").toObject();
    QCOMPARE(storage.value("endpoint").toString(), base);
    QCOMPARE(storage.value("region").toString(), QStringLiteral("us-east-1"));
    QVERIFY(!storage.value("accessKeyId").toString().isEmpty());
    QVERIFY(storage.value("secretAccessKey").toString().size() >= 40);
    QVERIFY(storage !=
            api("GET", QStringLiteral("session"), m_bob).json().value("storage").toObject());
}

void TestCloudPlans::plansAreCreatedUpdatedListedAndDeleted()
{
    const QString road = m_alice.uid + "/20260101/plan-a/teachpkg.json";
    const QString first = createPlan(m_alice, road, QStringLiteral("分数 1"));
    QVERIFY(QRegularExpression("^[0-9]+$").match(first).hasMatch());
    // The same document again updates its record.
    QCOMPARE(createPlan(m_alice, road, QStringLiteral("分数 2")), first);
    const QString other = createPlan(m_alice, m_alice.uid + "/20260102/plan-b/teachpkg.json",
                                     QStringLiteral("other"));
    QVERIFY(other != first);

    QMap<QString, QString> update = planParams(m_alice, QString(), QStringLiteral("分数 3"));
    update.remove("p_jsonroad");
    update.insert("p_id", first);
    update.insert("p_date", "1893456000"); // after 2038: newest
    const HttpReply updated = api("POST", QStringLiteral("teaplan/updatePlan"), m_alice, update);
    QCOMPARE(updated.status, 200);
    QCOMPARE(updated.json().value("success").toBool(), true);
    QCOMPARE(updated.json().value("data").toObject().value("planid").toString(), first);

    const QJsonArray plans = plansOf(m_alice);
    QCOMPARE(plans.size(), 2);
    const QJsonObject newest = plans.at(0).toObject();
    QCOMPARE(newest.value("p_id").toVariant().toString(), first);
    QCOMPARE(newest.value("p_title").toString(), QStringLiteral("分数 3"));
    QCOMPARE(newest.value("p_stepnum").toInt(), 4);
    QCOMPARE(newest.value("p_date").toDouble(), 1893456000.0);
    QCOMPARE(newest.value("p_jsonroad").toString(), road);
    QVERIFY(plansOf(m_bob).isEmpty());

    // Deleting a plan removes its folder in both plan buckets, and nothing beside it.
    const S3TestClient store = storeClient(m_alice);
    const QByteArray folder = "plan/" + m_alice.uid.toUtf8() + "/20260101/plan-a/";
    const QByteArray kept = "plan/" + m_alice.uid.toUtf8() + "/20260102/plan-b/teachpkg.json";
    QCOMPARE(store.put("plan-documents", folder + "teachpkg.json", "{}").status, 200);
    QCOMPARE(store.put("plan-files", folder + "step/picture.png", "png").status, 200);
    QCOMPARE(store.put("plan-documents", kept, "{}").status, 200);
    const HttpReply deleted =
        api("POST", QStringLiteral("teaplan/deleteplan"), m_alice, {{"p_id", first}});
    QCOMPARE(deleted.status, 200);
    QCOMPARE(deleted.json().value("success").toBool(), true);
    QCOMPARE(plansOf(m_alice).size(), 1);
    QCOMPARE(store.get("plan-documents", folder + "teachpkg.json").status, 404);
    QCOMPARE(store.get("plan-files", folder + "step/picture.png").status, 404);
    QCOMPARE(store.get("plan-documents", kept).status, 200);
}

void TestCloudPlans::translatePlanAnswersForDocumentsTheLibraryOpens_data()
{
    QTest::addColumn<QByteArray>("document"); // empty: none stored
    QTest::addColumn<bool>("success");
    const QByteArray body = R"(,"name":"n","createTime":1,"updateTime":2},"steps":[]})";
    QTest::newRow("5.0") << R"({"description":{"documentVersion":"5.0")" + body << true;
    QTest::newRow("4.0") << R"({"description":{"documentVersion":"4.0")" + body << true;
    QTest::newRow("6.0") << R"({"description":{"documentVersion":"6.0")" + body << false;
    QTest::newRow("not stored") << QByteArray() << false;
}

void TestCloudPlans::translatePlanAnswersForDocumentsTheLibraryOpens()
{
    QFETCH(QByteArray, document);
    QFETCH(bool, success);
    const QString road = m_alice.uid + "/20260101/old/teachpkg.json";
    const QString planId = createPlan(m_alice, road, QStringLiteral("旧教案"));
    if (!document.isEmpty())
        QCOMPARE(
            storeClient(m_alice).put("plan-documents", "plan/" + road.toUtf8(), document).status,
            200);
    const QMap<QString, QString> query{
        {"planid", planId}, {"uid", m_alice.uid}, {"version", "4.0"}};
    const HttpReply reply = api("GET", QStringLiteral("teaplan/Translateplan"), m_alice, query);
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.json().value("success").toBool(), success);
    if (success) {
        const QJsonObject data = reply.json().value("data").toObject();
        QCOMPARE(data.value("p_jsonroad").toString(), road);
        QCOMPARE(data.value("p_title").toString(), QStringLiteral("旧教案"));
    }
    // A plan the service does not hold cannot be converted either.
    const HttpReply unknown = api("GET", QStringLiteral("teaplan/Translateplan"), m_alice,
                                  {{"planid", "999999"}, {"uid", m_alice.uid}, {"version", "4.0"}});
    QCOMPARE(unknown.status, 200);
    QCOMPARE(unknown.json().value("success").toBool(), false);
}

void TestCloudPlans::questionInfoServesTheBankWithFetchablePictures()
{
    QTemporaryDir source;
    QFile picture(source.filePath("a.png"));
    QVERIFY(picture.open(QIODevice::WriteOnly));
    picture.write("\x89PNG picture bytes");
    picture.close();
    QFile description(source.filePath("q.json"));
    QVERIFY(description.open(QIODevice::WriteOnly));
    description.write(R"({"questionId": "77", "questionType": "1",
                          "questionJson": {"stem": "1 + 1 = ?", "answer": "2"},
                          "pictures": ["a.png"]})");
    description.close();
    const YRCloudProcess::Run added = m_cloud->run({"question", "add", source.filePath("q.json")});
    QCOMPARE(added.exitCode, 0);

    const HttpReply reply =
        api("GET", QStringLiteral("teaplan/onequeinfo"), m_alice,
            {{"uid", m_alice.uid}, {"questionId", "77"}, {"questionType", "1"}});
    QCOMPARE(reply.status, 200);
    const QJsonObject data = reply.json().value("data").toObject();
    QCOMPARE(data.value("questionJson").toObject().value("stem").toString(),
             QStringLiteral("1 + 1 = ?"));
    const QJsonArray pictures = data.value("questionImg").toArray();
    QCOMPARE(pictures.size(), 1);
    const QUrl address(pictures.at(0).toString());
    QCOMPARE(address.path(), QStringLiteral("/question/77/a.png"));
    const HttpReply fetched = sendHttp(
        m_cloud->port(), "GET", address.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority));
    QCOMPARE(fetched.status, 200);
    QCOMPARE(fetched.body, QByteArray("\x89PNG picture bytes"));

    QCOMPARE(api("GET", QStringLiteral("teaplan/onequeinfo"), m_alice,
                 {{"uid", m_alice.uid}, {"questionId", "78"}, {"questionType", "1"}})
                 .status,
             404);
}

void TestCloudPlans::refusalsChangeNothing_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("api");
    QTest::addColumn<QString>("token"); // "alice", "none" or "unknown"
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("status");
    // Each row is alice's request against bob's plan or in bob's name.
    QTest::newRow("no token") << QByteArray("POST") << "teaplan/updatePlan"
                              << "none"
                              << "" << 401;
    QTest::newRow("unknown token") << QByteArray("GET") << "teaplan/list"
                                   << "unknown"
                                   << "" << 401;
    QTest::newRow("author not the token's") << QByteArray("POST") << "teaplan/createplan"
                                            << "alice"
                                            << "author=bob" << 403;
    QTest::newRow("document below another uid") << QByteArray("POST") << "teaplan/createplan"
                                                << "alice"
                                                << "road=bob" << 403;
    QTest::newRow("document outside by ..") << QByteArray("POST") << "teaplan/createplan"
                                            << "alice"
                                            << "road=.." << 403;
    QTest::newRow("update another's plan") << QByteArray("POST") << "teaplan/updatePlan"
                                           << "alice"
                                           << "" << 403;
    QTest::newRow("delete another's plan") << QByteArray("POST") << "teaplan/deleteplan"
                                           << "alice"
                                           << "" << 403;
    QTest::newRow("convert another's plan") << QByteArray("GET") << "teaplan/Translateplan"
                                            << "alice"
                                            << "" << 403;
    QTest::newRow("question for another uid") << QByteArray("GET") << "teaplan/onequeinfo"
                                              << "alice"
                                              << "uid=bob" << 403;
    QTest::newRow("no such plan") << QByteArray("POST") << "teaplan/updatePlan"
                                  << "alice"
                                  << "id=999999" << 404;
    QTest::newRow("number not a number") << QByteArray("POST") << "teaplan/createplan"
                                         << "alice"
                                         << "stepnum=x" << 400;
    QTest::newRow("wrong method") << QByteArray("GET") << "teaplan/deleteplan"
                                  << "alice"
                                  << "" << 405;
    QTest::newRow("unknown api") << QByteArray("GET") << "teaplan/dropall"
                                 << "alice"
                                 << "" << 404;
    QTest::newRow("oversized form") << QByteArray("POST") << "teaplan/updatePlan"
                                    << "alice"
                                    << "rethink=2MiB" << 413;
}

void TestCloudPlans::refusalsChangeNothing()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, api);
    QFETCH(QString, token);
    QFETCH(QString, change);
    QFETCH(int, status);
    const QString bobsRoad = m_bob.uid + "/20260101/b/teachpkg.json";
    const QString bobsPlan = createPlan(m_bob, bobsRoad, QStringLiteral("bob's"));
    const QJsonArray before = plansOf(m_bob);
    QCOMPARE(before.size(), 1);

    QMap<QString, QString> params = planParams(m_alice, m_alice.uid + "/d/x/teachpkg.json", "x");
    params.insert("p_id", bobsPlan);
    params.insert("planid", bobsPlan);
    params.insert("uid", m_alice.uid);
    params.insert("questionId", "1");
    if (change == "author=bob")
        params.insert("p_author", m_bob.uid);
    else if (change == "road=bob")
        params.insert("p_jsonroad", bobsRoad);
    else if (change == "road=..")
        params.insert("p_jsonroad", m_alice.uid + "/../" + bobsRoad);
    else if (change == "uid=bob")
        params.insert("uid", m_bob.uid);
    else if (change == "id=999999")
        params.insert("p_id", "999999");
    else if (change == "stepnum=x")
        params.insert("p_stepnum", "x");
    else if (change == "rethink=2MiB")
        params.insert("p_rethink", QString(2 * 1024 * 1024, 'r'));
    const QString sent = token == "alice"     ? m_alice.token
                         : token == "unknown" ? QStringLiteral("not-a-token")
                                              : QString();
    const HttpReply reply = apiRequest(m_cloud->port(), method, api, sent, params);
    QCOMPARE(reply.status, status);
    QCOMPARE(reply.json().value("success").toBool(true), false);
    QVERIFY(!reply.json().value("message").toString().isEmpty());
    QCOMPARE(plansOf(m_bob), before);
    QVERIFY(plansOf(m_alice).isEmpty());
    // One line in the server's log says who was refused and why.
    QTRY_VERIFY(m_cloud->log().contains("refused " + method + " /api/" + api.toUtf8()));
}

void TestCloudPlans::commandLineTellsTheTruth()
{
    QProcess help;
    help.start(YRCloudProcess::executable(), {"--help"});
    QVERIFY(help.waitForFinished());
    QCOMPARE(help.exitCode(), 0);
    const QByteArray overview = help.readAllStandardOutput();
    for (const char *command : {"serve", "user add", "question add"})
        QVERIFY2(overview.contains(command), command);
    help.start(YRCloudProcess::executable(), {"serve", "--help"});
    QVERIFY(help.waitForFinished());
    const QByteArray serveHelp = help.readAllStandardOutput();
    for (const char *option : {"--data", "--listen", "--db", "--public-url"})
        QVERIFY2(serveHelp.contains(option), option);

    const YRCloudProcess::Run again = m_cloud->run({"user", "add", "alice"});
    QCOMPARE(again.exitCode, 1);
    QCOMPARE(again.err.count('\n'), 1);
    QVERIFY(again.err.contains("alice"));
    QCOMPARE(m_cloud->run({"launch"}).exitCode, 2);
}

QTEST_GUILESS_MAIN(TestCloudPlans)
#include "tst_cloudplans.moc"
