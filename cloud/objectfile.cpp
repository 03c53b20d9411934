#include "objectfile.h"

#include "cloudlog.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

const QByteArray kMagic = QByteArrayLiteral("YRCLOUD-OBJECT 1\n");

QByteArray headerLine(const ObjectHeader &header)
{
    QJsonObject object;
    object.insert(QStringLiteral("etag"), QString::fromLatin1(header.etag));
    object.insert(QStringLiteral("contentType"), header.contentType);
    QJsonArray metadata;
    for (const auto &item : header.metadata)
        metadata.append(QJsonArray{item.first, item.second});
    object.insert(QStringLiteral("metadata"), metadata);
    QJsonObject checksums;
    for (auto it = header.checksums.cbegin(); it != header.checksums.cend(); ++it)
        checksums.insert(it.key(), it.value());
    object.insert(QStringLiteral("checksums"), checksums);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray headerBlock(const ObjectHeader &header)
{
    QByteArray block = kMagic + headerLine(header) + '\n';
    if (block.size() > ObjectFile::kHeaderSize)
        return QByteArray();
    block.append(int(ObjectFile::kHeaderSize - block.size()), ' ');
    return block;
}

bool parsedHeader(const QByteArray &block, ObjectHeader *header)
{
    if (!block.startsWith(kMagic))
        return false;
    const int end = block.indexOf('\n', kMagic.size());
    if (end < 0)
        return false;
    const QJsonObject object =
        QJsonDocument::fromJson(block.mid(kMagic.size(), end - kMagic.size())).object();
    if (object.isEmpty())
        return false;
    header->etag = object.value(QStringLiteral("etag")).toString().toLatin1();
    header->contentType = object.value(QStringLiteral("contentType")).toString();
    header->metadata.clear();
    for (const QJsonValue &item : object.value(QStringLiteral("metadata")).toArray()) {
        const QJsonArray pair = item.toArray();
        header->metadata.append({pair.at(0).toString(), pair.at(1).toString()});
    }
    header->checksums.clear();
    const QJsonObject checksums = object.value(QStringLiteral("checksums")).toObject();
    for (auto it = checksums.constBegin(); it != checksums.constEnd(); ++it)
        header->checksums.insert(it.key(), it.value().toString());
    return true;
}

bool syncToDisk(QFile &file)
{
#ifdef Q_OS_UNIX
    return ::fdatasync(file.handle()) == 0;
#else
    return file.flush();
#endif
}

// Moves from onto to: replacing it (rename), or only where it does not exist yet (a hard link,
// which fails on an existing name, then removing from).
bool moveFile(const QString &from, const QString &to, bool replace)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (replace)
        return std::rename(source.constData(), target.constData()) == 0;
#ifdef Q_OS_UNIX
    if (::link(source.constData(), target.constData()) != 0)
        return false;
    ::unlink(source.constData());
    return true;
#else
    if (QFile::exists(to)) {
        errno = EEXIST;
        return false;
    }
    return std::rename(source.constData(), target.constData()) == 0;
#endif
}

// Moves into place, making the target's directories first; a concurrent delete may remove a
// directory that just became empty between the two, so that is tried again a few times.
bool moveIntoPlace(const QString &from, const QString &to, bool replace, bool *existed)
{
    const QString directory = QFileInfo(to).absolutePath();
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (!QDir().mkpath(directory))
            continue;
        if (moveFile(from, to, replace))
            return true;
        if (errno == EEXIST && existed)
            *existed = true;
        if (errno != ENOENT)
            return false;
    }
    return false;
}

} // namespace

namespace ObjectFile {

bool read(const QString &path, StoredObject *object)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 total = file.size();
    if (total < kHeaderSize || !parsedHeader(file.read(kHeaderSize), &object->header))
        return false;
    object->path = path;
    object->size = total - kHeaderSize;
    object->modified = QFileInfo(file).lastModified().toUTC();
    return true;
}

bool fits(const ObjectHeader &header)
{
    return !headerBlock(header).isEmpty();
}

} // namespace ObjectFile

ObjectWriter::ObjectWriter(const QString &temporaryDirectory)
{
    const QString name = QStringLiteral("%1.part").arg(QRandomGenerator::global()->generate64(), 16,
                                                       16, QLatin1Char('0'));
    m_file.setFileName(QDir(temporaryDirectory).filePath(name));
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        qCWarning(lcStore).noquote()
            << "cannot create" << m_file.fileName() << ":" << m_file.errorString();
        return;
    }
    // The header block is written last, once the ETag is known.
    if (!m_file.seek(ObjectFile::kHeaderSize))
        m_file.close();
}

ObjectWriter::~ObjectWriter()
{
    if (m_committed)
        return;
    m_file.close();
    m_file.remove();
}

bool ObjectWriter::write(const char *data, qint64 size)
{
    if (size == 0)
        return true;
    if (m_file.write(data, size) != size) {
        qCWarning(lcStore).noquote()
            << "cannot write" << m_file.fileName() << ":" << m_file.errorString();
        return false;
    }
    m_md5.addData(data, int(size));
    m_size += size;
    return true;
}

bool ObjectWriter::commit(const ObjectHeader &header, const QString &target, bool replace,
                          bool *existed)
{
    if (existed)
        *existed = false;
    const QByteArray block = headerBlock(header);
    if (block.isEmpty() || !m_file.seek(0) || m_file.write(block) != block.size() ||
        !m_file.flush() || !syncToDisk(m_file)) {
        qCWarning(lcStore).noquote()
            << "cannot finish" << m_file.fileName() << ":" << m_file.errorString();
        return false;
    }
    m_file.close();
    if (!moveIntoPlace(m_file.fileName(), target, replace, existed)) {
        if (!existed || !*existed)
            qCWarning(lcStore).noquote() << "cannot move" << m_file.fileName() << "to" << target;
        return false;
    }
    m_committed = true;
    return true;
}

void removeFileAndEmptyParents(const QString &path, const QString &stopAt)
{
    QFile::remove(path);
    const QString root = QDir::cleanPath(stopAt);
    QDir directory = QFileInfo(path).absoluteDir();
    while (QDir::cleanPath(directory.absolutePath()).startsWith(root + QLatin1Char('/'))) {
        const QString name = directory.dirName();
        if (!directory.cdUp() || !directory.rmdir(name))
            break; // not empty (or in use): it stays
    }
}
