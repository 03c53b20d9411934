#ifndef OBJECTFILE_H
#define OBJECTFILE_H

#include <QByteArray>
#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

#include <memory>

// One stored object is one file: a header block of kHeaderSize bytes (a magic line, then the
// object's properties as one line of JSON, padded), then the object's bytes. Keeping both in
// one file means one rename puts an object in place whole, with its ETag and type.
struct ObjectHeader
{
    QByteArray etag; // without quotes
    QString contentType;
    QList<QPair<QString, QString>> metadata; // x-amz-meta-* names, lower case, and values
    QMap<QString, QString> checksums;        // "CRC32" and so on: base64 as the client sent it
};

struct StoredObject
{
    QString path;
    ObjectHeader header;
    qint64 size = 0;
    QDateTime modified;
};

namespace ObjectFile {

inline constexpr qint64 kHeaderSize = 4096;

// Reads the header of the object file at path; false when it is missing or not one.
bool read(const QString &path, StoredObject *object);

// Whether the properties fit in a header block.
bool fits(const ObjectHeader &header);

} // namespace ObjectFile

// Writes an object into a temporary file and, when asked, renames it into place: readers and
// a crash see the old object or the new one, never part of one. The MD5 of the bytes is kept
// as they pass. The temporary file is removed unless committed.
class ObjectWriter
{
public:
    explicit ObjectWriter(const QString &temporaryDirectory);
    ~ObjectWriter();

    ObjectWriter(const ObjectWriter &) = delete;
    ObjectWriter &operator=(const ObjectWriter &) = delete;

    bool isOpen() const { return m_file.isOpen(); }
    bool write(const char *data, qint64 size);
    qint64 size() const { return m_size; }
    // The raw MD5 of what was written.
    QByteArray md5() const { return m_md5.result(); }
    // Writes the header, makes the bytes durable and renames the file to target, creating its
    // directories; false (with a log line) when any step fails. With replace false an existing
    // target is kept (false, *existed set), decided in the same step that puts the file there.
    bool commit(const ObjectHeader &header, const QString &target, bool replace = true,
                bool *existed = nullptr);

private:
    QFile m_file;
    QCryptographicHash m_md5{QCryptographicHash::Md5};
    qint64 m_size = 0;
    bool m_committed = false;
};

// Removes the file and then each directory above it that became empty, up to (not including)
// stopAt.
void removeFileAndEmptyParents(const QString &path, const QString &stopAt);

#endif // OBJECTFILE_H
