#include "cloudhttp.h"

#include <httplib.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>

#include <csignal>

QByteArray HttpReply::header(const QByteArray &name) const
{
    for (const auto &item : headers) {
        if (item.first == name.toLower())
            return item.second;
    }
    return QByteArray();
}

QJsonObject HttpReply::json() const
{
    return QJsonDocument::fromJson(body).object();
}

QString HttpReply::errorCode() const
{
    static const QRegularExpression code(QStringLiteral("<Code>([^<]*)</Code>"));
    return code.match(QString::fromUtf8(body)).captured(1);
}

HttpReply sendHttp(quint16 port, const QByteArray &method, const QByteArray &target,
                   const HeaderList &headers, const QByteArray &body)
{
    // A server that refuses a body before reading it closes the connection under the writer.
    std::signal(SIGPIPE, SIG_IGN);
    httplib::Client client("127.0.0.1", port);
    client.set_url_encode(false);
    client.set_read_timeout(60);
    client.set_write_timeout(60);
    httplib::Request request;
    request.method = method.toStdString();
    request.path = target.toStdString();
    for (const auto &header : headers)
        request.headers.emplace(header.first.toStdString(), header.second.toStdString());
    request.body = body.toStdString();
    httplib::Response response;
    httplib::Error error = httplib::Error::Success;
    HttpReply reply;
    if (!client.send(request, response, error))
        return reply;
    reply.status = response.status;
    reply.body = QByteArray::fromStdString(response.body);
    for (const auto &header : response.headers)
        reply.headers.append({QByteArray::fromStdString(header.first).toLower(),
                              QByteArray::fromStdString(header.second)});
    return reply;
}

QByteArray sendRaw(quint16 port, const QByteArray &bytes, int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(timeoutMs))
        return QByteArray();
    socket.write(bytes);
    socket.waitForBytesWritten(timeoutMs);
    QByteArray answer;
    while (socket.waitForReadyRead(timeoutMs))
        answer += socket.readAll();
    return answer + socket.readAll();
}

namespace {

QByteArray formEncoded(const QMap<QString, QString> &params)
{
    QByteArray encoded;
    for (auto it = params.cbegin(); it != params.cend(); ++it) {
        if (!encoded.isEmpty())
            encoded += '&';
        encoded +=
            it.key().toUtf8().toPercentEncoding() + '=' + it.value().toUtf8().toPercentEncoding();
    }
    return encoded;
}

} // namespace

HttpReply apiRequest(quint16 port, const QByteArray &method, const QString &api,
                     const QString &token, const QMap<QString, QString> &params)
{
    HeaderList headers;
    if (!token.isNull())
        headers.append(qMakePair(QByteArray("Authorization"), "Bearer " + token.toUtf8()));
    const QByteArray path = "/api/" + api.toUtf8();
    if (method == "GET")
        return sendHttp(port, method, params.isEmpty() ? path : path + '?' + formEncoded(params),
                        headers);
    headers.append(
        qMakePair(QByteArray("Content-Type"), QByteArray("application/x-www-form-urlencoded")));
    return sendHttp(port, method, path, headers, formEncoded(params));
}

S3TestClient::S3TestClient(quint16 port, const YRSigV4::Credentials &credentials)
    : m_port(port), m_credentials(credentials)
{}

QByteArray S3TestClient::target(const QString &bucket, const QByteArray &key,
                                const QList<QPair<QByteArray, QByteArray>> &query)
{
    QByteArray target = '/' + bucket.toUtf8();
    if (!key.isEmpty())
        target += '/' + key.toPercentEncoding("/");
    for (int i = 0; i < query.size(); ++i) {
        target += i == 0 ? '?' : '&';
        target +=
            query.at(i).first.toPercentEncoding() + '=' + query.at(i).second.toPercentEncoding();
    }
    return target;
}

