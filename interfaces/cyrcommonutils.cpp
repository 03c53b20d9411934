#include "interfaces/cyrcommonutils.h"
#include "interfaces/storedzipwriter.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QVector>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include <algorithm>

namespace {

Q_LOGGING_CATEGORY(lcUtils, "yrdata.utils")

// Large enough that the per-call overhead of reading and hashing vanishes, small enough that
// memory stays flat however big the file is.
constexpr qint64 kStreamBlockSize = 1024 * 1024;

// Zip64 headers are written only where a size or an offset could pass the 32-bit limit, so
// that ordinary packages stay readable by every unzipper. The margin covers deflate growing
// incompressible data and the local headers.
constexpr qint64 kZip64Threshold = StoredZipWriter::kZip64Threshold;

// Upper bound of a local header and data descriptor, name bytes aside.
constexpr qint64 kLocalHeaderAllowance = 128;

constexpr int kThumbnailEdge = 120;

// Images that claim more pixels than this are refused rather than decoded: a forged header
// would otherwise make the decoder allocate gigabytes.
constexpr qint64 kMaxThumbnailSourcePixels = Q_INT64_C(128) * 1024 * 1024;

// The suffixes whose small copies the resource manager also deletes with the image.
const QStringList &thumbnailSuffixes()
{
    static const QStringList suffixes = {QStringLiteral("bmp"),  QStringLiteral("jpg"),
                                         QStringLiteral("jpeg"), QStringLiteral("png"),
                                         QStringLiteral("ico"),  QStringLiteral("cur")};
    return suffixes;
}

bool isPathSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}

bool isPlainAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

// Whether the entries of a directory can be listed and opened. Windows reports no execute
// permission on directories, so there readability alone counts.
bool isDirectoryTraversable(const QFileInfo &info)
{
#ifdef Q_OS_WIN
    return info.isReadable();
#else
    return info.isReadable() && info.isExecutable();
#endif
}

// Reads file in large blocks and hands each one to consume; false on a read error or when
// consume refuses a block.
template <typename Consumer>
bool streamFileBlocks(QFile &file, QByteArray &buffer, Consumer consume)
{
    for (;;) {
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (!consume(buffer.constData(), n))
            return false;
    }
}

// One entry of the archive: a regular file, or an empty directory written as "name/".
struct ArchiveEntry
{
    QString name;
    QString sourcePath;
    qint64 size = 0;
    bool isDirectory = false;
    QDateTime modified;
    QFileDevice::Permissions permissions;
};

// Lists the regular files (and empty directories) below dirPath as archive entries, each
// named relativePrefix + its path below dirPath. Symbolic links and special files are left out so
// that nothing outside the directory is packed; skipPath (the archive itself) is left out too.
// False when a directory cannot be listed.
bool collectArchiveEntries(const QString &dirPath, const QString &relativePrefix, bool recursive,
                           const QString &skipPath, QVector<ArchiveEntry> &entries)
{
    const QDir dir(dirPath);
    const QFileInfoList children =
        dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                          QDir::Name | QDir::DirsLast);
    for (const QFileInfo &child : children) {
        if (child.isSymLink() || child.absoluteFilePath() == skipPath)
            continue;
        const QString name = relativePrefix + child.fileName();
        if (child.isDir()) {
            if (!recursive)
                continue;
            if (!isDirectoryTraversable(child)) {
                qCWarning(lcUtils).noquote() << "CYrCommonUtils::compressDir_level"
                                             << "cannot list" << child.absoluteFilePath();
                return false;
            }
            const int before = entries.size();
            if (!collectArchiveEntries(child.absoluteFilePath(), name + QLatin1Char('/'), recursive,
                                       skipPath, entries))
                return false;
            if (entries.size() == before)
                entries.append({name + QLatin1Char('/'), child.absoluteFilePath(), 0, true,
                                child.lastModified(), child.permissions()});
        } else if (child.isFile()) {
            entries.append({name, child.absoluteFilePath(), child.size(), false,
                            child.lastModified(), child.permissions()});
        }
    }
    return true;
}

