#include "storeauth.h"

#include "awssigv4.h"
#include "buckets.h"
#include "httpexchange.h"

#include <QDateTime>

#include <algorithm>

namespace {

// How far a client's clock may be from ours.
const qint64 kAllowedSkewSeconds = 15 * 60;
const qint64 kLongestPresignedSeconds = 7 * 24 * 3600;

S3Error refused(int status, const char *code, const QString &message)
{
    return {status, QLatin1String(code), message};
}

QDateTime parsedAmzDateTime(const QByteArray &text)
{
    QDateTime time =
        QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    time.setTimeSpec(Qt::UTC);
    return time;
}

bool isPayloadHash(const QByteArray &value)
{
    static const QByteArray modes[] = {YRSigV4::kUnsignedPayload, YRSigV4::kStreamingSignedPayload,
                                       YRSigV4::kStreamingSignedPayloadTrailer,
                                       YRSigV4::kStreamingUnsignedPayloadTrailer};
    if (std::find(std::begin(modes), std::end(modes), value) != std::end(modes))
        return true;
    return value.size() == 64 && QByteArray::fromHex(value).toHex() == value.toLower();
}

// What both forms of a signature carry, gathered before it is checked.
struct SignedParts
{
    YRSigV4::AuthorizationHeader authorization;
    QByteArray dateTime;
    YRSigV4::QueryItems query;
    QByteArray payloadHash;
};

// The signed headers' values as the client sent them; false naming the first one missing.
bool signedHeaderValues(const HttpExchange &exchange, const QByteArray &signedHeaders,
                        YRSigV4::HeaderList *values, QByteArray *missing)
{
    for (const QByteArray &name : signedHeaders.split(';')) {
        if (!exchange.hasHeader(name.constData())) {
            *missing = name;
            return false;
        }
        values->append({name, exchange.header(name.constData())});
    }
    return true;
}

} // namespace

StoreAuthenticator::StoreAuthenticator(UserDirectory *users, const QString &region)
    : m_users(users), m_region(region)
{}

S3Error StoreAuthenticator::authenticate(const HttpExchange &exchange, const QString &bucket,
                                         StoreCaller *caller) const
{
    if (exchange.header("Authorization").startsWith(YRSigV4::kAlgorithm))
        return byHeader(exchange, caller);
    if (exchange.hasHeader("Authorization"))
        return refused(400, "InvalidArgument",
                       QStringLiteral("only AWS4-HMAC-SHA256 signatures are accepted"));
    if (exchange.hasQueryItem("X-Amz-Algorithm") || exchange.hasQueryItem("X-Amz-Signature"))
        return byPresignedQuery(exchange, caller);
    const QByteArray method = exchange.method();
    if (exchange.hasQueryItem("sign") && (method == "GET" || method == "HEAD"))
        return byDownloadToken(exchange, bucket, caller);
    return refused(403, "AccessDenied", QStringLiteral("the request is not signed"));
}

namespace {

S3Error checkedSignature(const HttpExchange &exchange, const SignedParts &parts,
                         UserDirectory *users, const QString &region, StoreCaller *caller)
{
    const YRSigV4::AuthorizationHeader &authorization = parts.authorization;
    if (authorization.service != "s3" || authorization.region != region.toUtf8())
        return refused(400, "AuthorizationHeaderMalformed",
                       QStringLiteral("the credential names region %1 and service %2; this store "
                                      "is region %3, service s3")
                           .arg(QString::fromUtf8(authorization.region),
                                QString::fromUtf8(authorization.service), region));
    const std::optional<CloudUser> user =
        users->userForAccessKey(QString::fromUtf8(authorization.accessKeyId));
    if (!user)
        return refused(
            403, "InvalidAccessKeyId",
            QStringLiteral("no access key %1").arg(QString::fromUtf8(authorization.accessKeyId)));
    caller->user = *user;
    if (!parts.dateTime.startsWith(authorization.date) ||
        !parsedAmzDateTime(parts.dateTime).isValid())
        return refused(403, "AccessDenied",
                       QStringLiteral("the request's date is missing or does not match its "
                                      "credential"));
    if (!authorization.signedHeaders.split(';').contains("host"))
        return refused(403, "AccessDenied", QStringLiteral("the host header is not signed"));

    YRSigV4::HeaderList headers;
    QByteArray missing;
    if (!signedHeaderValues(exchange, authorization.signedHeaders, &headers, &missing))
        return refused(
            403, "SignatureDoesNotMatch",
            QStringLiteral("the signed header %1 is missing").arg(QString::fromLatin1(missing)));
    const YRSigV4::Credentials credentials{user->accessKeyId, user->secretAccessKey, region,
                                           QStringLiteral("s3")};
    const QByteArray canonicalRequest = YRSigV4::canonicalRequest(
        exchange.method(),
        YRSigV4::canonicalUri(QByteArray::fromPercentEncoding(exchange.rawPath())),
        YRSigV4::canonicalQuery(parts.query), YRSigV4::canonicalHeaders(headers),
        parts.payloadHash);
    const QByteArray scope = YRSigV4::credentialScope(authorization.date, credentials);
    const QByteArray key = YRSigV4::signingKey(credentials, authorization.date);
    const QByteArray expected =
        YRSigV4::signature(key, YRSigV4::stringToSign(parts.dateTime, scope, canonicalRequest));
    if (!YRSigV4::sameSignature(expected, authorization.signature))
        return refused(403, "SignatureDoesNotMatch",
                       QStringLiteral("the request signature we calculated does not match the "
                                      "signature you provided"));
    caller->payloadHash = parts.payloadHash;
    caller->signing = {key, parts.dateTime, scope, expected};
    return {};
}

qint64 secondsFromNow(const QByteArray &dateTime)
{
    return QDateTime::currentDateTimeUtc().secsTo(parsedAmzDateTime(dateTime));
}

} // namespace

