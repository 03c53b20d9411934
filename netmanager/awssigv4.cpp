#include "awssigv4.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QUrlQuery>

#include <algorithm>

namespace YRSigV4 {

namespace {

bool isUnreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// Header values are signed trimmed, with each inner run of blanks made one blank.
QByteArray normalisedHeaderValue(const QByteArray &value)
{
    QByteArray result;
    result.reserve(value.size());
    bool blank = false;
    for (const char c : value.trimmed()) {
        if (c == ' ' || c == '\t') {
            blank = true;
            continue;
        }
        if (blank)
            result += ' ';
        blank = false;
        result += c;
    }
    return result;
}

QByteArray tokenMessage(const QString &label, qint64 expires)
{
    return QByteArrayLiteral("YRSIGN\n") + label.toUtf8() + '\n' + QByteArray::number(expires);
}

QByteArray tokenSignature(const QString &secret, const QString &label, qint64 expires)
{
    return hmacSha256(secret.toUtf8(), tokenMessage(label, expires)).toHex();
}

} // namespace

QByteArray sha256Hex(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

QByteArray hmacSha256(const QByteArray &key, const QByteArray &message)
{
    return QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Sha256);
}

QByteArray uriEncode(const QByteArray &text, bool encodeSlash)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray result;
    result.reserve(text.size() * 3);
    for (const char c : text) {
        if (isUnreserved(c) || (c == '/' && !encodeSlash)) {
            result += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        result += '%';
        result += hex[byte >> 4];
        result += hex[byte & 0xf];
    }
    return result;
}

QByteArray canonicalUri(const QByteArray &decodedPath)
{
    return decodedPath.isEmpty() ? QByteArrayLiteral("/") : uriEncode(decodedPath, false);
}

QByteArray canonicalQuery(const QueryItems &decodedItems)
{
    QList<QPair<QByteArray, QByteArray>> encoded;
    encoded.reserve(decodedItems.size());
    for (const auto &item : decodedItems)
        encoded.append({uriEncode(item.first, true), uriEncode(item.second, true)});
    std::sort(encoded.begin(), encoded.end());
    QByteArray result;
    for (const auto &item : qAsConst(encoded)) {
        if (!result.isEmpty())
            result += '&';
        result += item.first + '=' + item.second;
    }
    return result;
}

QueryItems queryItemsOf(const QUrl &url)
{
    QueryItems items;
    const QUrlQuery query(url);
    for (const auto &item : query.queryItems(QUrl::FullyDecoded))
        items.append({item.first.toUtf8(), item.second.toUtf8()});
    return items;
}

CanonicalHeaders canonicalHeaders(const HeaderList &headers)
{
    QList<QPair<QByteArray, QByteArray>> normalised;
    normalised.reserve(headers.size());
    for (const auto &header : headers)
        normalised.append({header.first.trimmed().toLower(), normalisedHeaderValue(header.second)});
    // Stable, so that repeated names keep the order in which they were sent.
    std::stable_sort(normalised.begin(), normalised.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });

    CanonicalHeaders result;
    for (int i = 0; i < normalised.size(); ++i) {
        const QByteArray &name = normalised.at(i).first;
        QByteArray value = normalised.at(i).second;
        while (i + 1 < normalised.size() && normalised.at(i + 1).first == name)
            value += ',' + normalised.at(++i).second;
        result.block += name + ':' + value + '\n';
        if (!result.signedHeaders.isEmpty())
            result.signedHeaders += ';';
        result.signedHeaders += name;
    }
    return result;
}

QByteArray canonicalRequest(const QByteArray &method, const QByteArray &canonicalUri,
                            const QByteArray &canonicalQuery, const CanonicalHeaders &headers,
                            const QByteArray &payloadHash)
{
    return method + '\n' + canonicalUri + '\n' + canonicalQuery + '\n' + headers.block + '\n' +
           headers.signedHeaders + '\n' + payloadHash;
}

QByteArray amzDate(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyyMMdd")).toLatin1();
}

QByteArray amzDateTime(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
}

