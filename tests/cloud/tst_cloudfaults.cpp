#include "cloudhttp.h"
#include "yrcloudprocess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

// A real yrcloud under faults: many writers at once, a crash in the middle of an upload, a
// stop while a request is under way, and requests that are malformed in every way a client
// or an attacker may send them. Whatever happens, an object is whole or absent and nothing
// lands outside the data directory.
class TestCloudFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void parallelWritesLeaveWholeObjects();
    void killedDuringUploadLeavesTheOldObjectOrNone();
    void stopFinishesTheRequestsInFlight();
    void malformedRequestsAreRefusedAndChangeNothing_data();
    void malformedRequestsAreRefusedAndChangeNothing();

private:
    QByteArray own(const QByteArray &rest) const
    {
        return "plan/" + m_user.uid.toUtf8() + '/' + rest;
    }
    void connectStore();
    QStringList filesBelow(const QString &directory) const;

    std::unique_ptr<YRCloudProcess> m_cloud;
    YRCloudProcess::User m_user;
    std::unique_ptr<S3TestClient> m_store;
};

QByteArray bodyOf(int writer, int size)
{
    QByteArray body(size, char('A' + writer % 26));
    body.replace(0, 8, QByteArray::number(writer).rightJustified(8, '0'));
    return body;
}

void TestCloudFaults::init()
{
    m_cloud = std::make_unique<YRCloudProcess>();
    QVERIFY2(m_cloud->start({"--timeout", "2"}), qPrintable(m_cloud->errorString()));
    m_user = m_cloud->addUser(QStringLiteral("writer"));
    QVERIFY(!m_user.token.isEmpty());
    connectStore();
}

// The store client for the user, on the server's current port.
void TestCloudFaults::connectStore()
{
    const QJsonObject storage = apiRequest(m_cloud->port(), "GET", "session", m_user.token)
                                    .json()
                                    .value("storage")
                                    .toObject();
    m_store = std::make_unique<S3TestClient>(
        m_cloud->port(), YRSigV4::Credentials{storage.value("accessKeyId").toString(),
                                              storage.value("secretAccessKey").toString()});
}

void TestCloudFaults::cleanup()
{
    // A clean exit: no sanitizer report, no leak.
    QVERIFY2(m_cloud->terminate(), m_cloud->log().constData());
    m_cloud.reset();
}

