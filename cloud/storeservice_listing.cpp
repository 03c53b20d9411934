#include "storeservice.h"

#include "buckets.h"
#include "httpexchange.h"
#include "objectfile.h"
#include "objectkeys.h"
#include "objectstore.h"
#include "s3xml.h"

#include <QFileInfo>

using namespace StoreCommon;

namespace {

const int kMaxKeys = 1000;
// A Delete request names at most 1000 keys of at most 1024 bytes each.
const qint64 kMaxDeleteBody = 2 * 1024 * 1024;

// The continuation token: where the last page ended, a key ("K") or a common prefix ("P").
QByteArray continuationToken(char kind, const QByteArray &last)
{
    return (kind + last).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

bool readContinuationToken(const QByteArray &token, char *kind, QByteArray *last)
{
    const QByteArray decoded = QByteArray::fromBase64(token, QByteArray::Base64UrlEncoding |
                                                                 QByteArray::OmitTrailingEquals);
    if (decoded.size() < 2 || (decoded.at(0) != 'K' && decoded.at(0) != 'P'))
        return false;
    *kind = decoded.at(0);
    *last = decoded.mid(1);
    return true;
}

} // namespace

void StoreService::listBuckets(HttpExchange &exchange)
{
    const QFileInfo first(m_store->bucketDirectory(Buckets::all().first()));
    const QDateTime created =
        first.birthTime().isValid() ? first.birthTime() : first.lastModified();
    exchange.reply(200, "application/xml", S3Xml::listBuckets(Buckets::all(), created));
}

void StoreService::listObjects(HttpExchange &exchange, const Target &target,
                               const StoreCaller &caller)
{
    S3Xml::ListResult result;
    result.bucket = target.bucket;
    result.prefix = exchange.queryValue("prefix");
    result.delimiter = exchange.queryValue("delimiter");
    result.startAfter = exchange.queryValue("start-after");
    result.continuationToken = exchange.queryValue("continuation-token");
    result.urlEncoded = exchange.queryValue("encoding-type") == "url";
    if (!Buckets::mayRead(caller.user, target.bucket, result.prefix))
        return refuse(exchange, accessDenied(QStringLiteral("a listing of this bucket must stay "
                                                            "below your own prefix")));
    if (exchange.hasQueryItem("max-keys")) {
        bool numeric = false;
        result.maxKeys = exchange.queryValue("max-keys").toInt(&numeric);
        if (!numeric || result.maxKeys < 0)
            return refuse(exchange, refused(400, "InvalidArgument",
                                            QStringLiteral("max-keys must be a number >= 0")));
        result.maxKeys = qMin(result.maxKeys, kMaxKeys);
    }
    char kind = 'K';
    QByteArray after = result.startAfter;
    if (!result.continuationToken.isEmpty()) {
        QByteArray last;
        if (!readContinuationToken(result.continuationToken, &kind, &last))
            return refuse(exchange, refused(400, "InvalidArgument",
                                            QStringLiteral("the continuation token is invalid")));
        after = qMax(after, last);
    }
    // A page that ended on a common prefix resumes after every key below it.
    const QByteArray resumedPrefix = kind == 'P' ? after : QByteArray();

    int count = 0;
    char lastKind = 0;
    QByteArray lastEntry;
    m_store->walk(
        target.bucket, result.prefix, after,
        [&](const QByteArray &key, const QString &path, ObjectStore::WalkControl &control) {
            if (!resumedPrefix.isEmpty() && key.startsWith(resumedPrefix)) {
                control.skipPrefix = resumedPrefix;
                return;
            }
            if (count == result.maxKeys) {
                result.truncated = true;
                control.stop = true;
                return;
            }
            const int cut = result.delimiter.isEmpty()
                                ? -1
                                : key.indexOf(result.delimiter, result.prefix.size());
            if (cut >= 0) {
                lastEntry = key.left(cut + result.delimiter.size());
                lastKind = 'P';
                result.commonPrefixes.append(lastEntry);
                control.skipPrefix = lastEntry;
                ++count;
                return;
            }
            StoredObject object;
            if (!ObjectFile::read(path, &object))
                return; // removed meanwhile
            result.objects.append({key, object.modified, object.header.etag, object.size});
            lastEntry = key;
            lastKind = 'K';
            ++count;
        });
    if (result.truncated && lastKind)
        result.nextContinuationToken = continuationToken(lastKind, lastEntry);
    exchange.reply(200, "application/xml", S3Xml::listBucket(result));
}

void StoreService::deleteObjects(HttpExchange &exchange, const Target &target,
                                 const StoreCaller &caller)
{
    QByteArray body;
    const S3Error error = readSmallBody(exchange, caller, kMaxDeleteBody, &body);
    if (error.isError())
        return refuse(exchange, error);
    QList<QByteArray> keys;
    bool quiet = false;
    if (!S3Xml::parseDelete(body, &keys, &quiet) || keys.size() > kMaxKeys)
        return refuse(exchange, refused(400, "MalformedXML",
                                        QStringLiteral("the Delete document is malformed")));
    QList<S3Xml::DeleteOutcome> outcomes;
    for (const QByteArray &key : qAsConst(keys)) {
        const QString refusal = ObjectKeys::refusal(key);
        if (!refusal.isEmpty()) {
            outcomes.append({key, QStringLiteral("InvalidArgument"), refusal});
        } else if (!Buckets::mayWrite(caller.user, target.bucket, key)) {
            outcomes.append({key, QStringLiteral("AccessDenied"),
                             QStringLiteral("the key is not yours to delete")});
        } else {
            m_store->remove(target.bucket, key);
            outcomes.append({key, QString(), QString()});
        }
    }
    exchange.reply(200, "application/xml", S3Xml::deleteResult(outcomes, quiet));
}