QByteArray credentialScope(const QByteArray &date, const Credentials &credentials)
{
    return date + '/' + credentials.region.toUtf8() + '/' + credentials.service.toUtf8() +
           QByteArrayLiteral("/aws4_request");
}

QByteArray signingKey(const Credentials &credentials, const QByteArray &date)
{
    const QByteArray dateKey =
        hmacSha256(QByteArrayLiteral("AWS4") + credentials.secretAccessKey.toUtf8(), date);
    const QByteArray regionKey = hmacSha256(dateKey, credentials.region.toUtf8());
    const QByteArray serviceKey = hmacSha256(regionKey, credentials.service.toUtf8());
    return hmacSha256(serviceKey, QByteArrayLiteral("aws4_request"));
}

QByteArray stringToSign(const QByteArray &dateTime, const QByteArray &scope,
                        const QByteArray &canonicalRequest)
{
    return QByteArray(kAlgorithm) + '\n' + dateTime + '\n' + scope + '\n' +
           sha256Hex(canonicalRequest);
}

QByteArray chunkStringToSign(const QByteArray &dateTime, const QByteArray &scope,
                             const QByteArray &previousSignature, const QByteArray &chunkData)
{
    return chunkStringToSignOfHash(dateTime, scope, previousSignature, sha256Hex(chunkData));
}

QByteArray chunkStringToSignOfHash(const QByteArray &dateTime, const QByteArray &scope,
                                   const QByteArray &previousSignature,
                                   const QByteArray &chunkSha256Hex)
{
    return QByteArrayLiteral("AWS4-HMAC-SHA256-PAYLOAD\n") + dateTime + '\n' + scope + '\n' +
           previousSignature + '\n' + sha256Hex(QByteArray()) + '\n' + chunkSha256Hex;
}

QByteArray trailerStringToSign(const QByteArray &dateTime, const QByteArray &scope,
                               const QByteArray &previousSignature, const QByteArray &trailerBlock)
{
    return QByteArrayLiteral("AWS4-HMAC-SHA256-TRAILER\n") + dateTime + '\n' + scope + '\n' +
           previousSignature + '\n' + sha256Hex(trailerBlock);
}

QByteArray signature(const QByteArray &signingKey, const QByteArray &stringToSign)
{
    return hmacSha256(signingKey, stringToSign).toHex();
}

QByteArray hostHeader(const QUrl &url)
{
    QByteArray host = url.host(QUrl::FullyEncoded).toUtf8();
    if (host.contains(':')) // an IPv6 address
        host = '[' + host + ']';
    const int port = url.port();
    const int defaultPort = url.scheme() == QLatin1String("https") ? 443 : 80;
    if (port != -1 && port != defaultPort)
        host += ':' + QByteArray::number(port);
    return host;
}

HeaderList signedHeaders(const QByteArray &method, const QUrl &url, HeaderList headers,
                         const QByteArray &payloadHash, const Credentials &credentials,
                         const QDateTime &now)
{
    const auto hasHeader = [&headers](const QByteArray &name) {
        return std::any_of(headers.cbegin(), headers.cend(),
                           [&name](const auto &header) { return header.first.toLower() == name; });
    };
    const QByteArray date = amzDate(now);
    const QByteArray dateTime = amzDateTime(now);
    if (!hasHeader("host"))
        headers.append({QByteArrayLiteral("host"), hostHeader(url)});
    headers.append({QByteArrayLiteral("x-amz-date"), dateTime});
    headers.append({QByteArrayLiteral("x-amz-content-sha256"), payloadHash});

    const CanonicalHeaders canonical = canonicalHeaders(headers);
    const QByteArray request =
        canonicalRequest(method, canonicalUri(url.path(QUrl::FullyDecoded).toUtf8()),
                         canonicalQuery(queryItemsOf(url)), canonical, payloadHash);
    const QByteArray scope = credentialScope(date, credentials);
    const QByteArray sig =
        signature(signingKey(credentials, date), stringToSign(dateTime, scope, request));
    headers.append({QByteArrayLiteral("Authorization"),
                    QByteArray(kAlgorithm) + " Credential=" + credentials.accessKeyId.toUtf8() +
                        '/' + scope + ", SignedHeaders=" + canonical.signedHeaders +
                        ", Signature=" + sig});
    return headers;
}