QStringList TestCloudFaults::filesBelow(const QString &directory) const
{
    QStringList files;
    QDirIterator it(directory, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    files.removeAll(directory + "/yrcloud.log");
    files.sort();
    return files;
}

void TestCloudFaults::parallelWritesLeaveWholeObjects()
{
    const int writers = 50;
    const int size = 256 * 1024;
    std::vector<std::thread> threads;
    std::atomic<int> stored{0};
    for (int i = 0; i < writers; ++i) {
        threads.emplace_back([&, i] {
            // Each writer its own key, and then all of them the same key.
            if (m_store
                    ->put("plan-files", own("distinct/" + QByteArray::number(i)), bodyOf(i, size))
                    .status == 200)
                ++stored;
            if (m_store->put("plan-files", own("shared"), bodyOf(i, size)).status == 200)
                ++stored;
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    QCOMPARE(stored.load(), 2 * writers);
    for (int i = 0; i < writers; ++i)
        QCOMPARE(m_store->get("plan-files", own("distinct/" + QByteArray::number(i))).body,
                 bodyOf(i, size));
    const HttpReply shared = m_store->get("plan-files", own("shared"));
    const int winner = shared.body.left(8).toInt();
    QCOMPARE(shared.body, bodyOf(winner, size));
    QCOMPARE(shared.header("etag"),
             '"' + QCryptographicHash::hash(shared.body, QCryptographicHash::Md5).toHex() + '"');
    QVERIFY(QDir(m_cloud->dataDirectory() + "/tmp").isEmpty());
}

void TestCloudFaults::killedDuringUploadLeavesTheOldObjectOrNone()
{
    const QByteArray old = bodyOf(1, 1024 * 1024);
    QCOMPARE(m_store->put("plan-files", own("replaced"), old).status, 200);
    const qint64 length = qint64(512) * 1024 * 1024;
    const QByteArray block(1024 * 1024, 'n');
    std::atomic<bool> stop{false};
    for (const QByteArray &key : {own("replaced"), own("new")}) {
        std::thread upload([&] {
            m_store->putStreamed("plan-files", key, length,
                                 [&](qint64) { return stop ? QByteArray() : block; });
        });
        // Once part of the body is on disk, the server dies.
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(m_cloud->dataDirectory() + "/tmp").isEmpty(), 20000);
        QTest::qWait(200);
        m_cloud->kill();
        stop = true;
        upload.join();
        stop = false;
        QVERIFY2(m_cloud->start(), qPrintable(m_cloud->errorString()));
        connectStore();
    }
    QCOMPARE(m_store->get("plan-files", own("replaced")).body, old);
    QCOMPARE(m_store->get("plan-files", own("new")).status, 404);
}

void TestCloudFaults::stopFinishesTheRequestsInFlight()
{
    const qint64 length = 32 * 1024 * 1024;
    const QByteArray block(256 * 1024, 's');
    std::atomic<bool> halfway{false};
    std::atomic<bool> stopped{false};
    HttpReply reply;
    std::thread upload([&] {
        reply = m_store->putStreamed("plan-files", own("in-flight"), length, [&](qint64 offset) {
            if (offset >= length / 2) {
                halfway = true;
                // The rest follows only once the server was told to stop.
                while (!stopped)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            return block;
        });
    });
    QTRY_VERIFY_WITH_TIMEOUT(halfway, 20000);
    m_cloud->askToStop();
    QTRY_VERIFY(m_cloud->log().contains("stopping"));
    // New connections are no longer taken.
    QCOMPARE(sendHttp(m_cloud->port(), "GET", "/api/health").status, 0);
    stopped = true;
    upload.join();
    QCOMPARE(reply.status, 200);
    QVERIFY(m_cloud->terminate());
    QVERIFY2(m_cloud->start(), qPrintable(m_cloud->errorString()));
    connectStore();
    QCOMPARE(m_store->get("plan-files", own("in-flight")).body.size(), length);
}

void TestCloudFaults::malformedRequestsAreRefusedAndChangeNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("what");
    QTest::addColumn<int>("status");
    QTest::newRow("key with ..") << "key" << QByteArray("../../../../outside") << 400;
    QTest::newRow("key with NUL") << "key" << QByteArray("a%00b") << 400;
    QTest::newRow("key with backslash") << "key" << QByteArray("a%5C..%5Cb") << 400;
    QTest::newRow("key with . segment") << "key" << QByteArray("a/./b") << 400;
    QTest::newRow("key with empty segment") << "key" << QByteArray("a//b") << 400;
    QTest::newRow("key not UTF-8") << "key" << QByteArray("a%FFb") << 400;
    QTest::newRow("key too long") << "key" << QByteArray(1100, 'k') << 400;
    QTest::newRow("bad Delete XML") << "delete" << QByteArray("<Delete><Object><Key>") << 400;
    QTest::newRow("oversized Delete") << "delete" << QByteArray(3 * 1024 * 1024, ' ') << 400;
    QTest::newRow("bad part list") << "complete" << QByteArray("<Complete") << 400;
    QTest::newRow("truncated body") << "truncated" << QByteArray() << 400;
    QTest::newRow("truncated chunks") << "chunks" << QByteArray() << 400;
    QTest::newRow("garbled request line") << "raw" << QByteArray("PUT\r\n\r\n") << 400;
    QTest::newRow("garbled signature")
        << "authorization" << QByteArray("AWS4-HMAC-SHA256 Credential=x") << 400;
    QTest::newRow("bad continuation token") << "list" << QByteArray("!!!") << 400;
    QTest::newRow("unknown api") << "api" << QByteArray("/api/teaplan/DROP%20TABLE") << 404;
}

void TestCloudFaults::malformedRequestsAreRefusedAndChangeNothing()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, what);
    QFETCH(int, status);
    QCOMPARE(m_store->put("plan-files", own("kept"), "kept").status, 200);
    const QStringList before = filesBelow(m_cloud->dataDirectory());
    const QByteArray kept = S3TestClient::target("plan-files", own("kept"));
    HttpReply reply;
    if (kind == "key") {
        // Signed as sent, so that only the key is wrong.
        const QByteArray target = "/plan-files/" + own(what);
        reply = m_store->request("PUT", target, {}, "outside");
    } else if (kind == "delete") {
        reply = m_store->request("POST", "/plan-files?delete", {}, what);
    } else if (kind == "complete") {
        const HttpReply created = m_store->request("POST", kept + "?uploads");
        const QByteArray id = created.body.mid(created.body.indexOf("<UploadId>") + 10, 32);
        reply = m_store->request("POST", kept + "?uploadId=" + id, {}, what);
    } else if (kind == "list") {
        reply = m_store->request("GET",
                                 "/plan-files?list-type=2&prefix=" + own("").toPercentEncoding() +
                                     "&continuation-token=" + what);
    } else if (kind == "api") {
        reply = sendHttp(m_cloud->port(), "GET", what,
                         {{"Authorization", "Bearer " + m_user.token.toUtf8()}});
    } else if (kind == "authorization") {
        reply = sendHttp(m_cloud->port(), "GET", kept, {{"Authorization", what}});
    } else {
        // The client stalls in the middle of the body; the server gives up after its timeout.
        QByteArray request = what;
        if (kind == "truncated")
            request = m_store->rawHead("PUT", kept, {}, YRSigV4::kUnsignedPayload) +
                      "Content-Length: 1000\r\n\r\n" + QByteArray(400, 't');
        if (kind == "chunks")
            request = m_store->rawHead("PUT", kept,
                                       {{"Content-Encoding", "aws-chunked"},
                                        {"x-amz-decoded-content-length", "16"}},
                                       YRSigV4::kStreamingUnsignedPayloadTrailer) +
                      "Content-Length: 100\r\n\r\n10\r\nonly part";
        const QByteArray answer = sendRaw(m_cloud->port(), request, 10000);
        reply.status = answer.mid(9, 3).toInt();
    }
    QCOMPARE(reply.status, status);
    QCOMPARE(m_store->get("plan-files", own("kept")).body, QByteArray("kept"));
    QDir(m_cloud->dataDirectory() + "/uploads").removeRecursively();
    QDir().mkpath(m_cloud->dataDirectory() + "/uploads");
    QTRY_COMPARE(filesBelow(m_cloud->dataDirectory()), before);
    QVERIFY(!QFileInfo::exists(m_cloud->dataDirectory() + "/../outside"));
    QTRY_VERIFY(m_cloud->log().contains("refused"));
}

QTEST_GUILESS_MAIN(TestCloudFaults)
#include "tst_cloudfaults.moc"