HttpReply S3TestClient::request(const QByteArray &method, const QByteArray &target,
                                HeaderList headers, const QByteArray &body,
                                const QByteArray &payloadHash) const
{
    const QUrl url(QStringLiteral("http://127.0.0.1:%1").arg(m_port) + QString::fromUtf8(target));
    const QByteArray hash = payloadHash.isEmpty() ? YRSigV4::sha256Hex(body) : payloadHash;
    const HeaderList signedList = YRSigV4::signedHeaders(method, url, headers, hash, m_credentials,
                                                         QDateTime::currentDateTimeUtc());
    return sendHttp(m_port, method, target, signedList, body);
}

HttpReply S3TestClient::put(const QString &bucket, const QByteArray &key, const QByteArray &body,
                            const HeaderList &headers) const
{
    return request("PUT", target(bucket, key), headers, body);
}

HttpReply S3TestClient::get(const QString &bucket, const QByteArray &key,
                            const HeaderList &headers) const
{
    return request("GET", target(bucket, key), headers);
}

HttpReply S3TestClient::remove(const QString &bucket, const QByteArray &key) const
{
    return request("DELETE", target(bucket, key));
}

HttpReply S3TestClient::putChunked(const QString &bucket, const QByteArray &key,
                                   const QByteArray &data, int chunkSize, const QByteArray &mode,
                                   const QByteArray &trailer,
                                   const std::function<void(QByteArray &)> &alter) const
{
    const QByteArray path = target(bucket, key);
    const QUrl url(QStringLiteral("http://127.0.0.1:%1").arg(m_port) + QString::fromUtf8(path));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    HeaderList headers{{"Content-Encoding", "aws-chunked"},
                       {"x-amz-decoded-content-length", QByteArray::number(data.size())}};
    if (!trailer.isEmpty())
        headers.append(qMakePair(QByteArray("x-amz-trailer"), trailer.left(trailer.indexOf(':'))));
    const HeaderList signedList =
        YRSigV4::signedHeaders("PUT", url, headers, mode, m_credentials, now);
    const bool signedChunks = mode != YRSigV4::kStreamingUnsignedPayloadTrailer;
    QByteArray previous;
    for (const auto &header : signedList) {
        if (header.first == "Authorization")
            previous = header.second.mid(header.second.indexOf("Signature=") + 10);
    }
    const QByteArray date = YRSigV4::amzDate(now);
    const QByteArray dateTime = YRSigV4::amzDateTime(now);
    const QByteArray scope = YRSigV4::credentialScope(date, m_credentials);
    const QByteArray key4 = YRSigV4::signingKey(m_credentials, date);
    QByteArray body;
    for (int offset = 0;; offset += chunkSize) {
        const QByteArray chunk = data.mid(offset, chunkSize);
        body += QByteArray::number(chunk.size(), 16);
        if (signedChunks) {
            previous = YRSigV4::signature(
                key4, YRSigV4::chunkStringToSign(dateTime, scope, previous, chunk));
            body += ";chunk-signature=" + previous;
        }
        body += "\r\n";
        if (chunk.isEmpty())
            break;
        body += chunk + "\r\n";
    }
    if (!trailer.isEmpty()) {
        body += trailer + "\r\n";
        if (signedChunks)
            body += "x-amz-trailer-signature:" +
                    YRSigV4::signature(key4, YRSigV4::trailerStringToSign(dateTime, scope, previous,
                                                                          trailer + '\n')) +
                    "\r\n";
    }
    body += "\r\n";
    if (alter)
        alter(body);
    return sendHttp(m_port, "PUT", path, signedList, body);
}

QByteArray S3TestClient::presigned(const QByteArray &method, const QByteArray &target,
                                   int seconds) const
{
    const QUrl url(QStringLiteral("http://127.0.0.1:%1").arg(m_port) + QString::fromUtf8(target));
    const QUrl signedUrl =
        YRSigV4::presignedUrl(method, url, seconds, m_credentials, QDateTime::currentDateTimeUtc());
    return signedUrl.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
}
