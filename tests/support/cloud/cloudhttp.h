#ifndef CLOUDHTTP_H
#define CLOUDHTTP_H

#include "awssigv4.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

#include <functional>

// Blocking HTTP clients for tests of a yrcloud on 127.0.0.1: the plan service's requests as
// the network manager sends them, and the store's requests signed with the user's storage
// credentials. Each call opens its own connection, so threads may call at once.

struct HttpReply
{
    int status = 0; // 0: no answer (connection refused or broken)
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // names in lower case

    QByteArray header(const QByteArray &name) const;
    QJsonObject json() const;
    // The text of an S3 error's <Code>.
    QString errorCode() const;
};

using HeaderList = YRSigV4::HeaderList;

// Sends method target (path and query as they go on the wire) with headers and body.
HttpReply sendHttp(quint16 port, const QByteArray &method, const QByteArray &target,
                   const HeaderList &headers = {}, const QByteArray &body = QByteArray());
// Sends bytes as they are and returns what came back before the server closed or timeoutMs
// passed: for requests that no client library would send.
QByteArray sendRaw(quint16 port, const QByteArray &bytes, int timeoutMs = 10000);

// The plan service's requests: GET with the parameters in the query, POST with them as a form.
HttpReply apiRequest(quint16 port, const QByteArray &method, const QString &api,
                     const QString &token, const QMap<QString, QString> &params = {});

// The store's requests, signed in the Authorization header like an S3 client signs them.
class S3TestClient
{
public:
    S3TestClient(quint16 port, const YRSigV4::Credentials &credentials);

    // The target "/bucket/key?query" as sent.
    static QByteArray target(const QString &bucket, const QByteArray &key,
                             const QList<QPair<QByteArray, QByteArray>> &query = {});

    // A request whose payload hash is the body's SHA-256 (or payloadHash, when given).
    HttpReply request(const QByteArray &method, const QByteArray &target, HeaderList headers = {},
                      const QByteArray &body = QByteArray(),
                      const QByteArray &payloadHash = QByteArray()) const;
    HttpReply put(const QString &bucket, const QByteArray &key, const QByteArray &body,
                  const HeaderList &headers = {}) const;
    HttpReply get(const QString &bucket, const QByteArray &key,
                  const HeaderList &headers = {}) const;
    HttpReply remove(const QString &bucket, const QByteArray &key) const;

    // A body in aws-chunked form: chunks of chunkSize, signed when the payload mode says so,
    // with trailer as the trailing header ("x-amz-checksum-crc32:…") when it is not empty.
    HttpReply putChunked(const QString &bucket, const QByteArray &key, const QByteArray &data,
                         int chunkSize, const QByteArray &mode,
                         const QByteArray &trailer = QByteArray(),
                         const std::function<void(QByteArray &)> &alter = nullptr) const;

    // A presigned address (path and query) for method, valid for seconds.
    QByteArray presigned(const QByteArray &method, const QByteArray &target, int seconds) const;

    const YRSigV4::Credentials &credentials() const { return m_credentials; }

private:
    quint16 m_port;
    YRSigV4::Credentials m_credentials;
};

#endif // CLOUDHTTP_H
