#include "cloudhttp.h"
#include "yrcloudprocess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

// The store of a real yrcloud through its whole S3 subset: objects in and out, ranges,
// listings, multi-delete, every payload mode and digest, uploads in parts, the download token,
// and the refusals that leave everything as it was.
class TestCloudStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void objectsGoInAndOutWhole_data();
    void objectsGoInAndOutWhole();
    void rangesAreServedAsS3ServesThem_data();
    void rangesAreServedAsS3ServesThem();
    void listingsFollowPrefixDelimiterAndContinuation();
    void deleteObjectsAnswersForEachKey();
    void everyPayloadModeStoresTheBytes_data();
    void everyPayloadModeStoresTheBytes();
    void mismatchedDigestsStoreNothing_data();
    void mismatchedDigestsStoreNothing();
    void refusalsChangeNothing_data();
    void refusalsChangeNothing();
    void downloadTokenReachesWhatTheKeyMayRead_data();
    void downloadTokenReachesWhatTheKeyMayRead();
    void uploadsInPartsAssembleOrLeaveNothing();

private:
    QByteArray own(const QByteArray &rest) const
    {
        return "plan/" + m_alice.uid.toUtf8() + '/' + rest;
    }
    S3TestClient client(const YRCloudProcess::User &user) const;
    QStringList keysListed(const QList<QPair<QByteArray, QByteArray>> &query) const;
    HttpReply oversizedPut(const QByteArray &target) const;

    std::unique_ptr<YRCloudProcess> m_cloud;
    YRCloudProcess::User m_alice;
    YRCloudProcess::User m_bob;
    std::unique_ptr<S3TestClient> m_store;
};

// The largest object this test's server takes.
const int kMaxObject = 8 * 1024 * 1024;

QByteArray base64Md5(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5).toBase64();
}

QByteArray quotedMd5(const QByteArray &data)
{
    return '"' + QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex() + '"';
}

void TestCloudStore::initTestCase()
{
    m_cloud = std::make_unique<YRCloudProcess>();
    QVERIFY2(m_cloud->start({"--max-object-size", QString::number(kMaxObject)}),
             qPrintable(m_cloud->errorString()));
    m_alice = m_cloud->addUser(QStringLiteral("alice"));
    m_bob = m_cloud->addUser(QStringLiteral("bob"));
    m_store = std::make_unique<S3TestClient>(client(m_alice));
}

void TestCloudStore::cleanupTestCase()
{
    QVERIFY(m_cloud->terminate());
    // Nothing half-written stays behind.
    QVERIFY(QDir(m_cloud->dataDirectory() + "/tmp").isEmpty());
}

S3TestClient TestCloudStore::client(const YRCloudProcess::User &user) const
{
    const QJsonObject storage = apiRequest(m_cloud->port(), "GET", "session", user.token)
                                    .json()
                                    .value("storage")
                                    .toObject();
    return S3TestClient(m_cloud->port(), {storage.value("accessKeyId").toString(),
                                          storage.value("secretAccessKey").toString()});
}

void TestCloudStore::objectsGoInAndOutWhole_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("plain") << own("20260101/p/teachpkg.json") << QByteArray("{\"steps\":[]}");
    QTest::newRow("chinese name") << own("p/步骤/课件 一.pptx") << QByteArray(70000, 'x');
    QTest::newRow("characters a disk keeps apart")
        << own("p/a@b%c:d*e?f|g<h>\"i. ") << QByteArray("odd");
    QTest::newRow("name and folder alike") << own("p/x") << QByteArray("file x");
    QTest::newRow("inside the folder") << own("p/x/y") << QByteArray("file x/y");
    QTest::newRow("folder marker") << own("p/folder/") << QByteArray();
}

void TestCloudStore::objectsGoInAndOutWhole()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, body);
    const HttpReply put =
        m_store->put("plan-files", key, body,
                     {{"Content-Type", "application/vnd.test"}, {"x-amz-meta-author", "alice"}});
    QCOMPARE(put.status, 200);
    QCOMPARE(put.header("etag"), quotedMd5(body));

    const HttpReply get = m_store->get("plan-files", key);
    QCOMPARE(get.status, 200);
    QCOMPARE(get.body, body);
    QCOMPARE(get.header("content-type"), QByteArray("application/vnd.test"));
    QCOMPARE(get.header("x-amz-meta-author"), QByteArray("alice"));
    const HttpReply head = m_store->request("HEAD", S3TestClient::target("plan-files", key));
    QCOMPARE(head.status, 200);
    QCOMPARE(head.header("content-length").toInt(), body.size());
    QCOMPARE(head.header("etag"), quotedMd5(body));

    QCOMPARE(m_store->remove("plan-files", key).status, 204);
    QCOMPARE(m_store->get("plan-files", key).errorCode(), QStringLiteral("NoSuchKey"));
    QCOMPARE(m_store->request("HEAD", S3TestClient::target("plan-files", key)).status, 404);
}

