#ifndef STOREAUTH_H
#define STOREAUTH_H

#include "awschunked.h"
#include "users.h"

#include <QByteArray>
#include <QString>

class HttpExchange;
class UserDirectory;

// An answer the store refuses with: HTTP status, S3 error code and a one-line message.
struct S3Error
{
    int status = 0;
    QString code;
    QString message;

    bool isError() const { return status != 0; }
};

// Who sent a request to the store, and how the body is vouched for.
struct StoreCaller
{
    CloudUser user;
    enum class Via { Header, Presigned, DownloadToken } via = Via::Header;
    // x-amz-content-sha256: a hex digest, UNSIGNED-PAYLOAD or a STREAMING-* mode.
    QByteArray payloadHash;
    // For streamed chunks: the request's signing key, time, scope and signature.
    AwsChunkedDecoder::Signing signing;
};

// Checks the credentials of a request to the store: AWS Signature Version 4 in the
// Authorization header or in a presigned query, or, for GET and HEAD, the store's "?sign="
// download token. It says who signed; what they may reach is Buckets' rule.
class StoreAuthenticator
{
public:
    StoreAuthenticator(UserDirectory *users, const QString &region);

    // Who signed the request for bucket (into *caller), or the error to answer.
    S3Error authenticate(const HttpExchange &exchange, const QString &bucket,
                         StoreCaller *caller) const;

private:
    S3Error byHeader(const HttpExchange &exchange, StoreCaller *caller) const;
    S3Error byPresignedQuery(const HttpExchange &exchange, StoreCaller *caller) const;
    S3Error byDownloadToken(const HttpExchange &exchange, const QString &bucket,
                            StoreCaller *caller) const;

    UserDirectory *m_users;
    QString m_region;
};

#endif // STOREAUTH_H
