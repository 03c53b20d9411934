#include "storeservice.h"

#include "buckets.h"
#include "cloudlog.h"
#include "httpexchange.h"
#include "objectfile.h"
#include "objectstore.h"
#include "s3xml.h"
#include "uploadintake.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>

using namespace StoreCommon;

// An upload in parts lives in uploads/ID/: "upload.json" says what it will become, and each
// part is an object file "N.part". Completing it assembles the parts into a temporary file and
// renames that into place; aborting it, or leaving it, puts nothing in place.

namespace {

const int kMaxPartNumber = 10000;
// S3's smallest part (but the last).
const qint64 kMinPartSize = 5 * 1024 * 1024;
const qint64 kMaxCompleteBody = 1024 * 1024;
const qint64 kCopyBlock = 1024 * 1024;

struct UploadRecord
{
    QString bucket;
    QByteArray key;
    qint64 uid = 0;
    ObjectHeader header;
};

QString newUploadId()
{
    QString id;
    for (int i = 0; i < 2; ++i)
        id += QStringLiteral("%1").arg(QRandomGenerator::system()->generate64(), 16, 16,
                                       QLatin1Char('0'));
    return id;
}

bool isUploadId(const QByteArray &id)
{
    static const QRegularExpression form(QStringLiteral("^[0-9a-f]{32}$"));
    return form.match(QString::fromLatin1(id)).hasMatch();
}

bool writeRecord(const QString &path, const UploadRecord &record)
{
    QJsonArray metadata;
    for (const auto &item : record.header.metadata)
        metadata.append(QJsonArray{item.first, item.second});
    const QJsonObject object{{QStringLiteral("bucket"), record.bucket},
                             {QStringLiteral("key"), QString::fromUtf8(record.key)},
                             {QStringLiteral("uid"), QString::number(record.uid)},
                             {QStringLiteral("contentType"), record.header.contentType},
                             {QStringLiteral("metadata"), metadata}};
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(object).toJson()) > 0 &&
           file.commit();
}

bool readRecord(const QString &path, UploadRecord *record)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
    record->bucket = object.value(QStringLiteral("bucket")).toString();
    record->key = object.value(QStringLiteral("key")).toString().toUtf8();
    record->uid = object.value(QStringLiteral("uid")).toString().toLongLong();
    record->header.contentType = object.value(QStringLiteral("contentType")).toString();
    for (const QJsonValue &item : object.value(QStringLiteral("metadata")).toArray())
        record->header.metadata.append(
            {item.toArray().at(0).toString(), item.toArray().at(1).toString()});
    return !record->bucket.isEmpty() && !record->key.isEmpty();
}

QString partPath(const QString &directory, int number)
{
    return QStringLiteral("%1/%2.part").arg(directory).arg(number);
}

// Copies a part's bytes into writer, adding its MD5 to the list that makes the ETag.
bool appendPart(const StoredObject &part, ObjectWriter &writer)
{
    QFile file(part.path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(ObjectFile::kHeaderSize))
        return false;
    QByteArray block;
    for (qint64 left = part.size; left > 0; left -= block.size()) {
        block = file.read(qMin(left, kCopyBlock));
        if (block.isEmpty() || !writer.write(block.constData(), block.size()))
            return false;
    }
    return true;
}

} // namespace

QString StoreService::uploadDirectory(HttpExchange &exchange, const Target &target,
                                      const StoreCaller &caller)
{
    const QByteArray id = exchange.queryValue("uploadId");
    const QString directory =
        m_store->uploadsDirectory() + QLatin1Char('/') + QString::fromLatin1(id);
    UploadRecord record;
    // Another user's upload is answered as if it did not exist.
    if (!isUploadId(id) || !readRecord(directory + QStringLiteral("/upload.json"), &record) ||
        record.bucket != target.bucket || record.key != target.key ||
        record.uid != caller.user.uid) {
        refuse(exchange, refused(404, "NoSuchUpload", QStringLiteral("the upload does not exist")));
        return QString();
    }
    return directory;
}

void StoreService::createUpload(HttpExchange &exchange, const Target &target,
                                const StoreCaller &caller)
{
    if (!Buckets::mayWrite(caller.user, target.bucket, target.key))
        return refuse(exchange, accessDenied(QStringLiteral("the key is not yours to write")));
    UploadRecord record{target.bucket, target.key, caller.user.uid, {}};
    if (!requestedHeader(exchange, &record.header))
        return refuse(exchange, refused(400, "MetadataTooLarge",
                                        QStringLiteral("the object's metadata is too large")));
    const QString id = newUploadId();
    const QString directory = m_store->uploadsDirectory() + QLatin1Char('/') + id;
    if (!QDir().mkpath(directory) ||
        !writeRecord(directory + QStringLiteral("/upload.json"), record))
        return refuse(exchange, refused(500, "InternalError",
                                        QStringLiteral("the server could not start the upload")));
    exchange.reply(200, "application/xml",
                   S3Xml::initiateMultipartUpload(target.bucket, target.key, id));
}

