#include "s3xml.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <functional>

namespace S3Xml {

namespace {

const QString kNamespace = QStringLiteral("http://s3.amazonaws.com/doc/2006-03-01/");

QByteArray document(const QString &root, bool withNamespace,
                    const std::function<void(QXmlStreamWriter &)> &body)
{
    QByteArray xml;
    QXmlStreamWriter writer(&xml);
    writer.writeStartDocument();
    writer.writeStartElement(root);
    if (withNamespace)
        writer.writeDefaultNamespace(kNamespace);
    body(writer);
    writer.writeEndElement();
    writer.writeEndDocument();
    return xml;
}

QString text(const QByteArray &utf8, bool urlEncoded)
{
    return QString::fromUtf8(urlEncoded ? utf8.toPercentEncoding("/") : utf8);
}

QString quoted(const QByteArray &etag)
{
    return QLatin1Char('"') + QString::fromLatin1(etag) + QLatin1Char('"');
}

// Reads the children of the current element, handing each element's name and text to take.
// False when the XML is not well formed.
bool readFlatElements(QXmlStreamReader &reader,
                      const std::function<void(const QString &, const QString &)> &take)
{
    while (reader.readNextStartElement()) {
        const QString name = reader.name().toString();
        take(name, reader.readElementText(QXmlStreamReader::SkipChildElements));
    }
    return !reader.hasError();
}

} // namespace

QString isoTime(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

QByteArray error(const QString &code, const QString &message, const QString &resource)
{
    return document(QStringLiteral("Error"), false, [&](QXmlStreamWriter &writer) {
        writer.writeTextElement(QStringLiteral("Code"), code);
        writer.writeTextElement(QStringLiteral("Message"), message);
        writer.writeTextElement(QStringLiteral("Resource"), resource);
    });
}

QByteArray listBucket(const ListResult &result)
{
    return document(QStringLiteral("ListBucketResult"), true, [&](QXmlStreamWriter &writer) {
        writer.writeTextElement(QStringLiteral("Name"), result.bucket);
        writer.writeTextElement(QStringLiteral("Prefix"), text(result.prefix, result.urlEncoded));
        if (!result.delimiter.isEmpty())
            writer.writeTextElement(QStringLiteral("Delimiter"),
                                    text(result.delimiter, result.urlEncoded));
        if (!result.startAfter.isEmpty())
            writer.writeTextElement(QStringLiteral("StartAfter"),
                                    text(result.startAfter, result.urlEncoded));
        if (!result.continuationToken.isEmpty())
            writer.writeTextElement(QStringLiteral("ContinuationToken"),
                                    QString::fromLatin1(result.continuationToken));
        if (!result.nextContinuationToken.isEmpty())
            writer.writeTextElement(QStringLiteral("NextContinuationToken"),
                                    QString::fromLatin1(result.nextContinuationToken));
        writer.writeTextElement(
            QStringLiteral("KeyCount"),
            QString::number(result.objects.size() + result.commonPrefixes.size()));
        writer.writeTextElement(QStringLiteral("MaxKeys"), QString::number(result.maxKeys));
        if (result.urlEncoded)
            writer.writeTextElement(QStringLiteral("EncodingType"), QStringLiteral("url"));
        writer.writeTextElement(QStringLiteral("IsTruncated"), result.truncated
                                                                   ? QStringLiteral("true")
                                                                   : QStringLiteral("false"));
        for (const ListedObject &object : result.objects) {
            writer.writeStartElement(QStringLiteral("Contents"));
            writer.writeTextElement(QStringLiteral("Key"), text(object.key, result.urlEncoded));
            writer.writeTextElement(QStringLiteral("LastModified"), isoTime(object.modified));
            writer.writeTextElement(QStringLiteral("ETag"), quoted(object.etag));
            writer.writeTextElement(QStringLiteral("Size"), QString::number(object.size));
            writer.writeTextElement(QStringLiteral("StorageClass"), QStringLiteral("STANDARD"));
            writer.writeEndElement();
        }
        for (const QByteArray &prefix : result.commonPrefixes) {
            writer.writeStartElement(QStringLiteral("CommonPrefixes"));
            writer.writeTextElement(QStringLiteral("Prefix"), text(prefix, result.urlEncoded));
            writer.writeEndElement();
        }
    });
}

QByteArray listBuckets(const QStringList &buckets, const QDateTime &created)
{
    return document(QStringLiteral("ListAllMyBucketsResult"), true, [&](QXmlStreamWriter &writer) {
        writer.writeStartElement(QStringLiteral("Buckets"));
        for (const QString &bucket : buckets) {
            writer.writeStartElement(QStringLiteral("Bucket"));
            writer.writeTextElement(QStringLiteral("Name"), bucket);
            writer.writeTextElement(QStringLiteral("CreationDate"), isoTime(created));
            writer.writeEndElement();
        }
        writer.writeEndElement();
    });
}

QByteArray deleteResult(const QList<DeleteOutcome> &outcomes, bool quiet)
{
    return document(QStringLiteral("DeleteResult"), true, [&](QXmlStreamWriter &writer) {
        for (const DeleteOutcome &outcome : outcomes) {
            if (outcome.code.isEmpty() && quiet)
                continue;
            writer.writeStartElement(outcome.code.isEmpty() ? QStringLiteral("Deleted")
                                                            : QStringLiteral("Error"));
            writer.writeTextElement(QStringLiteral("Key"), QString::fromUtf8(outcome.key));
            if (!outcome.code.isEmpty()) {
                writer.writeTextElement(QStringLiteral("Code"), outcome.code);
                writer.writeTextElement(QStringLiteral("Message"), outcome.message);
            }
            writer.writeEndElement();
        }
    });
}

bool parseDelete(const QByteArray &body, QList<QByteArray> *keys, bool *quiet)
{
    QXmlStreamReader reader(body);
    if (!reader.readNextStartElement() || reader.name() != QLatin1String("Delete"))
        return false;
    *quiet = false;
    keys->clear();
    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("Quiet")) {
            *quiet = reader.readElementText() == QLatin1String("true");
        } else if (reader.name() == QLatin1String("Object")) {
            QByteArray key;
            bool hasKey = false;
            if (!readFlatElements(reader,
                                  [&](const QString &name, const QString &value) {
                                      if (name == QLatin1String("Key")) {
                                          key = value.toUtf8();
                                          hasKey = true;
                                      }
                                  }) ||
                !hasKey)
                return false;
            keys->append(key);
        } else {
            reader.skipCurrentElement();
        }
    }
    return !reader.hasError() && !keys->isEmpty();
}

