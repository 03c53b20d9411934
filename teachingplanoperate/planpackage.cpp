#include "teachingplanoperate/planpackage.h"
#include "teachingplanoperate/operatelog.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipfileinfo.h>
#include <quazip/unzip.h>

#include <zlib.h>

#include <algorithm>
#include <limits>

// QuaZip reads the central directory and checks each local header, but the data of stored
// entries (all that plan packages hold) is copied here straight from the package file in
// large blocks: through QuaZip it passes minizip's small internal buffer and JlCompress's small
// copy blocks, and JlCompress also turns link entries into real links and writes later entries
// through them, out of the destination. Deflated entries are read through QuaZipFile. Every
// entry is checked before the first byte is written, so a refused package leaves nothing behind.

namespace {

// Large enough that the per-call cost of reading, hashing and writing vanishes.
constexpr qint64 kBlockSize = 1024 * 1024;

constexpr quint16 kMethodStored = 0;
constexpr quint16 kMethodDeflated = Z_DEFLATED;
constexpr quint16 kFlagEncrypted = 1;
constexpr quint32 kUnixFileTypeMask = 0170000;
constexpr quint32 kUnixSymbolicLink = 0120000;

// One checked entry, ready to be written.
struct PackageEntry
{
    QString relativePath; // cleaned, below the destination
    bool isDirectory = false;
    quint16 method = kMethodStored;
    quint32 crc = 0;
    qint64 size = 0;        // uncompressed
    qint64 dataOffset = -1; // stored entries: where the data starts in the package
};

// Why an entry name must not be unpacked below a destination; empty when it may.
QString unsafeEntryNameReason(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("an empty name");
    if (name.startsWith(QLatin1Char('/')))
        return QStringLiteral("an absolute path");
    if (name.contains(QLatin1Char('\\')))
        return QStringLiteral("a backslash");
    // On Windows a colon names a drive or an alternate data stream of a file.
    if (name.contains(QLatin1Char(':')))
        return QStringLiteral("a colon");
    if (name.contains(QChar(0)))
        return QStringLiteral("a NUL character");
    if (name.split(QLatin1Char('/')).contains(QLatin1String("..")))
        return QStringLiteral("a parent-directory part");
    const QString cleaned = QDir::cleanPath(name);
    if (cleaned.isEmpty() || cleaned == QLatin1String("."))
        return QStringLiteral("no path below the destination");
    return QString();
}

// Unix file type in the upper half of the external attributes: a link would let later
// entries be written wherever it points.
bool isSymbolicLink(const QuaZipFileInfo64 &info)
{
    return ((info.externalAttr >> 16) & kUnixFileTypeMask) == kUnixSymbolicLink;
}

// Where the data of zip's current entry starts, past its local header, which minizip checks
// against the central record; -1 when the local header is unreadable or does not match.
qint64 currentEntryDataOffset(QuaZip &zip)
{
    unzFile handle = zip.getUnzFile();
    int method = 0;
    int level = 0;
    if (unzOpenCurrentFile2(handle, &method, &level, 1) != UNZ_OK)
        return -1;
    const ZPOS64_T offset = unzGetCurrentFileZStreamPos64(handle);
    unzCloseCurrentFile(handle);
    return offset > ZPOS64_T(std::numeric_limits<qint64>::max()) ? -1 : qint64(offset);
}

// Why the entry described by info cannot be unpacked from a package of packageSize bytes;
// empty when it can, with entry filled in.
QString readEntry(QuaZip &zip, const QuaZipFileInfo64 &info, qint64 packageSize,
                  PackageEntry &entry)
{
    QString reason =
        isSymbolicLink(info) ? QStringLiteral("a symbolic link") : unsafeEntryNameReason(info.name);
    if (!reason.isEmpty())
        return reason;
    entry.relativePath = QDir::cleanPath(info.name);
    entry.isDirectory = info.name.endsWith(QLatin1Char('/'));
    if (entry.isDirectory)
        return QString();
    if (info.flags & kFlagEncrypted)
        return QStringLiteral("encrypted data");
    if (info.method != kMethodStored && info.method != kMethodDeflated)
        return QStringLiteral("compression method %1").arg(info.method);
    if (info.uncompressedSize > quint64(std::numeric_limits<qint64>::max()))
        return QStringLiteral("an impossible size");
    entry.method = info.method;
    entry.crc = info.crc;
    entry.size = qint64(info.uncompressedSize);
    if (entry.method != kMethodStored)
        return QString();
    if (info.compressedSize != info.uncompressedSize)
        return QStringLiteral("stored sizes that differ");
    entry.dataOffset = currentEntryDataOffset(zip);
    if (entry.dataOffset < 0 || entry.dataOffset > packageSize - entry.size)
        return QStringLiteral("a local header or data outside the package");
    return QString();
}

// Reads and checks every entry of zip in the central directory's order; false, with why,
// when any of them must not be unpacked.
bool readCheckedEntries(QuaZip &zip, qint64 packageSize, QVector<PackageEntry> &entries,
                        QString &why)
{
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFileInfo64 info;
        if (!zip.getCurrentFileInfo(&info)) {
            why = QStringLiteral("cannot read entry %1 (zip error %2)")
                      .arg(entries.size())
                      .arg(zip.getZipError());
            return false;
        }
        PackageEntry entry;
        const QString reason = readEntry(zip, info, packageSize, entry);
        if (!reason.isEmpty()) {
            why = QStringLiteral("entry \"%1\" has %2").arg(info.name, reason);
            return false;
        }
        entries.append(entry);
    }
    if (zip.getZipError() != UNZ_OK) {
        why = QStringLiteral("cannot read the central directory (zip error %1)")
                  .arg(zip.getZipError());
        return false;
    }
    return true;
}