void StoreService::uploadPart(HttpExchange &exchange, const Target &target,
                              const StoreCaller &caller)
{
    bool numeric = false;
    const int number = exchange.queryValue("partNumber").toInt(&numeric);
    if (!numeric || number < 1 || number > kMaxPartNumber)
        return refuse(exchange, refused(400, "InvalidArgument",
                                        QStringLiteral("partNumber must be 1 to 10000")));
    const QString directory = uploadDirectory(exchange, target, caller);
    if (directory.isEmpty())
        return;
    ObjectWriter writer(m_store->temporaryDirectory());
    if (!writer.isOpen())
        return refuse(exchange, refused(500, "InternalError",
                                        QStringLiteral("the server could not store it")));
    UploadIntake intake(exchange, caller, &writer, m_settings.maxObjectSize);
    S3Error error = intake.prepare();
    if (error.isError())
        return refuse(exchange, error);
    const bool transferred = exchange.streamBody(
        [&intake](const char *data, size_t size) { return intake.feed(data, size); });
    error = intake.finish(transferred);
    if (error.isError())
        return refuse(exchange, error);
    ObjectHeader header;
    header.etag = writer.md5().toHex();
    if (!writer.commit(header, partPath(directory, number)))
        return refuse(exchange, refused(500, "InternalError",
                                        QStringLiteral("the server could not store the part")));
    exchange.setHeader("ETag", quotedEtag(header.etag));
    exchange.replyEmpty(200);
}

void StoreService::completeUpload(HttpExchange &exchange, const Target &target,
                                  const StoreCaller &caller)
{
    const QString directory = uploadDirectory(exchange, target, caller);
    if (directory.isEmpty())
        return;
    QByteArray body;
    S3Error error = readSmallBody(exchange, caller, kMaxCompleteBody, &body);
    if (error.isError())
        return refuse(exchange, error);
    QList<QPair<int, QByteArray>> requested;
    if (!S3Xml::parseCompleteMultipartUpload(body, &requested))
        return refuse(exchange,
                      refused(400, "MalformedXML", QStringLiteral("the part list is malformed")));

    QList<StoredObject> parts;
    qint64 total = 0;
    for (int i = 0; i < requested.size(); ++i) {
        if (i > 0 && requested.at(i).first <= requested.at(i - 1).first)
            return refuse(exchange, refused(400, "InvalidPartOrder",
                                            QStringLiteral("the parts are not in ascending "
                                                           "order")));
        StoredObject part;
        if (!ObjectFile::read(partPath(directory, requested.at(i).first), &part) ||
            part.header.etag != requested.at(i).second)
            return refuse(exchange, refused(400, "InvalidPart",
                                            QStringLiteral("part %1 was not uploaded as listed")
                                                .arg(requested.at(i).first)));
        if (i + 1 < requested.size() && part.size < kMinPartSize)
            return refuse(
                exchange,
                refused(
                    400, "EntityTooSmall",
                    QStringLiteral("part %1 is smaller than 5 MiB").arg(requested.at(i).first)));
        total += part.size;
        parts.append(part);
    }
    if (total > m_settings.maxObjectSize)
        return refuse(exchange, refused(400, "EntityTooLarge",
                                        QStringLiteral("the object would be larger than %1 bytes")
                                            .arg(m_settings.maxObjectSize)));

    UploadRecord record;
    readRecord(directory + QStringLiteral("/upload.json"), &record);
    ObjectWriter writer(m_store->temporaryDirectory());
    QByteArray partDigests;
    for (const StoredObject &part : qAsConst(parts)) {
        if (!writer.isOpen() || !appendPart(part, writer))
            return refuse(exchange, refused(500, "InternalError",
                                            QStringLiteral("the server could not assemble the "
                                                           "object")));
        partDigests += QByteArray::fromHex(part.header.etag);
    }
    ObjectHeader header = record.header;
    header.etag = QCryptographicHash::hash(partDigests, QCryptographicHash::Md5).toHex() + '-' +
                  QByteArray::number(parts.size());
    bool existed = false;
    if (!m_store->commit(writer, header, target.bucket, target.key, true, &existed))
        return refuse(exchange, refused(500, "InternalError",
                                        QStringLiteral("the server could not store it")));
    QDir(directory).removeRecursively();
    const QString location = m_settings.publicUrl + QLatin1Char('/') + target.bucket +
                             QLatin1Char('/') +
                             QString::fromUtf8(target.key.toPercentEncoding("/"));
    exchange.reply(
        200, "application/xml",
        S3Xml::completeMultipartUpload(location, target.bucket, target.key, header.etag));
}

void StoreService::abortUpload(HttpExchange &exchange, const Target &target,
                               const StoreCaller &caller)
{
    const QString directory = uploadDirectory(exchange, target, caller);
    if (directory.isEmpty())
        return;
    QDir(directory).removeRecursively();
    exchange.replyEmpty(204);
}
