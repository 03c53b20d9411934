#include "objectstore.h"

#include "buckets.h"
#include "cloudlog.h"
#include "objectkeys.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace {

// A file being written is touched with every block that arrives; one untouched this long was
// left by a server that stopped.
const qint64 kStaleTemporarySeconds = 15 * 60;
// An upload in parts that was neither completed nor aborted within a week is given up.
const qint64 kStaleUploadSeconds = 7 * 24 * 3600;

void removeOlderThan(const QString &directory, qint64 seconds)
{
    const QDateTime limit = QDateTime::currentDateTimeUtc().addSecs(-seconds);
    const QFileInfoList entries =
        QDir(directory).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (entry.lastModified().toUTC() >= limit)
            continue;
        qCInfo(lcStore).noquote() << "removing what an interrupted write left:"
                                  << entry.absoluteFilePath();
        if (entry.isDir())
            QDir(entry.absoluteFilePath()).removeRecursively();
        else
            QFile::remove(entry.absoluteFilePath());
    }
}

struct Entry
{
    QByteArray key; // a file's key, or a directory's prefix ending in "/"
    QString path;
    bool directory = false;
};

QVector<Entry> sortedEntries(const QString &directory, const QByteArray &keyPrefix)
{
    QVector<Entry> entries;
    const QFileInfoList infos = QDir(directory).entryInfoList(
        QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::NoSort);
    for (const QFileInfo &info : infos) {
        QByteArray segment;
        if (info.isDir() && ObjectKeys::segmentOfDirectory(info.fileName(), &segment))
            entries.append({keyPrefix + segment + '/', info.absoluteFilePath(), true});
        else if (info.isFile() && ObjectKeys::segmentOfFile(info.fileName(), &segment))
            entries.append({keyPrefix + segment, info.absoluteFilePath(), false});
    }
    // A directory's keys all begin with its prefix and no other entry's key does, so sorting
    // files by key and directories by prefix orders every key below them.
    std::sort(entries.begin(), entries.end(),
              [](const Entry &a, const Entry &b) { return a.key < b.key; });
    return entries;
}

struct Walk
{
    QByteArray prefix;
    QByteArray after;
    const ObjectStore::Visitor &visit;
    ObjectStore::WalkControl control;
};

bool passedOver(const Entry &entry, const Walk &walk)
{
    const QByteArray &skip = walk.control.skipPrefix;
    if (!skip.isEmpty() && entry.key.startsWith(skip))
        return true;
    if (entry.directory) {
        if (!entry.key.startsWith(walk.prefix) && !walk.prefix.startsWith(entry.key))
            return true;
        // Every key below sorts before `after` unless `after` itself lies below.
        return !walk.after.isEmpty() && walk.after > entry.key && !walk.after.startsWith(entry.key);
    }
    return !entry.key.startsWith(walk.prefix) || entry.key <= walk.after;
}

void walkDirectory(const QString &directory, const QByteArray &keyPrefix, Walk &walk)
{
    for (const Entry &entry : sortedEntries(directory, keyPrefix)) {
        if (walk.control.stop)
            return;
        if (passedOver(entry, walk))
            continue;
        if (entry.directory)
            walkDirectory(entry.path, entry.key, walk);
        else
            walk.visit(entry.key, entry.path, walk.control);
    }
}

} // namespace

ObjectStore::ObjectStore(const QString &dataDirectory) : m_root(QDir(dataDirectory).absolutePath())
{}

bool ObjectStore::prepare(QString *error)
{
    QStringList directories{temporaryDirectory(), uploadsDirectory()};
    for (const QString &bucket : Buckets::all())
        directories.append(bucketDirectory(bucket));
    for (const QString &directory : qAsConst(directories)) {
        if (!QDir().mkpath(directory)) {
            *error = QStringLiteral("cannot create %1").arg(directory);
            return false;
        }
    }
    removeOlderThan(temporaryDirectory(), kStaleTemporarySeconds);
    removeOlderThan(uploadsDirectory(), kStaleUploadSeconds);
    return true;
}

QString ObjectStore::temporaryDirectory() const
{
    return m_root + QStringLiteral("/tmp");
}

QString ObjectStore::uploadsDirectory() const
{
    return m_root + QStringLiteral("/uploads");
}

QString ObjectStore::bucketDirectory(const QString &bucket) const
{
    return m_root + QStringLiteral("/objects/") + bucket;
}

QString ObjectStore::objectPath(const QString &bucket, const QByteArray &key) const
{
    return bucketDirectory(bucket) + QLatin1Char('/') + ObjectKeys::filePath(key);
}

bool ObjectStore::find(const QString &bucket, const QByteArray &key, StoredObject *object) const
{
    return ObjectFile::read(objectPath(bucket, key), object);
}

void ObjectStore::remove(const QString &bucket, const QByteArray &key) const
{
    removeFileAndEmptyParents(objectPath(bucket, key), bucketDirectory(bucket));
}

bool ObjectStore::commit(ObjectWriter &writer, const ObjectHeader &header, const QString &bucket,
                         const QByteArray &key, bool replace, bool *existed) const
{
    return writer.commit(header, objectPath(bucket, key), replace, existed);
}

void ObjectStore::walk(const QString &bucket, const QByteArray &prefix, const QByteArray &after,
                       const Visitor &visit) const
{
    Walk state{prefix, after, visit, {}};
    const QByteArray startKeyPrefix = prefix.left(prefix.lastIndexOf('/') + 1);
    const QString start =
        bucketDirectory(bucket) + QLatin1Char('/') + ObjectKeys::directoryOfPrefix(prefix);
    if (QFileInfo(start).isDir())
        walkDirectory(
            start, ObjectKeys::directoryOfPrefix(prefix).isEmpty() ? QByteArray() : startKeyPrefix,
            state);
}
