#ifndef S3XML_H
#define S3XML_H

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The XML bodies of the store's answers, in the form S3 clients parse, and the two request
// bodies it reads (DeleteObjects, CompleteMultipartUpload).
namespace S3Xml {

QByteArray error(const QString &code, const QString &message, const QString &resource);

struct ListedObject
{
    QByteArray key;
    QDateTime modified;
    QByteArray etag;
    qint64 size = 0;
};

struct ListResult
{
    QString bucket;
    QByteArray prefix;
    QByteArray delimiter;
    QByteArray startAfter;
    QByteArray continuationToken;
    QByteArray nextContinuationToken;
    int maxKeys = 1000;
    bool truncated = false;
    bool urlEncoded = false; // encoding-type=url: keys and prefixes percent-encoded
    QList<ListedObject> objects;
    QList<QByteArray> commonPrefixes;
};
QByteArray listBucket(const ListResult &result);
QByteArray listBuckets(const QStringList &buckets, const QDateTime &created);

struct DeleteOutcome
{
    QByteArray key;
    QString code; // empty: deleted
    QString message;
};
QByteArray deleteResult(const QList<DeleteOutcome> &outcomes, bool quiet);
// The keys of a Delete request; false when the body is not one.
bool parseDelete(const QByteArray &body, QList<QByteArray> *keys, bool *quiet);

QByteArray initiateMultipartUpload(const QString &bucket, const QByteArray &key,
                                   const QString &uploadId);
QByteArray completeMultipartUpload(const QString &location, const QString &bucket,
                                   const QByteArray &key, const QByteArray &etag);
// The parts of a CompleteMultipartUpload request as (number, ETag without quotes); false
// when the body is not one.
bool parseCompleteMultipartUpload(const QByteArray &body, QList<QPair<int, QByteArray>> *parts);

// S3's time form: 2026-01-01T00:00:00.000Z.
QString isoTime(const QDateTime &time);

} // namespace S3Xml

#endif // S3XML_H