QUrl presignedUrl(const QByteArray &method, const QUrl &url, int expiresSeconds,
                  const Credentials &credentials, const QDateTime &now)
{
    const QByteArray date = amzDate(now);
    const QByteArray dateTime = amzDateTime(now);
    const QByteArray scope = credentialScope(date, credentials);

    QueryItems items = queryItemsOf(url);
    items.append({QByteArrayLiteral("X-Amz-Algorithm"), QByteArray(kAlgorithm)});
    items.append(
        {QByteArrayLiteral("X-Amz-Credential"), credentials.accessKeyId.toUtf8() + '/' + scope});
    items.append({QByteArrayLiteral("X-Amz-Date"), dateTime});
    items.append({QByteArrayLiteral("X-Amz-Expires"), QByteArray::number(expiresSeconds)});
    items.append({QByteArrayLiteral("X-Amz-SignedHeaders"), QByteArrayLiteral("host")});

    const CanonicalHeaders canonical = canonicalHeaders({{"host", hostHeader(url)}});
    const QByteArray query = canonicalQuery(items);
    const QByteArray request =
        canonicalRequest(method, canonicalUri(url.path(QUrl::FullyDecoded).toUtf8()), query,
                         canonical, kUnsignedPayload);
    const QByteArray sig =
        signature(signingKey(credentials, date), stringToSign(dateTime, scope, request));

    QUrl result(url);
    result.setQuery(QString::fromLatin1(query + "&X-Amz-Signature=" + sig), QUrl::StrictMode);
    return result;
}

AuthorizationHeader parseAuthorization(const QByteArray &value)
{
    AuthorizationHeader result;
    const QByteArray prefix = QByteArray(kAlgorithm) + ' ';
    if (!value.startsWith(prefix))
        return result;
    QByteArray credential;
    for (const QByteArray &part : value.mid(prefix.size()).split(',')) {
        const QByteArray field = part.trimmed();
        const int equals = field.indexOf('=');
        if (equals <= 0)
            return result;
        const QByteArray name = field.left(equals);
        const QByteArray fieldValue = field.mid(equals + 1);
        if (name == "Credential")
            credential = fieldValue;
        else if (name == "SignedHeaders")
            result.signedHeaders = fieldValue;
        else if (name == "Signature")
            result.signature = fieldValue;
    }
    // KEY/DATE/REGION/SERVICE/aws4_request; the key itself may not hold a "/".
    const QList<QByteArray> scope = credential.split('/');
    if (scope.size() != 5 || scope.at(4) != "aws4_request" || result.signedHeaders.isEmpty() ||
        result.signature.isEmpty())
        return result;
    result.accessKeyId = scope.at(0);
    result.date = scope.at(1);
    result.region = scope.at(2);
    result.service = scope.at(3);
    result.parsed = !result.accessKeyId.isEmpty();
    return result;
}

QString downloadToken(const Credentials &credentials, const QString &label, qint64 expires)
{
    return credentials.accessKeyId + QLatin1Char('.') + QString::number(expires) +
           QLatin1Char('.') +
           QString::fromLatin1(tokenSignature(credentials.secretAccessKey, label, expires));
}

bool parseDownloadToken(const QString &token, DownloadToken *result)
{
    const QStringList parts = token.split(QLatin1Char('.'));
    if (parts.size() != 3 || parts.at(0).isEmpty() || parts.at(2).size() != 64)
        return false;
    bool numeric = false;
    const qint64 expires = parts.at(1).toLongLong(&numeric);
    if (!numeric || expires <= 0)
        return false;
    result->accessKeyId = parts.at(0);
    result->expires = expires;
    result->signature = parts.at(2).toLatin1();
    return true;
}

bool downloadTokenMatches(const DownloadToken &token, const QString &secret, const QString &label)
{
    return sameSignature(token.signature, tokenSignature(secret, label, token.expires));
}

bool sameSignature(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (int i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    return difference == 0;
}

} // namespace YRSigV4