void TestCloudStore::rangesAreServedAsS3ServesThem_data()
{
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("length");
    QTest::newRow("first ten") << QByteArray("bytes=0-9") << 206 << 0 << 10;
    QTest::newRow("from 90") << QByteArray("bytes=90-") << 206 << 90 << 10;
    QTest::newRow("last five") << QByteArray("bytes=-5") << 206 << 95 << 5;
    QTest::newRow("past the end") << QByteArray("bytes=95-200") << 206 << 95 << 5;
    QTest::newRow("outside") << QByteArray("bytes=100-") << 416 << 0 << 0;
    QTest::newRow("two ranges") << QByteArray("bytes=0-1,5-6") << 200 << 0 << 100;
}

void TestCloudStore::rangesAreServedAsS3ServesThem()
{
    QFETCH(QByteArray, range);
    QFETCH(int, status);
    QFETCH(int, first);
    QFETCH(int, length);
    QByteArray body;
    for (int i = 0; i < 100; ++i)
        body += char('a' + i % 26);
    QCOMPARE(m_store->put("plan-files", own("ranged"), body).status, 200);
    const HttpReply reply = m_store->get("plan-files", own("ranged"), {{"Range", range}});
    QCOMPARE(reply.status, status);
    if (status == 416) {
        QCOMPARE(reply.errorCode(), QStringLiteral("InvalidRange"));
        return;
    }
    QCOMPARE(reply.body, body.mid(first, length));
    if (status == 206)
        QCOMPARE(reply.header("content-range"),
                 QStringLiteral("bytes %1-%2/100").arg(first).arg(first + length - 1).toUtf8());
}

QStringList TestCloudStore::keysListed(const QList<QPair<QByteArray, QByteArray>> &query) const
{
    QStringList listed;
    QByteArray token;
    for (int page = 0; page < 20; ++page) {
        auto pageQuery = query;
        pageQuery.prepend({"list-type", "2"});
        if (!token.isEmpty())
            pageQuery.append({"continuation-token", token});
        const HttpReply reply =
            m_store->request("GET", S3TestClient::target("plan-files", {}, pageQuery));
        if (reply.status != 200)
            return {QStringLiteral("status %1").arg(reply.status)};
        static const QRegularExpression entry(QStringLiteral(
            "<(?:Key|Prefix)>([^<]*)</(?:Key|Prefix)>|<NextContinuationToken>([^<]*)<"));
        token.clear();
        auto it = entry.globalMatch(QString::fromUtf8(reply.body));
        while (it.hasNext()) {
            const auto match = it.next();
            if (!match.captured(2).isEmpty())
                token = match.captured(2).toUtf8();
            else if (match.capturedStart(0) > reply.body.indexOf("</Prefix>")) // not the query's
                listed.append(match.captured(1));
        }
        if (token.isEmpty())
            break;
    }
    return listed;
}

void TestCloudStore::listingsFollowPrefixDelimiterAndContinuation()
{
    const QByteArray base = own("list/");
    for (const char *key : {"a", "b/1", "b/2", "b/3", "c", "c/d/e", "d!", "é"})
        QCOMPARE(m_store->put("plan-files", base + key, "x").status, 200);
    const QString prefix = QString::fromUtf8(base);
    const QStringList all{"a", "b/1", "b/2", "b/3", "c", "c/d/e", "d!", "é"};
    QStringList expected;
    for (const QString &key : all)
        expected.append(prefix + key);
    QCOMPARE(keysListed({{"prefix", base}}), expected);
    QCOMPARE(keysListed({{"prefix", base}, {"max-keys", "3"}}), expected);
    QCOMPARE(keysListed({{"prefix", base}, {"start-after", base + "b/2"}}), expected.mid(3));
    // Keys come before common prefixes in a page; pages of one entry each hold every entry once.
    QStringList grouped{prefix + "a", prefix + "c",  prefix + "d!",
                        prefix + "é", prefix + "b/", prefix + "c/"};
    QCOMPARE(keysListed({{"prefix", base}, {"delimiter", "/"}}), grouped);
    QStringList paged = keysListed({{"prefix", base}, {"delimiter", "/"}, {"max-keys", "1"}});
    paged.sort();
    grouped.sort();
    QCOMPARE(paged, grouped);
    QCOMPARE(keysListed({{"prefix", base + "b"}}), expected.mid(1, 3));
    const HttpReply encoded = m_store->request(
        "GET",
        S3TestClient::target("plan-files", {},
                             {{"list-type", "2"}, {"prefix", base}, {"encoding-type", "url"}}));
    QCOMPARE(encoded.status, 200);
    QVERIFY(encoded.body.contains("list/%C3%A9</Key>"));
}

