#include "cloudhttp.h"
#include "yrcloudprocess.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// 100 clients, each on its own kept-open connection, create and update plans and put objects
// for 30 seconds against a real yrcloud, on SQLite and on PostgreSQL. Afterwards every client's
// last update and last object are what the server holds, no request failed, and the latency
// percentiles of each kind of request are printed.
class TestCloudLoad : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void hundredClientsForThirtySeconds();
};

namespace {

const int kClients = 100;
const int kUsers = 10;
const int kSeconds = 30;
const int kObjectKeys = 4;

struct ClientResult
{
    QString planId;
    int lastUpdate = -1;
    QByteArray lastBodies[kObjectKeys];
    int failures = 0;
    QString firstFailure;
};

struct Latencies
{
    std::mutex mutex;
    std::vector<qint64> update;
    std::vector<qint64> put;

    void add(std::vector<qint64> &list, qint64 microseconds)
    {
        std::lock_guard<std::mutex> lock(mutex);
        list.push_back(microseconds);
    }
};

QString percentiles(std::vector<qint64> values)
{
    if (values.empty())
        return QStringLiteral("none");
    std::sort(values.begin(), values.end());
    const auto at = [&values](double share) {
        return double(values[size_t(share * double(values.size() - 1))]) / 1000.0;
    };
    return QStringLiteral("%1 requests, p50 %2 ms, p90 %3 ms, p99 %4 ms, max %5 ms")
        .arg(values.size())
        .arg(at(0.5), 0, 'f', 1)
        .arg(at(0.9), 0, 'f', 1)
        .arg(at(0.99), 0, 'f', 1)
        .arg(double(values.back()) / 1000.0, 0, 'f', 1);
}

QMap<QString, QString> planFields(const YRCloudProcess::User &user, int client, int update)
{
    return {{"p_author", user.uid},
            {"p_block", QString::number(update)},
            {"p_board", "1"},
            {"p_date", QString::number(1767225600 + update)},
            {"p_jsonmd5", "md5"},
            {"p_rethink", "load"},
            {"p_stepnum", QString::number(update)},
            {"p_title", QStringLiteral("client %1 update %2").arg(client).arg(update)},
            {"p_version", "5.0"}};
}

} // namespace

void TestCloudLoad::initTestCase_data()
{
    addDatabaseRows();
}

void TestCloudLoad::hundredClientsForThirtySeconds()
{
    QString postgres;
    QString why;
    QVERIFY2(databaseOfRow(&postgres, &why), qPrintable(why));
    YRCloudProcess cloud(postgres);
    QVERIFY2(cloud.start(), qPrintable(cloud.errorString()));
    QVector<YRCloudProcess::User> users;
    QVector<S3TestClient> stores;
    for (int i = 0; i < kUsers; ++i) {
        users.append(cloud.addUser(QStringLiteral("teacher%1").arg(i)));
        const QJsonObject storage = apiRequest(cloud.port(), "GET", "session", users.last().token)
                                        .json()
                                        .value("storage")
                                        .toObject();
        stores.append(S3TestClient(cloud.port(), {storage.value("accessKeyId").toString(),
                                                  storage.value("secretAccessKey").toString()}));
    }

    std::vector<ClientResult> results(kClients);
    Latencies latencies;
    std::atomic<bool> running{true};
    const auto client = [&](int index) {
        const YRCloudProcess::User &user = users.at(index % kUsers);
        const S3TestClient &store = stores.at(index % kUsers);
        ClientResult &result = results[size_t(index)];
        HttpConnection connection(cloud.port());
        const auto failed = [&result](const QString &what, const HttpReply &reply) {
            if (result.failures++ == 0)
                result.firstFailure = QStringLiteral("%1: %2 %3 %4")
                                          .arg(what)
                                          .arg(reply.status)
                                          .arg(reply.transportError, QString::fromUtf8(reply.body));
        };
        QMap<QString, QString> fields = planFields(user, index, 0);
        fields.insert("p_jsonroad",
                      QStringLiteral("%1/load/client%2/teachpkg.json").arg(user.uid).arg(index));
        const HttpReply created =
            apiRequest(connection, "POST", "teaplan/createplan", user.token, fields);
        result.planId = created.json().value("data").toObject().value("planid").toString();
        if (created.status != 200 || result.planId.isEmpty())
            return failed(QStringLiteral("createplan"), created);
        for (int update = 1; running; ++update) {
            QElapsedTimer timer;
            timer.start();
            fields = planFields(user, index, update);
            fields.insert("p_id", result.planId);
            const HttpReply updated =
                apiRequest(connection, "POST", "teaplan/updatePlan", user.token, fields);
            latencies.add(latencies.update, timer.nsecsElapsed() / 1000);
            if (updated.status != 200)
                return failed(QStringLiteral("updatePlan"), updated);
            result.lastUpdate = update;

            timer.restart();
            const int slot = update % kObjectKeys;
            const QByteArray body = QByteArray::number(update).repeated(2000);
            const QByteArray target =
                S3TestClient::target("plan-files", QStringLiteral("plan/%1/load/client%2/file%3")
                                                       .arg(user.uid)
                                                       .arg(index)
                                                       .arg(slot)
                                                       .toUtf8());
            const HttpReply put = connection.send(
                "PUT", target, store.sign("PUT", target, {}, YRSigV4::sha256Hex(body)), body);
            latencies.add(latencies.put, timer.nsecsElapsed() / 1000);
            if (put.status != 200)
                return failed(QStringLiteral("put"), put);
            result.lastBodies[slot] = body;
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < kClients; ++i)
        threads.emplace_back(client, i);
    QTest::qSleep(kSeconds * 1000);
    running = false;
    for (std::thread &thread : threads)
        thread.join();

    qInfo().noquote() << "updatePlan:" << percentiles(latencies.update);
    qInfo().noquote() << "PUT object:" << percentiles(latencies.put);
    for (int i = 0; i < kClients; ++i) {
        const ClientResult &result = results[size_t(i)];
        QVERIFY2(result.failures == 0, qPrintable(result.firstFailure));
        QVERIFY(result.lastUpdate > 0);
    }
    // No update was lost: every plan holds its client's last one, every object its last body.
    for (int u = 0; u < kUsers; ++u) {
        const QJsonArray plans = apiRequest(cloud.port(), "GET", "teaplan/list", users.at(u).token)
                                     .json()
                                     .value("data")
                                     .toArray();
        QCOMPARE(plans.size(), kClients / kUsers);
        for (const QJsonValue &plan : plans) {
            const int index = plan.toObject()
                                  .value("p_jsonroad")
                                  .toString()
                                  .section("client", 1)
                                  .section('/', 0, 0)
                                  .toInt();
            QCOMPARE(plan.toObject().value("p_title").toString(),
                     QStringLiteral("client %1 update %2")
                         .arg(index)
                         .arg(results[size_t(index)].lastUpdate));
        }
    }
    for (int i = 0; i < kClients; ++i) {
        for (int slot = 0; slot < kObjectKeys; ++slot) {
            const QByteArray &expected = results[size_t(i)].lastBodies[slot];
            if (expected.isEmpty())
                continue;
            const YRCloudProcess::User &user = users.at(i % kUsers);
            QCOMPARE(stores.at(i % kUsers)
                         .get("plan-files", QStringLiteral("plan/%1/load/client%2/file%3")
                                                .arg(user.uid)
                                                .arg(i)
                                                .arg(slot)
                                                .toUtf8())
                         .body,
                     expected);
        }
    }
    QVERIFY(cloud.terminate());
}

QTEST_GUILESS_MAIN(TestCloudLoad)
#include "tst_cloudload.moc"
