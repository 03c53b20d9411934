#include "storeservice.h"

#include "buckets.h"
#include "cloudlog.h"
#include "httpexchange.h"
#include "objectfile.h"
#include "objectstore.h"
#include "uploadintake.h"

#include <QLocale>

#include <memory>
#include <vector>

using namespace StoreCommon;

namespace {

// Bytes read from the object file for each write to the client.
const qint64 kReadBlock = 256 * 1024;

QByteArray httpDate(const QDateTime &time)
{
    return QLocale::c()
        .toString(time.toUTC(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"))
        .toLatin1();
}

struct ByteRange
{
    qint64 first = 0;
    qint64 length = 0;
    bool partial = false;
    bool satisfiable = true;
};

// One "bytes=" range of an object of size bytes. A header that is not a single range is
// ignored (the whole object is sent), as S3 does.
ByteRange requestedRange(const QByteArray &header, qint64 size)
{
    ByteRange range{0, size, false, true};
    if (!header.startsWith("bytes=") || header.contains(','))
        return range;
    const QByteArray bounds = header.mid(6).trimmed();
    const int dash = bounds.indexOf('-');
    if (dash < 0)
        return range;
    bool firstOk = false;
    bool lastOk = false;
    const qint64 first = bounds.left(dash).toLongLong(&firstOk);
    const qint64 last = bounds.mid(dash + 1).toLongLong(&lastOk);
    if (dash == 0) { // the last `last` bytes
        if (!lastOk || last < 0)
            return range;
        range.satisfiable = last > 0 && size > 0;
        range.first = qMax<qint64>(0, size - last);
    } else {
        if (!firstOk || first < 0 || (lastOk && last < first) ||
            (!lastOk && dash + 1 < bounds.size()))
            return range;
        range.satisfiable = first < size;
        range.first = first;
        if (lastOk && last < size - 1)
            size = last + 1;
    }
    range.length = size - range.first;
    range.partial = true;
    return range;
}

bool matchesAny(const QByteArray &condition, const QByteArray &quotedEtag)
{
    for (const QByteArray &candidate : condition.split(',')) {
        const QByteArray value = candidate.trimmed();
        if (value == "*" || value == quotedEtag || '"' + value + '"' == quotedEtag)
            return true;
    }
    return false;
}

} // namespace

S3Error StoreService::receiveBody(HttpExchange &exchange, const StoreCaller &caller,
                                  ObjectWriter &writer, QMap<QString, QString> *checksums)
{
    if (!writer.isOpen())
        return refused(500, "InternalError", QStringLiteral("the server could not store it"));
    UploadIntake intake(exchange, caller, &writer, m_settings.maxObjectSize);
    const S3Error error = intake.prepare();
    if (error.isError())
        return error;
    const bool transferred = exchange.streamBody(
        [&intake](const char *data, size_t size) { return intake.feed(data, size); });
    *checksums = intake.checksums();
    return intake.finish(transferred);
}

void StoreService::putObject(HttpExchange &exchange, const Target &target,
                             const StoreCaller &caller)
{
    if (!Buckets::mayWrite(caller.user, target.bucket, target.key))
        return refuse(exchange, accessDenied(QStringLiteral("the key is not yours to write")));
    ObjectHeader header;
    if (!requestedHeader(exchange, &header))
        return refuse(exchange, refused(400, "MetadataTooLarge",
                                        QStringLiteral("the object's metadata is too large")));
    const QByteArray ifNoneMatch = exchange.header("If-None-Match").trimmed();
    if (!ifNoneMatch.isEmpty() && ifNoneMatch != "*")
        return refuse(exchange,
                      refused(501, "NotImplemented", QStringLiteral("If-None-Match takes only *")));
    const bool replace = ifNoneMatch.isEmpty();
    StoredObject existing;
    if (!replace && m_store->find(target.bucket, target.key, &existing))
        return refuse(exchange, refused(412, "PreconditionFailed",
                                        QStringLiteral("the object exists already")));

    ObjectWriter writer(m_store->temporaryDirectory());
    const S3Error error = receiveBody(exchange, caller, writer, &header.checksums);
    if (error.isError())
        return refuse(exchange, error);
    header.etag = writer.md5().toHex();
    bool existed = false;
    if (!m_store->commit(writer, header, target.bucket, target.key, replace, &existed)) {
        return refuse(exchange, existed ? refused(412, "PreconditionFailed",
                                                  QStringLiteral("the object exists already"))
                                        : refused(500, "InternalError",
                                                  QStringLiteral("the server could not store it")));
    }
    exchange.setHeader("ETag", quotedEtag(header.etag));
    for (auto it = header.checksums.cbegin(); it != header.checksums.cend(); ++it)
        exchange.setHeader("x-amz-checksum-" + it.key().toLower().toLatin1(),
                           it.value().toLatin1());
    exchange.replyEmpty(200);
}

void StoreService::getObject(HttpExchange &exchange, const Target &target,
                             const StoreCaller &caller)
{
    if (!Buckets::mayRead(caller.user, target.bucket, target.key))
        return refuse(exchange, accessDenied(QStringLiteral("the key is not yours to read")));
    StoredObject object;
    if (!m_store->find(target.bucket, target.key, &object))
        return refuse(exchange,
                      refused(404, "NoSuchKey", QStringLiteral("the key does not exist")));
    const QByteArray etag = quotedEtag(object.header.etag);
    if (exchange.hasHeader("If-Match") && !matchesAny(exchange.header("If-Match"), etag))
        return refuse(exchange,
                      refused(412, "PreconditionFailed", QStringLiteral("If-Match does not hold")));
    if (exchange.hasHeader("If-None-Match") && matchesAny(exchange.header("If-None-Match"), etag)) {
        exchange.setHeader("ETag", etag);
        return exchange.replyEmpty(304);
    }
    answerObject(exchange, object);
}

void StoreService::answerObject(HttpExchange &exchange, const StoredObject &object)
{
    const ByteRange range = requestedRange(exchange.header("Range"), object.size);
    if (!range.satisfiable) {
        exchange.setHeader("Content-Range", "bytes */" + QByteArray::number(object.size));
        return refuse(exchange, refused(416, "InvalidRange",
                                        QStringLiteral("the range is outside the object")));
    }
    // Opened before answering: a PUT that replaces the object meanwhile does not touch it.
    auto file = std::make_shared<QFile>(object.path);
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return refuse(exchange, refused(500, "InternalError",
                                        QStringLiteral("the server could not read it")));

    exchange.setHeader("ETag", quotedEtag(object.header.etag));
    exchange.setHeader("Last-Modified", httpDate(object.modified));
    exchange.setHeader("Accept-Ranges", "bytes");
    for (const auto &item : object.header.metadata)
        exchange.setHeader(item.first.toLatin1(), item.second.toUtf8());
    if (range.partial)
        exchange.setHeader("Content-Range", "bytes " + QByteArray::number(range.first) + '-' +
                                                QByteArray::number(range.first + range.length - 1) +
                                                '/' + QByteArray::number(object.size));
    else if (exchange.header("x-amz-checksum-mode").toUpper() == "ENABLED")
        for (auto it = object.header.checksums.cbegin(); it != object.header.checksums.cend(); ++it)
            exchange.setHeader("x-amz-checksum-" + it.key().toLower().toLatin1(),
                               it.value().toLatin1());

    const qint64 start = ObjectFile::kHeaderSize + range.first;
    auto buffer = std::make_shared<std::vector<char>>(size_t(kReadBlock));
    exchange.replyStream(
        range.partial ? 206 : 200, object.header.contentType.toUtf8(), range.length,
        [file, buffer, start](qint64 offset, qint64 size, const auto &sink) {
            if (!file->seek(start + offset))
                return false;
            const qint64 read = file->read(buffer->data(), qMin<qint64>(size, kReadBlock));
            return read > 0 && sink(buffer->data(), size_t(read));
        });
}

void StoreService::deleteObject(HttpExchange &exchange, const Target &target,
                                const StoreCaller &caller)
{
    if (!Buckets::mayWrite(caller.user, target.bucket, target.key))
        return refuse(exchange, accessDenied(QStringLiteral("the key is not yours to delete")));
    m_store->remove(target.bucket, target.key);
    exchange.replyEmpty(204);
}