// Opens an entry's source file for reading, logging why when it cannot.
bool openEntrySource(QFile &source)
{
    if (source.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return true;
    qCWarning(lcUtils).noquote() << "CYrCommonUtils::compressDir_level"
                                 << "cannot read" << source.fileName() << source.errorString();
    return false;
}

// Writes entries into target as stored (level 0) entries; false when a source cannot be read
// in full or the archive cannot be written.
bool writeStoredArchive(QIODevice &target, const QVector<ArchiveEntry> &entries)
{
    StoredZipWriter writer;
    bool written = writer.open(&target);
    for (auto entry = entries.cbegin(); written && entry != entries.cend(); ++entry) {
        if (entry->isDirectory) {
            written = writer.addDirectory(entry->name, entry->modified, entry->permissions);
        } else {
            QFile source(entry->sourcePath);
            if (!openEntrySource(source))
                return false;
            written = writer.addFile(entry->name, source, entry->modified);
        }
    }
    if (written && writer.close())
        return true;
    qCWarning(lcUtils).noquote() << "CYrCommonUtils::compressDir_level" << writer.errorString();
    return false;
}

// Appends one entry to an archive open for writing; false when the source cannot be read in
// full or the archive refuses the data.
bool writeArchiveEntry(QuaZip &zip, const ArchiveEntry &entry, int level, bool zip64,
                       QByteArray &buffer)
{
    zip.setZip64Enabled(zip64);
    // QuaZip marks UTF-8 zip64 entries as needing zip 6.3, which Info-ZIP's unzip refuses;
    // plain ASCII names read the same in every encoding and need no flag.
    zip.setUtf8Enabled(!isPlainAscii(entry.name));
    QuaZipNewInfo info(entry.name, entry.sourcePath);
    if (entry.isDirectory) {
        QuaZipFile out(&zip);
        if (!out.open(QIODevice::WriteOnly, info, nullptr, 0, 0, 0))
            return false;
        out.close();
        return out.getZipError() == ZIP_OK;
    }

    QFile source(entry.sourcePath);
    if (!openEntrySource(source))
        return false;
    QuaZipFile out(&zip);
    if (!out.open(QIODevice::WriteOnly, info, nullptr, 0, Z_DEFLATED, level))
        return false;
    const bool copied = streamFileBlocks(
        source, buffer, [&out](const char *data, qint64 n) { return out.write(data, n) == n; });
    out.close();
    if (!copied) {
        qCWarning(lcUtils).noquote() << "CYrCommonUtils::compressDir_level"
                                     << "cannot copy" << entry.sourcePath << source.errorString()
                                     << "zip error" << out.getZipError();
        return false;
    }
    return out.getZipError() == ZIP_OK;
}

// Writes entries into target as deflated entries at level (1 to 9) through QuaZip; false when
// a source cannot be read in full or the archive cannot be written.
bool writeDeflatedArchive(QIODevice &target, const QVector<ArchiveEntry> &entries, int level)
{
    QuaZip zip(&target);
    zip.setAutoClose(false);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    QByteArray buffer(int(kStreamBlockSize), Qt::Uninitialized);
    qint64 archiveBytesBefore = 0;
    for (const ArchiveEntry &entry : entries) {
        const bool zip64 = archiveBytesBefore + entry.size >= kZip64Threshold;
        archiveBytesBefore += entry.size + kLocalHeaderAllowance + 3 * entry.name.size();
        if (!writeArchiveEntry(zip, entry, level, zip64, buffer)) {
            zip.close();
            return false;
        }
    }
    zip.close();
    return zip.getZipError() == ZIP_OK;
}

QSize thumbnailSize(const QSize &source)
{
    if (source.width() <= kThumbnailEdge && source.height() <= kThumbnailEdge)
        return source;
    QSize scaled = source.scaled(kThumbnailEdge, kThumbnailEdge, Qt::KeepAspectRatio);
    return scaled.expandedTo(QSize(1, 1));
}

} // namespace

QString CYrCommonUtils::getFileMD5(const QString &filePath)
{
    QFile file(filePath);
    if (QFileInfo(filePath).isDir() || !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Md5);
    QByteArray buffer(int(kStreamBlockSize), Qt::Uninitialized);
    const bool complete = streamFileBlocks(file, buffer, [&hash](const char *data, qint64 n) {
        hash.addData(data, int(n));
        return true;
    });
    if (!complete) {
        qCWarning(lcUtils).noquote()
            << "CYrCommonUtils::getFileMD5" << filePath << file.errorString();
        return QString();
    }
    return QString::fromLatin1(hash.result().toHex());
}