void TestCloudStore::deleteObjectsAnswersForEachKey()
{
    const QByteArray mine = own("multi/one");
    const QByteArray bobs = "plan/" + m_bob.uid.toUtf8() + "/kept";
    QCOMPARE(m_store->put("plan-files", mine, "1").status, 200);
    QCOMPARE(client(m_bob).put("plan-files", bobs, "b").status, 200);
    const QByteArray document = "<Delete><Object><Key>" + mine + "</Key></Object><Object><Key>" +
                                bobs + "</Key></Object><Object><Key>" + own("../../x") +
                                "</Key></Object></Delete>";
    const HttpReply reply = m_store->request("POST", "/plan-files?delete",
                                             {{"Content-MD5", base64Md5(document)}}, document);
    QCOMPARE(reply.status, 200);
    QVERIFY(reply.body.contains("<Deleted><Key>" + mine + "</Key></Deleted>"));
    QVERIFY(reply.body.contains("<Key>" + bobs + "</Key><Code>AccessDenied</Code>"));
    QVERIFY(reply.body.contains("<Code>InvalidArgument</Code>"));
    QCOMPARE(m_store->get("plan-files", mine).status, 404);
    QCOMPARE(client(m_bob).get("plan-files", bobs).body, QByteArray("b"));
}

void TestCloudStore::everyPayloadModeStoresTheBytes_data()
{
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<QByteArray>("trailer");
    const QByteArray digits = "123456789";
    QTest::newRow("signed") << QByteArray() << QByteArray();
    QTest::newRow("unsigned") << QByteArray(YRSigV4::kUnsignedPayload) << QByteArray();
    QTest::newRow("signed chunks") << QByteArray(YRSigV4::kStreamingSignedPayload) << QByteArray();
    // Check values of the CRCs for "123456789".
    QTest::newRow("signed chunks, crc32c trailer")
        << QByteArray(YRSigV4::kStreamingSignedPayloadTrailer)
        << QByteArray("x-amz-checksum-crc32c:4waSgw==");
    QTest::newRow("unsigned chunks, crc64nvme trailer")
        << QByteArray(YRSigV4::kStreamingUnsignedPayloadTrailer)
        << QByteArray("x-amz-checksum-crc64nvme:rosUhgp5mIg=");
    QTest::newRow("unsigned chunks, sha256 trailer")
        << QByteArray(YRSigV4::kStreamingUnsignedPayloadTrailer)
        << "x-amz-checksum-sha256:" +
               QCryptographicHash::hash(digits, QCryptographicHash::Sha256).toBase64();
    QTest::newRow("presigned") << QByteArray("presigned") << QByteArray();
}

void TestCloudStore::everyPayloadModeStoresTheBytes()
{
    QFETCH(QByteArray, mode);
    QFETCH(QByteArray, trailer);
    const QByteArray body = "123456789";
    const QByteArray key = own("modes/") + QTest::currentDataTag();
    HttpReply reply;
    if (mode.startsWith("STREAMING"))
        reply = m_store->putChunked("plan-files", key, body, 4, mode, trailer);
    else if (mode == "presigned")
        reply = sendHttp(m_cloud->port(), "PUT",
                         m_store->presigned("PUT", S3TestClient::target("plan-files", key), 60), {},
                         body);
    else
        reply = m_store->request("PUT", S3TestClient::target("plan-files", key), {}, body, mode);
    QVERIFY2(reply.status == 200, reply.body.constData());
    QCOMPARE(m_store->get("plan-files", key).body, body);
}