QByteArray initiateMultipartUpload(const QString &bucket, const QByteArray &key,
                                   const QString &uploadId)
{
    return document(QStringLiteral("InitiateMultipartUploadResult"), true,
                    [&](QXmlStreamWriter &writer) {
                        writer.writeTextElement(QStringLiteral("Bucket"), bucket);
                        writer.writeTextElement(QStringLiteral("Key"), QString::fromUtf8(key));
                        writer.writeTextElement(QStringLiteral("UploadId"), uploadId);
                    });
}

QByteArray completeMultipartUpload(const QString &location, const QString &bucket,
                                   const QByteArray &key, const QByteArray &etag)
{
    return document(QStringLiteral("CompleteMultipartUploadResult"), true,
                    [&](QXmlStreamWriter &writer) {
                        writer.writeTextElement(QStringLiteral("Location"), location);
                        writer.writeTextElement(QStringLiteral("Bucket"), bucket);
                        writer.writeTextElement(QStringLiteral("Key"), QString::fromUtf8(key));
                        writer.writeTextElement(QStringLiteral("ETag"), quoted(etag));
                    });
}

bool parseCompleteMultipartUpload(const QByteArray &body, QList<QPair<int, QByteArray>> *parts)
{
    QXmlStreamReader reader(body);
    if (!reader.readNextStartElement() || reader.name() != QLatin1String("CompleteMultipartUpload"))
        return false;
    parts->clear();
    while (reader.readNextStartElement()) {
        if (reader.name() != QLatin1String("Part")) {
            reader.skipCurrentElement();
            continue;
        }
        int number = 0;
        QByteArray etag;
        if (!readFlatElements(reader, [&](const QString &name, const QString &value) {
                if (name == QLatin1String("PartNumber"))
                    number = value.toInt();
                else if (name == QLatin1String("ETag"))
                    etag = value.toLatin1().replace('"', QByteArray());
            }))
            return false;
        if (number <= 0 || etag.isEmpty())
            return false;
        parts->append({number, etag});
    }
    return !reader.hasError() && !parts->isEmpty();
}

} // namespace S3Xml
