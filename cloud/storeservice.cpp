#include "storeservice.h"

#include "buckets.h"
#include "cloudlog.h"
#include "httpexchange.h"
#include "objectfile.h"
#include "objectkeys.h"
#include "s3xml.h"

#include <QCryptographicHash>

using namespace StoreCommon;

namespace StoreCommon {

S3Error refused(int status, const char *code, const QString &message)
{
    return {status, QLatin1String(code), message};
}

S3Error accessDenied(const QString &what)
{
    return refused(403, "AccessDenied", what);
}

QByteArray quotedEtag(const QByteArray &etag)
{
    return '"' + etag + '"';
}

bool requestedHeader(const HttpExchange &exchange, ObjectHeader *header)
{
    header->contentType = QString::fromUtf8(exchange.header("Content-Type"));
    if (header->contentType.isEmpty())
        header->contentType = QStringLiteral("application/octet-stream");
    for (const auto &item : exchange.headers()) {
        const QByteArray name = item.first.toLower();
        if (name.startsWith("x-amz-meta-"))
            header->metadata.append({QString::fromLatin1(name), QString::fromUtf8(item.second)});
    }
    return ObjectFile::fits(*header);
}

S3Error readSmallBody(HttpExchange &exchange, const StoreCaller &caller, qint64 maxBytes,
                      QByteArray *body)
{
    switch (exchange.readBody(maxBytes, body)) {
    case HttpExchange::BodyResult::TooLarge:
        return refused(400, "MaxMessageLengthExceeded",
                       QStringLiteral("the request body is larger than %1 bytes").arg(maxBytes));
    case HttpExchange::BodyResult::Broken:
        return refused(400, "IncompleteBody", QStringLiteral("the request body was cut off"));
    case HttpExchange::BodyResult::Read:
        break;
    }
    if (caller.payloadHash.startsWith("STREAMING-"))
        return refused(400, "InvalidRequest",
                       QStringLiteral("this request takes its body in one piece"));
    if (caller.payloadHash.size() == 64 &&
        QCryptographicHash::hash(*body, QCryptographicHash::Sha256).toHex() !=
            caller.payloadHash.toLower())
        return refused(400, "XAmzContentSHA256Mismatch",
                       QStringLiteral("the x-amz-content-sha256 you specified did not match "
                                      "what we received"));
    if (exchange.hasHeader("Content-MD5") &&
        QByteArray::fromBase64(exchange.header("Content-MD5").trimmed()) !=
            QCryptographicHash::hash(*body, QCryptographicHash::Md5))
        return refused(400, "BadDigest",
                       QStringLiteral("the Content-MD5 you specified did not match what we "
                                      "received"));
    return {};
}

} // namespace StoreCommon

StoreService::StoreService(ObjectStore *store, UserDirectory *users, const StoreSettings &settings)
    : m_store(store), m_authenticator(users, settings.region), m_settings(settings)
{}

void StoreService::refuse(HttpExchange &exchange, const S3Error &error)
{
    exchange.setRefusal(error.code + QStringLiteral(": ") + error.message);
    if (exchange.method() == "HEAD") {
        exchange.replyEmpty(error.status);
        return;
    }
    exchange.reply(error.status, "application/xml",
                   S3Xml::error(error.code, error.message, QString::fromUtf8(exchange.rawPath())));
}

bool StoreService::parsedTarget(HttpExchange &exchange, Target *target)
{
    const QByteArray path = QByteArray::fromPercentEncoding(exchange.rawPath());
    const int slash = path.indexOf('/', 1);
    target->bucket = QString::fromUtf8(slash < 0 ? path.mid(1) : path.mid(1, slash - 1));
    target->key = slash < 0 ? QByteArray() : path.mid(slash + 1);
    if (slash >= 0 && target->key.isEmpty()) {
        // "/bucket/" is the bucket itself, as clients write it.
        return true;
    }
    if (target->key.isEmpty())
        return true;
    const QString refusal = ObjectKeys::refusal(target->key);
    if (refusal.isEmpty())
        return true;
    refuse(exchange, refused(400, target->key.size() > 1024 ? "KeyTooLongError" : "InvalidArgument",
                             QStringLiteral("the key cannot be stored: %1").arg(refusal)));
    return false;
}