QString CYrCommonUtils::JoinPathFileName(const QString &path, const QString &fileName)
{
    if (path.isEmpty())
        return fileName;
    if (fileName.isEmpty())
        return path;
    int pathEnd = path.size();
    while (pathEnd > 0 && isPathSeparator(path.at(pathEnd - 1)))
        --pathEnd;
    int nameStart = 0;
    while (nameStart < fileName.size() && isPathSeparator(fileName.at(nameStart)))
        ++nameStart;
    return path.leftRef(pathEnd) + QLatin1Char('/') + fileName.midRef(nameStart);
}

bool CYrCommonUtils::compressDir_level(const QString &fileCompressed, const QString &dir,
                                       bool recursive, int level)
{
    const QFileInfo dirInfo(dir);
    if (!dirInfo.isDir() || !isDirectoryTraversable(dirInfo)) {
        qCWarning(lcUtils).noquote() << "CYrCommonUtils::compressDir_level"
                                     << "no readable directory" << dir;
        return false;
    }
    if (fileCompressed.isEmpty())
        return false;

    // The listing is taken before the archive is opened, so neither the archive nor its
    // temporary file can end up inside itself when it is written into dir.
    const QString archivePath = QFileInfo(fileCompressed).absoluteFilePath();
    const QString existingArchive = QFileInfo(archivePath).canonicalFilePath();
    QVector<ArchiveEntry> entries;
    if (!collectArchiveEntries(dirInfo.canonicalFilePath(), QString(), recursive,
                               existingArchive.isEmpty() ? archivePath : existingArchive, entries))
        return false;

    QSaveFile target(archivePath);
    if (!target.open(QIODevice::WriteOnly)) {
        qCWarning(lcUtils).noquote() << "CYrCommonUtils::compressDir_level"
                                     << "cannot write" << archivePath << target.errorString();
        return false;
    }
    const int boundedLevel = qBound(0, level, 9);
    const bool written = boundedLevel == 0 ? writeStoredArchive(target, entries)
                                           : writeDeflatedArchive(target, entries, boundedLevel);
    // On failure the QSaveFile discards the partial archive.
    if (!written || !target.commit()) {
        qCWarning(lcUtils).noquote() << "CYrCommonUtils::compressDir_level"
                                     << "cannot finish" << archivePath << target.errorString();
        return false;
    }
    return true;
}

bool CYrCommonUtils::copyImageTo120_120px(const QString &filePath)
{
    const QFileInfo source(filePath);
    const QString suffix = source.suffix();
    const QString format = suffix.toLower();
    if (!source.isFile() || source.completeBaseName().endsWith(QLatin1String("_small")) ||
        !thumbnailSuffixes().contains(format) ||
        !QImageReader::supportedImageFormats().contains(format.toLatin1()) ||
        !QImageWriter::supportedImageFormats().contains(format.toLatin1()))
        return false;

    QImageReader reader(filePath);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return false;
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > kMaxThumbnailSourcePixels) {
        qCWarning(lcUtils).noquote() << "CYrCommonUtils::copyImageTo120_120px"
                                     << "refused image size" << filePath << size;
        return false;
    }
    reader.setScaledSize(thumbnailSize(size));
    const QImage image = reader.read();
    if (image.isNull()) {
        qCWarning(lcUtils).noquote()
            << "CYrCommonUtils::copyImageTo120_120px" << filePath << reader.errorString();
        return false;
    }

    const QString smallPath = source.absolutePath() + QLatin1Char('/') + source.completeBaseName() +
                              QLatin1String("_small.") + suffix;
    QSaveFile out(smallPath);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&out, format.toLatin1());
    if (!writer.write(image) || !out.commit()) {
        qCWarning(lcUtils).noquote() << "CYrCommonUtils::copyImageTo120_120px" << smallPath
                                     << writer.errorString() << out.errorString();
        return false;
    }
    return true;
}
