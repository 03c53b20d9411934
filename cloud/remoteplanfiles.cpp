#include "remoteplanfiles.h"

#include "cloudlog.h"
#include "s3xml.h"

#include <httplib.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>

namespace {

// A picture of the question bank held in memory to be sent.
const qint64 kMaxStoredFile = 64 * 1024 * 1024;
const int kDeleteBatch = 1000;

QString describe(const QString &what, int status, const QString &failure)
{
    return status == 0 ? QStringLiteral("%1: %2").arg(what, failure)
                       : QStringLiteral("%1: the store answered %2").arg(what).arg(status);
}

} // namespace

RemotePlanFiles::RemotePlanFiles(const QUrl &endpoint, const YRSigV4::Credentials &credentials)
    : m_endpoint(endpoint), m_credentials(credentials)
{}

RemotePlanFiles::Answer RemotePlanFiles::send(const QByteArray &method, const QString &bucket,
                                              const QByteArray &key,
                                              const YRSigV4::QueryItems &query,
                                              YRSigV4::HeaderList headers, const QByteArray &body,
                                              qint64 maxBytes) const
{
    QByteArray path = m_endpoint.path(QUrl::FullyEncoded).toUtf8();
    while (path.endsWith('/'))
        path.chop(1);
    path += '/' + YRSigV4::uriEncode(bucket.toUtf8(), true);
    if (!key.isEmpty())
        path += '/' + YRSigV4::uriEncode(key, false);
    const QByteArray canonicalQuery = YRSigV4::canonicalQuery(query);
    const QByteArray target = canonicalQuery.isEmpty() ? path : path + '?' + canonicalQuery;
    QUrl url(m_endpoint);
    url.setPath(QString::fromUtf8(QByteArray::fromPercentEncoding(path)));
    url.setQuery(QString::fromUtf8(canonicalQuery), QUrl::StrictMode);
    headers = YRSigV4::signedHeaders(method, url, headers, YRSigV4::sha256Hex(body), m_credentials,
                                     QDateTime::currentDateTimeUtc());

    httplib::Client client(m_endpoint.toString(QUrl::RemovePath | QUrl::RemoveQuery).toStdString());
    client.set_url_encode(false);
    client.set_connection_timeout(10);
    client.set_read_timeout(60);
    httplib::Request request;
    request.method = method.toStdString();
    request.path = target.toStdString();
    for (const auto &header : headers)
        request.headers.emplace(header.first.toStdString(), header.second.toStdString());
    request.body = body.toStdString();
    Answer answer;
    bool tooLarge = false;
    request.content_receiver = [&](const char *data, size_t size, uint64_t, uint64_t) {
        tooLarge = answer.body.size() + qint64(size) > maxBytes;
        if (!tooLarge)
            answer.body.append(data, int(size));
        return !tooLarge;
    };
    httplib::Response response;
    httplib::Error error = httplib::Error::Success;
    if (!client.send(request, response, error)) {
        answer.failure = tooLarge
                             ? QStringLiteral("the answer is larger than %1 bytes").arg(maxBytes)
                             : QString::fromStdString(httplib::to_string(error));
        return answer;
    }
    answer.status = response.status;
    return answer;
}

bool RemotePlanFiles::read(const QString &bucket, const QByteArray &key, qint64 maxBytes,
                           QByteArray *bytes, QString *error)
{
    const Answer answer = send("GET", bucket, key, {}, {}, QByteArray(), maxBytes);
    if (answer.status != 200) {
        *error = describe(QStringLiteral("%1/%2").arg(bucket, QString::fromUtf8(key)),
                          answer.status, answer.failure);
        return false;
    }
    *bytes = answer.body;
    return true;
}

bool RemotePlanFiles::removeAllBelow(const QString &bucket, const QByteArray &prefix,
                                     QString *error)
{
    // The whole listing first, then the deletions, so that deleting does not move the pages.
    QList<QByteArray> keys;
    QByteArray token;
    do {
        YRSigV4::QueryItems query{{"list-type", "2"}, {"prefix", prefix}};
        if (!token.isEmpty())
            query.append({"continuation-token", token});
        const Answer page = send("GET", bucket, QByteArray(), query, {}, QByteArray(), 16 << 20);
        QList<QByteArray> pageKeys;
        if (page.status != 200 || !S3Xml::parseListPage(page.body, &pageKeys, &token)) {
            *error = describe(QStringLiteral("listing %1").arg(bucket), page.status, page.failure);
            return false;
        }
        keys += pageKeys;
    } while (!token.isEmpty());

    for (int first = 0; first < keys.size(); first += kDeleteBatch) {
        const QByteArray document = S3Xml::deleteRequest(keys.mid(first, kDeleteBatch));
        const Answer answer =
            send("POST", bucket, QByteArray(), {{"delete", QByteArray()}},
                 {{"Content-MD5",
                   QCryptographicHash::hash(document, QCryptographicHash::Md5).toBase64()},
                  {"Content-Type", "application/xml"}},
                 document);
        // A quiet answer names only the keys that could not be deleted.
        if (answer.status != 200 || answer.body.contains("<Error>")) {
            *error = describe(QStringLiteral("deleting below %1").arg(QString::fromUtf8(prefix)),
                              answer.status, answer.failure);
            return false;
        }
    }
    return true;
}

bool RemotePlanFiles::storeFile(const QString &bucket, const QByteArray &key, const QString &path,
                                const QString &contentType, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxStoredFile) {
        *error = QStringLiteral("cannot read %1 (or it is larger than 64 MiB)").arg(path);
        return false;
    }
    const QByteArray bytes = file.readAll();
    const Answer answer =
        send("PUT", bucket, key, {},
             {{"Content-Type", contentType.toUtf8()},
              {"Content-MD5", QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toBase64()}},
             bytes);
    if (answer.status != 200) {
        *error = describe(QStringLiteral("storing %1").arg(path), answer.status, answer.failure);
        return false;
    }
    return true;
}