bool StoreService::authenticated(HttpExchange &exchange, const Target &target, StoreCaller *caller)
{
    const S3Error error = m_authenticator.authenticate(exchange, target.bucket, caller);
    exchange.setWho(caller->user.uid ? QStringLiteral("uid %1").arg(caller->user.uid)
                                     : QStringLiteral("anonymous"));
    if (error.isError()) {
        refuse(exchange, error);
        return false;
    }
    if (caller->via == StoreCaller::Via::DownloadToken &&
        (target.key.isEmpty() || exchange.hasQueryItem("uploadId"))) {
        refuse(exchange, accessDenied(QStringLiteral("a sign token only fetches objects")));
        return false;
    }
    if (!target.bucket.isEmpty() && !Buckets::exists(target.bucket)) {
        refuse(exchange,
               refused(404, "NoSuchBucket", QStringLiteral("no bucket %1").arg(target.bucket)));
        return false;
    }
    return true;
}

bool StoreService::admit(HttpExchange &exchange)
{
    Target target;
    StoreCaller caller;
    if (!parsedTarget(exchange, &target) || !authenticated(exchange, target, &caller))
        return false;
    if (!target.key.isEmpty() && !Buckets::mayWrite(caller.user, target.bucket, target.key)) {
        refuse(exchange, accessDenied(QStringLiteral("the key is not yours to write")));
        return false;
    }
    if (exchange.declaredLength() > m_settings.maxObjectSize) {
        refuse(exchange, refused(400, "EntityTooLarge",
                                 QStringLiteral("the object is larger than %1 bytes")
                                     .arg(m_settings.maxObjectSize)));
        return false;
    }
    return true;
}

void StoreService::handle(HttpExchange &exchange)
{
    Target target;
    StoreCaller caller;
    if (!parsedTarget(exchange, &target) || !authenticated(exchange, target, &caller))
        return;
    if (target.bucket.isEmpty()) {
        if (exchange.method() == "GET")
            listBuckets(exchange);
        else
            refuse(exchange, refused(405, "MethodNotAllowed",
                                     QStringLiteral("the service answers GET only")));
        return;
    }
    if (target.key.isEmpty())
        dispatchBucket(exchange, target, caller);
    else
        dispatchObject(exchange, target, caller);
}

void StoreService::dispatchBucket(HttpExchange &exchange, const Target &target,
                                  const StoreCaller &caller)
{
    const QByteArray method = exchange.method();
    if (method == "GET" && exchange.queryValue("list-type") == "2")
        listObjects(exchange, target, caller);
    else if (method == "HEAD")
        exchange.replyEmpty(200);
    else if (method == "POST" && exchange.hasQueryItem("delete"))
        deleteObjects(exchange, target, caller);
    else if (method == "GET" && exchange.hasQueryItem("location"))
        exchange.reply(200, "application/xml",
                       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<LocationConstraint "
                       "xmlns=\"http://s3.amazonaws.com/doc/2006-03-01/\">" +
                           m_settings.region.toUtf8() + "</LocationConstraint>");
    else
        refuse(exchange, refused(501, "NotImplemented",
                                 QStringLiteral("this bucket request is not offered; listings "
                                                "take list-type=2")));
}

void StoreService::dispatchObject(HttpExchange &exchange, const Target &target,
                                  const StoreCaller &caller)
{
    const QByteArray method = exchange.method();
    const bool upload = exchange.hasQueryItem("uploadId");
    if (method == "PUT" && upload)
        uploadPart(exchange, target, caller);
    else if (method == "PUT" && exchange.hasHeader("x-amz-copy-source"))
        refuse(exchange, refused(501, "NotImplemented", QStringLiteral("copying is not offered")));
    else if (method == "PUT")
        putObject(exchange, target, caller);
    else if ((method == "GET" || method == "HEAD") && !upload)
        getObject(exchange, target, caller);
    else if (method == "DELETE" && upload)
        abortUpload(exchange, target, caller);
    else if (method == "DELETE")
        deleteObject(exchange, target, caller);
    else if (method == "POST" && exchange.hasQueryItem("uploads"))
        createUpload(exchange, target, caller);
    else if (method == "POST" && upload)
        completeUpload(exchange, target, caller);
    else
        refuse(exchange, refused(501, "NotImplemented",
                                 QStringLiteral("this object request is not offered")));
}