void TestCloudStore::mismatchedDigestsStoreNothing_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("code");
    QTest::newRow("Content-MD5") << "md5" << 400 << "BadDigest";
    QTest::newRow("checksum header") << "crc32 header" << 400 << "BadDigest";
    QTest::newRow("checksum trailer") << "crc32 trailer" << 400 << "BadDigest";
    QTest::newRow("payload hash") << "sha256" << 400 << "XAmzContentSHA256Mismatch";
    QTest::newRow("chunk signature") << "chunk" << 403 << "SignatureDoesNotMatch";
    QTest::newRow("decoded length") << "length" << 400 << "IncompleteBody";
    QTest::newRow("larger than allowed") << "size" << 400 << "EntityTooLarge";
}

void TestCloudStore::mismatchedDigestsStoreNothing()
{
    QFETCH(QString, fault);
    QFETCH(int, status);
    QFETCH(QString, code);
    const QByteArray key = own("digests/kept");
    QCOMPARE(m_store->put("plan-files", key, "old").status, 200);
    const QByteArray body = "new bytes";
    const QByteArray target = S3TestClient::target("plan-files", key);
    HttpReply reply;
    if (fault == "md5")
        reply = m_store->put("plan-files", key, body, {{"Content-MD5", base64Md5("other")}});
    else if (fault == "crc32 header")
        reply = m_store->put("plan-files", key, body, {{"x-amz-checksum-crc32", "AAAAAA=="}});
    else if (fault == "crc32 trailer")
        reply = m_store->putChunked("plan-files", key, body, 4,
                                    YRSigV4::kStreamingUnsignedPayloadTrailer,
                                    "x-amz-checksum-crc32:AAAAAA==");
    else if (fault == "sha256")
        reply = m_store->request("PUT", target, {}, body, YRSigV4::sha256Hex("other"));
    else if (fault == "chunk")
        reply =
            m_store->putChunked("plan-files", key, body, 4, YRSigV4::kStreamingSignedPayload, {},
                                [](QByteArray &encoded) { encoded.replace("new ", "NEW "); });
    else if (fault == "length")
        reply = m_store->putChunked("plan-files", key, body, 4,
                                    YRSigV4::kStreamingUnsignedPayloadTrailer,
                                    "x-amz-checksum-crc32:AAAAAA==", [](QByteArray &encoded) {
                                        encoded.replace("4\r\nbyte\r\n", "");
                                    });
    else
        reply = oversizedPut(target);
    QCOMPARE(reply.status, status);
    QCOMPARE(reply.errorCode(), code);
    QCOMPARE(m_store->get("plan-files", key).body, QByteArray("old"));
}

// A PUT larger than the server takes, as S3 clients send one: the headers, then the body only
// after "100 Continue", which does not come.
HttpReply TestCloudStore::oversizedPut(const QByteArray &target) const
{
    HeaderList headers = YRSigV4::signedHeaders("PUT", QUrl(m_cloud->url().toString() + target), {},
                                                YRSigV4::kUnsignedPayload, m_store->credentials(),
                                                QDateTime::currentDateTimeUtc());
    headers << qMakePair(QByteArray("Content-Length"), QByteArray::number(kMaxObject + 1))
            << qMakePair(QByteArray("Expect"), QByteArray("100-continue"));
    QByteArray request = "PUT " + target + " HTTP/1.1\r\n";
    for (const auto &header : headers)
        request += header.first + ": " + header.second + "\r\n";
    const QByteArray answer = sendRaw(m_cloud->port(), request + "\r\n");
    HttpReply reply;
    reply.status = answer.mid(9, 3).toInt();
    reply.body = answer.mid(answer.indexOf("\r\n\r\n") + 4);
    return reply;
}