S3Error StoreAuthenticator::byHeader(const HttpExchange &exchange, StoreCaller *caller) const
{
    SignedParts parts;
    parts.authorization = YRSigV4::parseAuthorization(exchange.header("Authorization"));
    if (!parts.authorization.parsed)
        return refused(400, "AuthorizationHeaderMalformed",
                       QStringLiteral("the Authorization header is malformed"));
    parts.dateTime = exchange.header("x-amz-date");
    parts.payloadHash = exchange.header("x-amz-content-sha256");
    if (!isPayloadHash(parts.payloadHash))
        return refused(400, "InvalidArgument",
                       QStringLiteral("x-amz-content-sha256 must be a SHA-256 or a payload mode"));
    // Every x-amz-* header that was sent must have been signed, so that none was added on the
    // way.
    const QList<QByteArray> signedNames = parts.authorization.signedHeaders.split(';');
    for (const auto &header : exchange.headers()) {
        const QByteArray name = header.first.toLower();
        if (name.startsWith("x-amz-") && !signedNames.contains(name))
            return refused(
                403, "AccessDenied",
                QStringLiteral("the header %1 is not signed").arg(QString::fromLatin1(name)));
    }
    parts.query = exchange.queryItems();
    const S3Error error = checkedSignature(exchange, parts, m_users, m_region, caller);
    if (error.isError())
        return error;
    caller->via = StoreCaller::Via::Header;
    if (qAbs(secondsFromNow(parts.dateTime)) > kAllowedSkewSeconds)
        return refused(403, "RequestTimeTooSkewed",
                       QStringLiteral("the request's time differs from the server's by more "
                                      "than 15 minutes"));
    return {};
}

S3Error StoreAuthenticator::byPresignedQuery(const HttpExchange &exchange,
                                             StoreCaller *caller) const
{
    if (exchange.queryValue("X-Amz-Algorithm") != YRSigV4::kAlgorithm)
        return refused(400, "AuthorizationQueryParametersError",
                       QStringLiteral("X-Amz-Algorithm must be AWS4-HMAC-SHA256"));
    SignedParts parts;
    // The query carries the same fields as the header does.
    parts.authorization = YRSigV4::parseAuthorization(
        QByteArray(YRSigV4::kAlgorithm) + " Credential=" + exchange.queryValue("X-Amz-Credential") +
        ", SignedHeaders=" + exchange.queryValue("X-Amz-SignedHeaders") +
        ", Signature=" + exchange.queryValue("X-Amz-Signature"));
    bool numeric = false;
    const qint64 expires = exchange.queryValue("X-Amz-Expires").toLongLong(&numeric);
    if (!parts.authorization.parsed || !numeric || expires < 1 ||
        expires > kLongestPresignedSeconds)
        return refused(400, "AuthorizationQueryParametersError",
                       QStringLiteral("the presigned query is malformed"));
    parts.dateTime = exchange.queryValue("X-Amz-Date");
    parts.payloadHash = exchange.hasHeader("x-amz-content-sha256")
                            ? exchange.header("x-amz-content-sha256")
                            : QByteArray(YRSigV4::kUnsignedPayload);
    if (!isPayloadHash(parts.payloadHash))
        return refused(400, "InvalidArgument",
                       QStringLiteral("x-amz-content-sha256 must be a SHA-256 or a payload mode"));
    for (const auto &item : exchange.queryItems()) {
        if (item.first != "X-Amz-Signature")
            parts.query.append(item);
    }
    const S3Error error = checkedSignature(exchange, parts, m_users, m_region, caller);
    if (error.isError())
        return error;
    caller->via = StoreCaller::Via::Presigned;
    const qint64 start = secondsFromNow(parts.dateTime);
    if (start > kAllowedSkewSeconds)
        return refused(403, "AccessDenied", QStringLiteral("the request is not valid yet"));
    if (start + expires < 0)
        return refused(403, "AccessDenied", QStringLiteral("the request has expired"));
    return {};
}

S3Error StoreAuthenticator::byDownloadToken(const HttpExchange &exchange, const QString &bucket,
                                            StoreCaller *caller) const
{
    YRSigV4::DownloadToken token;
    if (!YRSigV4::parseDownloadToken(QString::fromUtf8(exchange.queryValue("sign")), &token))
        return refused(403, "AccessDenied", QStringLiteral("the sign token is malformed"));
    const std::optional<CloudUser> user = m_users->userForAccessKey(token.accessKeyId);
    if (!user)
        return refused(403, "InvalidAccessKeyId",
                       QStringLiteral("no access key %1").arg(token.accessKeyId));
    caller->user = *user;
    caller->via = StoreCaller::Via::DownloadToken;
    const QStringList labels = Buckets::labelsCovering(bucket);
    const bool matches = std::any_of(labels.cbegin(), labels.cend(), [&](const QString &label) {
        return YRSigV4::downloadTokenMatches(token, user->secretAccessKey, label);
    });
    if (!matches)
        return refused(403, "SignatureDoesNotMatch",
                       QStringLiteral("the sign token does not cover the bucket %1").arg(bucket));
    if (token.expires < QDateTime::currentSecsSinceEpoch())
        return refused(403, "AccessDenied", QStringLiteral("the sign token has expired"));
    caller->payloadHash = YRSigV4::kUnsignedPayload;
    return {};
}