// Writes what readBlock yields into out, block by block through buffer, and adds it to crc
// and copied; readBlock(data, capacity) returns the bytes read, 0 at the end, -1 on an error.
// False on a read or write error.
template <typename BlockReader>
bool copyBlocks(BlockReader readBlock, QFile &out, QByteArray &buffer, quint32 &crc, qint64 &copied)
{
    for (;;) {
        const qint64 n = readBlock(buffer.data(), qint64(buffer.size()));
        if (n <= 0)
            return n == 0;
        crc = quint32(crc32_z(crc, reinterpret_cast<const Bytef *>(buffer.constData()), size_t(n)));
        if (out.write(buffer.constData(), n) != n)
            return false;
        copied += n;
    }
}

// Unpacks package into destination; false, with why, when it is refused or fails.
class PackageExtractor
{
public:
    PackageExtractor(const QString &package, const QString &destination)
        : m_zip(package), m_data(package), m_destination(destination)
    {}

    bool extract(QString &why)
    {
        QVector<PackageEntry> entries;
        if (!m_zip.open(QuaZip::mdUnzip)) {
            why = QStringLiteral("not a readable zip archive (zip error %1)")
                      .arg(m_zip.getZipError());
            return false;
        }
        if (!m_data.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            why = QStringLiteral("cannot read the package: %1").arg(m_data.errorString());
            return false;
        }
        if (!readCheckedEntries(m_zip, m_data.size(), entries, why))
            return false;
        if (!makeDirectory(m_destination, why))
            return false;
        m_root = QDir(m_destination).absolutePath() + QLatin1Char('/');
        m_buffer = QByteArray(int(kBlockSize), Qt::Uninitialized);

        bool current = m_zip.goToFirstFile();
        for (const PackageEntry &entry : qAsConst(entries)) {
            // The central directory is walked again in step, for QuaZipFile's current entry.
            if (!current || !writeEntry(entry, why)) {
                if (why.isEmpty())
                    why = QStringLiteral("the central directory changed while unpacking");
                removeWrittenFiles();
                return false;
            }
            current = m_zip.goToNextFile();
        }
        return true;
    }

private:
    bool writeEntry(const PackageEntry &entry, QString &why)
    {
        const QString target = m_root + entry.relativePath;
        if (entry.isDirectory)
            return makeDirectory(target, why);
        if (!makeDirectory(QFileInfo(target).path(), why))
            return false;

        QFile out(target);
        m_written.append(target);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
            why = QStringLiteral("cannot write %1: %2").arg(target, out.errorString());
            return false;
        }
        quint32 crc = quint32(crc32_z(0, nullptr, 0));
        qint64 copied = 0;
        const bool complete = entry.method == kMethodStored
                                  ? copyStoredData(entry, out, crc, copied)
                                  : copyDeflatedData(out, crc, copied);
        out.close(); // some file systems report a failed write only here
        if (!complete || out.error() != QFileDevice::NoError) {
            why = QStringLiteral("cannot unpack %1: %2")
                      .arg(entry.relativePath, out.error() != QFileDevice::NoError
                                                   ? out.errorString()
                                                   : QStringLiteral("read error"));
            return false;
        }
        if (copied != entry.size || crc != entry.crc) {
            why = QStringLiteral("%1 is damaged: its size or CRC-32 does not match")
                      .arg(entry.relativePath);
            return false;
        }
        return true;
    }

    bool copyStoredData(const PackageEntry &entry, QFile &out, quint32 &crc, qint64 &copied)
    {
        if (!m_data.seek(entry.dataOffset))
            return false;
        qint64 left = entry.size;
        const auto readBlock = [this, &left](char *data, qint64 capacity) -> qint64 {
            const qint64 wanted = std::min(left, capacity);
            if (wanted == 0)
                return 0;
            // A short read of a stored entry means the package is truncated.
            const qint64 n = m_data.read(data, wanted);
            left -= n;
            return n == wanted ? n : -1;
        };
        return copyBlocks(readBlock, out, m_buffer, crc, copied);
    }

    bool copyDeflatedData(QFile &out, quint32 &crc, qint64 &copied)
    {
        QuaZipFile in(&m_zip);
        if (!in.open(QIODevice::ReadOnly))
            return false;
        const auto readBlock = [&in](char *data, qint64 capacity) {
            return in.read(data, capacity);
        };
        const bool complete = copyBlocks(readBlock, out, m_buffer, crc, copied);
        in.close();
        return complete && in.getZipError() == UNZ_OK;
    }

    bool makeDirectory(const QString &path, QString &why)
    {
        if (m_directories.contains(path))
            return true;
        if (!QDir().mkpath(path)) {
            why = QStringLiteral("cannot create the directory %1").arg(path);
            return false;
        }
        m_directories.insert(path);
        return true;
    }

    // A failed unpack leaves no file of the package behind, damaged or not.
    void removeWrittenFiles()
    {
        for (const QString &path : qAsConst(m_written))
            QFile::remove(path);
    }

    QuaZip m_zip;
    QFile m_data;
    QString m_destination;
    QString m_root;
    QByteArray m_buffer;
    QSet<QString> m_directories;
    QStringList m_written;
};

} // namespace

namespace YRPlanPackage {

bool extractPackage(const QString &package, const QString &destination, QString *error)
{
    QString why;
    PackageExtractor extractor(package, destination);
    if (extractor.extract(why))
        return true;
    qCWarning(lcOperate).noquote() << "YRPlanPackage::extractPackage" << package << why;
    if (error)
        *error = why;
    return false;
}

} // namespace YRPlanPackage