void TestCloudStore::refusalsChangeNothing_data()
{
    QTest::addColumn<QString>("who");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("bucket");
    QTest::addColumn<QByteArray>("key"); // "ALICE/…" below alice's prefix
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("code");
    QTest::newRow("another user's keys write") << "bob" << QByteArray("PUT") << "plan-files"
                                               << QByteArray("ALICE/doc") << 403 << "AccessDenied";
    QTest::newRow("another user's keys read") << "bob" << QByteArray("GET") << "plan-files"
                                              << QByteArray("ALICE/doc") << 403 << "AccessDenied";
    QTest::newRow("another user's keys delete") << "bob" << QByteArray("DELETE") << "plan-files"
                                                << QByteArray("ALICE/doc") << 403 << "AccessDenied";
    QTest::newRow("bad signature") << "wrong secret" << QByteArray("PUT") << "plan-files"
                                   << QByteArray("ALICE/doc") << 403 << "SignatureDoesNotMatch";
    QTest::newRow("unknown key") << "unknown key" << QByteArray("GET") << "plan-files"
                                 << QByteArray("ALICE/doc") << 403 << "InvalidAccessKeyId";
    QTest::newRow("not signed") << "nobody" << QByteArray("DELETE") << "plan-files"
                                << QByteArray("ALICE/doc") << 403 << "AccessDenied";
    QTest::newRow("shared bucket")
        << "alice" << QByteArray("PUT") << "resource" << QByteArray("doc") << 403 << "AccessDenied";
    QTest::newRow("no such bucket") << "alice" << QByteArray("PUT") << "elsewhere"
                                    << QByteArray("ALICE/doc") << 404 << "NoSuchBucket";
    QTest::newRow("expired address") << "expired" << QByteArray("GET") << "plan-files"
                                     << QByteArray("ALICE/doc") << 403 << "AccessDenied";
    QTest::newRow("clock far off") << "skewed" << QByteArray("PUT") << "plan-files"
                                   << QByteArray("ALICE/doc") << 403 << "RequestTimeTooSkewed";
}

void TestCloudStore::refusalsChangeNothing()
{
    QFETCH(QString, who);
    QFETCH(QByteArray, method);
    QFETCH(QString, bucket);
    QFETCH(QByteArray, key);
    QFETCH(int, status);
    QFETCH(QString, code);
    const QByteArray document = own("refused/doc");
    QCOMPARE(m_store->put("plan-files", document, "alice's").status, 200);
    key.replace("ALICE/", own("refused/"));
    const QByteArray target = S3TestClient::target(bucket, key);
    const QByteArray body = method == "PUT" ? QByteArray("changed") : QByteArray();
    YRSigV4::Credentials credentials = m_store->credentials();
    HttpReply reply;
    if (who == "bob") {
        reply = client(m_bob).request(method, target, {}, body);
    } else if (who == "nobody") {
        reply = sendHttp(m_cloud->port(), method, target);
    } else if (who == "expired") {
        // Signed two hours ago, valid for one.
        const QUrl url =
            YRSigV4::presignedUrl("GET", QUrl(m_cloud->url().toString() + target), 3600,
                                  credentials, QDateTime::currentDateTimeUtc().addSecs(-7200));
        reply = sendHttp(m_cloud->port(), "GET",
                         url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority));
    } else if (who == "skewed") {
        const HeaderList headers = YRSigV4::signedHeaders(
            method, QUrl(m_cloud->url().toString() + target), {}, YRSigV4::sha256Hex(body),
            credentials, QDateTime::currentDateTimeUtc().addSecs(-3600));
        reply = sendHttp(m_cloud->port(), method, target, headers, body);
    } else {
        if (who == "wrong secret")
            credentials.secretAccessKey = QStringLiteral("not the secret");
        if (who == "unknown key")
            credentials.accessKeyId = QStringLiteral("YRNOSUCHKEY000000000");
        reply = S3TestClient(m_cloud->port(), credentials).request(method, target, {}, body);
    }
    QCOMPARE(reply.status, status);
    if (method != "HEAD")
        QCOMPARE(reply.errorCode(), code);
    QCOMPARE(m_store->get("plan-files", document).body, QByteArray("alice's"));
    QTRY_VERIFY(m_cloud->log().contains("refused " + method + ' ' + target));
}

void TestCloudStore::downloadTokenReachesWhatTheKeyMayRead_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("bucket");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<int>("lifetime");
    QTest::addColumn<int>("status");
    QTest::newRow("own plan file") << ""
                                   << "plan-files" << own("token/file") << 60 << 200;
    QTest::newRow("resource label, resource bucket")
        << "vexores"
        << "resource" << QByteArray("absent") << 60 << 404;
    QTest::newRow("e-book label, resource bucket")
        << "vexopub"
        << "resource" << QByteArray("absent") << 60 << 403;
    QTest::newRow("resource label, plan bucket") << "vexores"
                                                 << "plan-files" << own("token/file") << 60 << 403;
    QTest::newRow("another user's file") << ""
                                         << "plan-files" << QByteArray("plan/1/other") << 60 << 403;
    QTest::newRow("expired") << ""
                             << "plan-files" << own("token/file") << -60 << 403;
}

