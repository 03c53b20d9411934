#ifndef AWSSIGV4_H
#define AWSSIGV4_H

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

// AWS Signature Version 4 for the S3 protocol, as both ends of it need it: a client signs
// requests to the store and the store recomputes the same signature to check them. Written by
// hand because neither Qt nor the distribution's C++ libraries that we use offer it; only the
// hashing comes from Qt. Also the store's own download token ("?sign="), which is keyed with the
// same secret.

namespace YRSigV4 {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;
using QueryItems = QList<QPair<QByteArray, QByteArray>>;

inline constexpr char kAlgorithm[] = "AWS4-HMAC-SHA256";
inline constexpr char kUnsignedPayload[] = "UNSIGNED-PAYLOAD";
inline constexpr char kStreamingSignedPayload[] = "STREAMING-AWS4-HMAC-SHA256-PAYLOAD";
inline constexpr char kStreamingSignedPayloadTrailer[] =
    "STREAMING-AWS4-HMAC-SHA256-PAYLOAD-TRAILER";
inline constexpr char kStreamingUnsignedPayloadTrailer[] = "STREAMING-UNSIGNED-PAYLOAD-TRAILER";

struct Credentials
{
    QString accessKeyId;
    QString secretAccessKey;
    QString region = QStringLiteral("us-east-1");
    QString service = QStringLiteral("s3");
};

// The hex SHA-256 of data, lower case.
QByteArray sha256Hex(const QByteArray &data);
// The raw HMAC-SHA256 of message under key.
QByteArray hmacSha256(const QByteArray &key, const QByteArray &message);

// text with every byte but A-Z a-z 0-9 - . _ ~ written as %XX (upper-case hex); "/" is kept
// as it is when encodeSlash is false (paths).
QByteArray uriEncode(const QByteArray &text, bool encodeSlash);
// The canonical URI of a decoded path: each byte encoded once, "/" kept; "/" when empty.
QByteArray canonicalUri(const QByteArray &decodedPath);
// The canonical query of decoded items: names and values encoded, sorted by name then value,
// joined with "&". The caller leaves out X-Amz-Signature of a presigned request.
QByteArray canonicalQuery(const QueryItems &decodedItems);
// The decoded query items of url, in their order.
QueryItems queryItemsOf(const QUrl &url);

// The headers block of a canonical request (lower-case names, values trimmed with inner runs
// of blanks made one, sorted by name, each "name:value\n", repeated names joined with ",")
// and the list of their names joined with ";".
struct CanonicalHeaders
{
    QByteArray block;
    QByteArray signedHeaders;
};
CanonicalHeaders canonicalHeaders(const HeaderList &headers);

QByteArray canonicalRequest(const QByteArray &method, const QByteArray &canonicalUri,
                            const QByteArray &canonicalQuery, const CanonicalHeaders &headers,
                            const QByteArray &payloadHash);

// "YYYYMMDD" and "YYYYMMDDThhmmssZ" of a time, in UTC.
QByteArray amzDate(const QDateTime &time);
QByteArray amzDateTime(const QDateTime &time);
// "YYYYMMDD/region/service/aws4_request".
QByteArray credentialScope(const QByteArray &date, const Credentials &credentials);
// The key derived from the secret for one day, region and service.
QByteArray signingKey(const Credentials &credentials, const QByteArray &date);

QByteArray stringToSign(const QByteArray &dateTime, const QByteArray &scope,
                        const QByteArray &canonicalRequest);
// The string to sign of one chunk of an aws-chunked body, chained to the previous signature
// (the seed signature of the request for the first chunk).
QByteArray chunkStringToSign(const QByteArray &dateTime, const QByteArray &scope,
                             const QByteArray &previousSignature, const QByteArray &chunkData);
// The same from the hex SHA-256 of the chunk's data, for a reader that hashes a chunk as it
// streams by instead of holding it.
QByteArray chunkStringToSignOfHash(const QByteArray &dateTime, const QByteArray &scope,
                                   const QByteArray &previousSignature,
                                   const QByteArray &chunkSha256Hex);
// The string to sign of the trailing headers of an aws-chunked body; trailerBlock is the
// headers as sent, each "name:value\n".
QByteArray trailerStringToSign(const QByteArray &dateTime, const QByteArray &scope,
                               const QByteArray &previousSignature, const QByteArray &trailerBlock);
// The hex signature of a string to sign.
QByteArray signature(const QByteArray &signingKey, const QByteArray &stringToSign);

// The host header value a client sends for url: the host, and ":port" unless it is the
// scheme's default.
QByteArray hostHeader(const QUrl &url);

// Signs a request in the Authorization header. headers are those the client sends and wants
// signed (host is added when missing); returned with x-amz-date, x-amz-content-sha256 and
// Authorization added. payloadHash is the hex SHA-256 of the body or one of the payload modes
// above.
HeaderList signedHeaders(const QByteArray &method, const QUrl &url, HeaderList headers,
                         const QByteArray &payloadHash, const Credentials &credentials,
                         const QDateTime &now);
// url with a presigned query valid for expiresSeconds (the host header only is signed).
QUrl presignedUrl(const QByteArray &method, const QUrl &url, int expiresSeconds,
                  const Credentials &credentials, const QDateTime &now);

// The fields of an Authorization header of this algorithm; parsed() is false when it is not
// one.
struct AuthorizationHeader
{
    QByteArray accessKeyId;
    QByteArray date;
    QByteArray region;
    QByteArray service;
    QByteArray signedHeaders; // "a;b;c"
    QByteArray signature;
    bool parsed = false;
};
AuthorizationHeader parseAuthorization(const QByteArray &value);

// The store's download token for a bucket label: "KEY.EXPIRES.HEX", where HEX is the
// HMAC-SHA256 under the secret of "YRSIGN\n" + label + "\n" + EXPIRES (Unix seconds).
QString downloadToken(const Credentials &credentials, const QString &label, qint64 expires);

struct DownloadToken
{
    QString accessKeyId;
    qint64 expires = 0;
    QByteArray signature;
};
// False when token is not of that form.
bool parseDownloadToken(const QString &token, DownloadToken *result);
// Whether token was made with secret for label (whatever its expiry).
bool downloadTokenMatches(const DownloadToken &token, const QString &secret, const QString &label);

// Compares two signatures in time independent of where they differ.
bool sameSignature(const QByteArray &a, const QByteArray &b);

} // namespace YRSigV4

#endif // AWSSIGV4_H
