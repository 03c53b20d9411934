#include "planfiles.h"

#include "objectfile.h"
#include "objectkeys.h"
#include "objectstore.h"

#include <QFile>

bool LocalPlanFiles::read(const QString &bucket, const QByteArray &key, qint64 maxBytes,
                          QByteArray *bytes, QString *error)
{
    StoredObject object;
    if (!ObjectKeys::refusal(key).isEmpty() || !m_store->find(bucket, key, &object)) {
        *error = QStringLiteral("%1/%2 is not stored").arg(bucket, QString::fromUtf8(key));
        return false;
    }
    if (object.size > maxBytes) {
        *error = QStringLiteral("%1/%2 is larger than %3 bytes")
                     .arg(bucket, QString::fromUtf8(key))
                     .arg(maxBytes);
        return false;
    }
    QFile file(object.path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(ObjectFile::kHeaderSize)) {
        *error = QStringLiteral("cannot read %1").arg(object.path);
        return false;
    }
    *bytes = file.read(object.size);
    return bytes->size() == object.size;
}

bool LocalPlanFiles::removeAllBelow(const QString &bucket, const QByteArray &prefix,
                                    QString * /*error*/)
{
    QList<QByteArray> keys;
    m_store->walk(bucket, prefix, QByteArray(),
                  [&keys](const QByteArray &key, const QString &, ObjectStore::WalkControl &) {
                      keys.append(key);
                  });
    for (const QByteArray &key : qAsConst(keys))
        m_store->remove(bucket, key);
    return true;
}

bool LocalPlanFiles::storeFile(const QString &bucket, const QByteArray &key, const QString &path,
                               const QString &contentType, QString *error)
{
    const QString refusal = ObjectKeys::refusal(key);
    QFile file(path);
    if (!refusal.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        *error = refusal.isEmpty() ? QStringLiteral("cannot read %1").arg(path) : refusal;
        return false;
    }
    ObjectWriter writer(m_store->temporaryDirectory());
    while (!file.atEnd()) {
        const QByteArray block = file.read(1024 * 1024);
        if (block.isEmpty() || !writer.write(block.constData(), block.size())) {
            *error = QStringLiteral("cannot store %1").arg(path);
            return false;
        }
    }
    ObjectHeader header;
    header.etag = writer.md5().toHex();
    header.contentType = contentType;
    bool existed = false;
    if (!m_store->commit(writer, header, bucket, key, true, &existed)) {
        *error = QStringLiteral("cannot store %1").arg(path);
        return false;
    }
    return true;
}