void TestCloudStore::downloadTokenReachesWhatTheKeyMayRead()
{
    QFETCH(QString, label);
    QFETCH(QString, bucket);
    QFETCH(QByteArray, key);
    QFETCH(int, lifetime);
    QFETCH(int, status);
    QCOMPARE(m_store->put("plan-files", own("token/file"), "fetched").status, 200);
    const QString token = YRSigV4::downloadToken(m_store->credentials(), label,
                                                 QDateTime::currentSecsSinceEpoch() + lifetime);
    const QByteArray target =
        S3TestClient::target(bucket, key) + "?sign=" + token.toUtf8().toPercentEncoding();
    const HttpReply reply = sendHttp(m_cloud->port(), "GET", target);
    QCOMPARE(reply.status, status);
    if (status == 200)
        QCOMPARE(reply.body, QByteArray("fetched"));
    // A token only ever fetches.
    QCOMPARE(sendHttp(m_cloud->port(), "DELETE", target).status, 403);
    QCOMPARE(m_store->get("plan-files", own("token/file")).body, QByteArray("fetched"));
}

void TestCloudStore::uploadsInPartsAssembleOrLeaveNothing()
{
    const QByteArray key = own("parts/big.mp4");
    const QByteArray target = S3TestClient::target("plan-files", key);
    const auto start = [&] {
        const HttpReply created = m_store->request("POST", target + "?uploads");
        static const QRegularExpression id(QStringLiteral("<UploadId>([^<]*)<"));
        return id.match(QString::fromUtf8(created.body)).captured(1).toUtf8();
    };
    const auto part = [&](const QByteArray &id, int number, const QByteArray &data) {
        return m_store->request(
            "PUT", target + "?partNumber=" + QByteArray::number(number) + "&uploadId=" + id, {},
            data);
    };
    const auto complete = [&](const QByteArray &id, const QList<QByteArray> &etags) {
        QByteArray list = "<CompleteMultipartUpload>";
        for (int i = 0; i < etags.size(); ++i)
            list += "<Part><PartNumber>" + QByteArray::number(i + 1) + "</PartNumber><ETag>" +
                    etags.at(i) + "</ETag></Part>";
        return m_store->request("POST", target + "?uploadId=" + id, {},
                                list + "</CompleteMultipartUpload>");
    };

    const QByteArray first(5 * 1024 * 1024, 'a');
    const QByteArray second(1024 * 1024, 'b');
    const QByteArray id = start();
    QCOMPARE(id.size(), 32);
    const QByteArray etag1 = part(id, 1, first).header("etag");
    const QByteArray etag2 = part(id, 2, second).header("etag");
    QCOMPARE(etag1, quotedMd5(first));
    // Another user cannot see the upload, a wrong ETag is refused, and nothing is in place yet.
    QCOMPARE(client(m_bob).request("DELETE", target + "?uploadId=" + id).errorCode(),
             QStringLiteral("NoSuchUpload"));
    QCOMPARE(complete(id, {etag1, quotedMd5("x")}).errorCode(), QStringLiteral("InvalidPart"));
    QCOMPARE(m_store->get("plan-files", key).status, 404);

    const HttpReply done = complete(id, {etag1, etag2});
    QCOMPARE(done.status, 200);
    const QByteArray digests = QCryptographicHash::hash(first, QCryptographicHash::Md5) +
                               QCryptographicHash::hash(second, QCryptographicHash::Md5);
    QVERIFY(done.body.contains(QCryptographicHash::hash(digests, QCryptographicHash::Md5).toHex() +
                               "-2"));
    QCOMPARE(m_store->get("plan-files", key).body, first + second);

    // Parts too small to join, and an aborted upload, leave the object as it was.
    const QByteArray small = start();
    const QByteArray tiny1 = part(small, 1, "tiny").header("etag");
    const QByteArray tiny2 = part(small, 2, "tiny").header("etag");
    QCOMPARE(complete(small, {tiny1, tiny2}).errorCode(), QStringLiteral("EntityTooSmall"));
    QCOMPARE(m_store->request("DELETE", target + "?uploadId=" + small).status, 204);
    QCOMPARE(complete(small, {tiny1, tiny2}).errorCode(), QStringLiteral("NoSuchUpload"));
    QCOMPARE(m_store->get("plan-files", key).body.size(), first.size() + second.size());
    QVERIFY(QDir(m_cloud->dataDirectory() + "/uploads").isEmpty());
}

QTEST_GUILESS_MAIN(TestCloudStore)
#include "tst_cloudstore.moc"
