#include "interfaces/planpackage.h"
#include "interfaces/filestream_p.h"
#include "interfaces/packagewriter_p.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLoggingCategory>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QStorageInfo>
#include <QTextCodec>
#include <QtEndian>

#include <quazip/quazip.h>
#include <quazip/unzip.h>

#include <zlib.h>

#include <algorithm>
#include <limits>

// QuaZip opens the archive and walks its central directory; the entries themselves are read
// through minizip underneath it, for what QuaZip does not hand out: the raw name bytes and
// extra fields (names written on Windows in GBK carry no UTF-8 flag, and QuaZip would decode
// them in the locale's codec), the position of each entry for reading entries out of order,
// and a deflate stream that can be stopped at the size the entry declares. Stored entries (all
// that our own packages hold) are copied straight from the package file in large blocks.
// JlCompress is never used: it turns link entries into real links and writes later entries
// through them, out of the destination.

Q_LOGGING_CATEGORY(lcPackage, "yrdata.package")

namespace YRPlanPackage {

namespace {

constexpr qint64 kBlockSize = qint64(1) << 20;
// A document larger than this is not a plan document; it is not read into memory.
constexpr qint64 kMaxDocumentSize = qint64(256) << 20;
// Free space that an unpack leaves untouched, beyond the declared sizes: file-system blocks
// and directories, and room for the rest of the system.
constexpr qint64 kFreeSpaceMargin = qint64(64) << 20;

constexpr quint16 kMethodStored = 0;
constexpr quint16 kMethodDeflated = Z_DEFLATED;
constexpr quint16 kFlagEncrypted = 1;
constexpr quint16 kFlagUtf8Name = 1 << 11;
constexpr quint16 kUnicodePathExtraTag = 0x7075;
constexpr quint32 kUnixFileTypeMask = 0170000;
constexpr quint32 kUnixSymbolicLink = 0120000;

QMutex observerMutex;
ProgressObserver progressObserver;

bool setError(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

bool isValidUtf8(const QByteArray &bytes)
{
    QTextCodec::ConverterState state;
    QTextCodec::codecForMib(106)->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

// The UTF-8 name of an Info-ZIP Unicode Path extra field, when extra holds one that was
// written for rawName (its CRC-32 matches); a null string otherwise.
QString unicodePathOf(const QByteArray &rawName, const QByteArray &extra)
{
    int at = 0;
    while (at + 4 <= extra.size()) {
        const quint16 tag = qFromLittleEndian<quint16>(extra.constData() + at);
        const quint16 size = qFromLittleEndian<quint16>(extra.constData() + at + 2);
        const int data = at + 4;
        if (data + size > extra.size())
            break;
        if (tag == kUnicodePathExtraTag && size >= 5 && extra.at(data) == 1) {
            const quint32 nameCrc = qFromLittleEndian<quint32>(extra.constData() + data + 1);
            const auto crc = quint32(
                crc32_z(0, reinterpret_cast<const Bytef *>(rawName.constData()), rawName.size()));
            if (crc == nameCrc)
                return QString::fromUtf8(extra.constData() + data + 5, size - 5);
        }
        at = data + size;
    }
    return QString();
}

// Names marked UTF-8 or declared in a Unicode Path field are taken as such; otherwise valid
// UTF-8 is taken as UTF-8, and anything else was written in a Chinese Windows code page.
QString decodedEntryName(const QByteArray &rawName, quint16 flags, const QByteArray &extra)
{
    if (flags & kFlagUtf8Name)
        return QString::fromUtf8(rawName);
    QString unicodePath = unicodePathOf(rawName, extra);
    if (!unicodePath.isNull())
        return unicodePath;
    if (isValidUtf8(rawName))
        return QString::fromUtf8(rawName);
    return QTextCodec::codecForName("GB18030")->toUnicode(rawName);
}

// Why an entry name must not be unpacked below a destination; empty when it may.
QString unsafeNameReason(const QString &name)
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

void reportProgress(qint64 done, qint64 total)
{
    ProgressObserver observer;
    {
        QMutexLocker locker(&observerMutex);
        observer = progressObserver;
    }
    if (observer)
        observer(done, total);
}

} // namespace

// What the reader knows of one entry beyond what it hands out.
struct StoredEntry
{
    quint16 method = kMethodStored;
    quint32 crc = 0;
    unz64_file_pos position{};
};

class PackageReader::Private
{
public:
    explicit Private(const QString &package) : zip(package), data(package) {}

    bool readCentralDirectory(QString *error);
    void checkEntries();
    void readDocument();
    bool openEntry(int index, QString *error);
    qint64 storedDataOffset();
    bool copyEntry(int index, const std::function<bool(const char *, qint64)> &consume,
                   QString *error);
    bool fitsFreeSpace(const QString &destination, QString *error) const;

    QuaZip zip;
    QFile data;
    QVector<PackageEntry> entries;
    QVector<StoredEntry> stored;
    QStringList refusals;
    QByteArray document;
    QByteArray buffer;
};

bool PackageReader::Private::readCentralDirectory(QString *error)
{
    if (!zip.open(QuaZip::mdUnzip))
        return setError(
            error,
            QStringLiteral("not a readable zip archive (zip error %1)").arg(zip.getZipError()));
    if (!data.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return setError(error,
                        QStringLiteral("cannot read the package: %1").arg(data.errorString()));
    unzFile handle = zip.getUnzFile();
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(handle, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            return setError(error, QStringLiteral("cannot read entry %1").arg(entries.size()));
        QByteArray rawName(int(info.size_filename), Qt::Uninitialized);
        QByteArray extra(int(info.size_file_extra), Qt::Uninitialized);
        StoredEntry where;
        if (unzGetCurrentFileInfo64(handle, &info, rawName.data(), rawName.size(), extra.data(),
                                    extra.size(), nullptr, 0) != UNZ_OK ||
            unzGetFilePos64(handle, &where.position) != UNZ_OK)
            return setError(error, QStringLiteral("cannot read entry %1").arg(entries.size()));

        PackageEntry entry;
        entry.name = decodedEntryName(rawName, quint16(info.flag), extra);
        entry.isDirectory = entry.name.endsWith(QLatin1Char('/'));
        entry.size = info.uncompressed_size > quint64(std::numeric_limits<qint64>::max())
                         ? std::numeric_limits<qint64>::max()
                         : qint64(info.uncompressed_size);
        if (((info.external_fa >> 16) & kUnixFileTypeMask) == kUnixSymbolicLink)
            entry.refusal = QStringLiteral("is a symbolic link");
        else if (!unsafeNameReason(entry.name).isEmpty())
            entry.refusal = QStringLiteral("has ") + unsafeNameReason(entry.name);
        else if (!entry.isDirectory && (info.flag & kFlagEncrypted))
            entry.refusal = QStringLiteral("is encrypted");
        else if (!entry.isDirectory && info.compression_method != kMethodStored &&
                 info.compression_method != kMethodDeflated)
            entry.refusal =
                QStringLiteral("uses compression method %1").arg(info.compression_method);
        else if (info.compression_method == kMethodStored &&
                 info.compressed_size != info.uncompressed_size)
            entry.refusal = QStringLiteral("is stored with two different sizes");
        where.method = quint16(info.compression_method);
        where.crc = quint32(info.crc);
        entries.append(entry);
        stored.append(where);
    }
    if (zip.getZipError() != UNZ_OK)
        return setError(error, QStringLiteral("cannot read the central directory (zip error %1)")
                                   .arg(zip.getZipError()));
    return true;
}

// Names are compared once cleaned: "a/./b" and "a/b" are the same file, and a file cannot
// also be a directory that later entries are written into.
void PackageReader::Private::checkEntries()
{
    QSet<QString> seen;
    QSet<QString> files;
    for (PackageEntry &entry : entries) {
        if (!entry.refusal.isEmpty())
            continue;
        const QString path = QDir::cleanPath(entry.name);
        if (seen.contains(path)) {
            entry.refusal = QStringLiteral("is a second entry of the same name");
            continue;
        }
        seen.insert(path);
        if (!entry.isDirectory)
            files.insert(path);
    }
    for (PackageEntry &entry : entries) {
        if (!entry.refusal.isEmpty())
            continue;
        const QString path = QDir::cleanPath(entry.name);
        for (int slash = path.indexOf(QLatin1Char('/')); slash > 0;
             slash = path.indexOf(QLatin1Char('/'), slash + 1)) {
            if (files.contains(path.left(slash))) {
                entry.refusal =
                    QStringLiteral("lies below the file entry \"%1\"").arg(path.left(slash));
                break;
            }
        }
        if (entry.refusal.isEmpty())
            entry.path = path;
    }
    for (const PackageEntry &entry : qAsConst(entries)) {
        if (!entry.refusal.isEmpty())
            refusals << QStringLiteral("entry \"%1\" %2").arg(entry.name, entry.refusal);
    }
}

void PackageReader::Private::readDocument()
{
    const auto isDocument = [](const PackageEntry &entry) {
        return !entry.isDirectory && entry.path == documentName();
    };
    const auto found = std::find_if(entries.cbegin(), entries.cend(), isDocument);
    if (found == entries.cend()) {
        refusals << QStringLiteral("no %1 at the top of the package").arg(documentName());
        return;
    }
    if (found->size > kMaxDocumentSize) {
        refusals << QStringLiteral("%1 declares %2 bytes, too large for a plan document")
                        .arg(documentName())
                        .arg(found->size);
        return;
    }
    QByteArray text;
    QString why;
    const bool read = copyEntry(
        int(found - entries.cbegin()),
        [&text](const char *block, qint64 n) {
            text.append(block, int(n));
            return true;
        },
        &why);
    if (!read) {
        refusals << QStringLiteral("%1 cannot be read: %2").arg(documentName(), why);
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument parsed = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError || !parsed.isObject()) {
        refusals << QStringLiteral("%1 is not a JSON object").arg(documentName());
        return;
    }
    document = text;
}

// Makes entries()[index] the archive's current entry, its local header checked.
bool PackageReader::Private::openEntry(int index, QString *error)
{
    unzFile handle = zip.getUnzFile();
    if (unzGoToFilePos64(handle, &stored[index].position) != UNZ_OK)
        return setError(error, QStringLiteral("cannot find the entry in the package"));
    return true;
}

// Where the data of the current entry starts, past its local header, which minizip checks
// against the central record; -1 when the local header is unreadable or does not match.
qint64 PackageReader::Private::storedDataOffset()
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

bool PackageReader::Private::copyEntry(int index,
                                       const std::function<bool(const char *, qint64)> &consume,
                                       QString *error)
{
    const PackageEntry &entry = entries.at(index);
    if (!entry.refusal.isEmpty())
        return setError(error, entry.refusal);
    if (entry.isDirectory)
        return true;
    if (!openEntry(index, error))
        return false;
    if (buffer.isEmpty())
        buffer = QByteArray(int(kBlockSize), Qt::Uninitialized);

    quint32 crc = quint32(crc32_z(0, nullptr, 0));
    qint64 left = entry.size;
    const auto pass = [&](qint64 n) {
        crc = quint32(crc32_z(crc, reinterpret_cast<const Bytef *>(buffer.constData()), size_t(n)));
        left -= n;
        return consume(buffer.constData(), n);
    };
    if (stored.at(index).method == kMethodStored) {
        const qint64 offset = storedDataOffset();
        if (offset < 0 || offset > data.size() - entry.size || !data.seek(offset))
            return setError(error, QStringLiteral("its data lies outside the package"));
        while (left > 0) {
            const qint64 n = data.read(buffer.data(), std::min(left, kBlockSize));
            if (n <= 0)
                return setError(error, QStringLiteral("the package is truncated"));
            if (!pass(n))
                return setError(error, QStringLiteral("cannot pass its data on"));
        }
    } else {
        unzFile handle = zip.getUnzFile();
        if (unzOpenCurrentFile(handle) != UNZ_OK)
            return setError(error, QStringLiteral("cannot open its data"));
        // minizip inflates no further than the size the entry declares: a stream that would
        // expand beyond it (a zip bomb) ends there and fails the size and CRC-32 check below.
        for (;;) {
            const int n =
                unzReadCurrentFile(handle, buffer.data(), unsigned(std::min(left, kBlockSize)));
            if (n < 0) {
                unzCloseCurrentFile(handle);
                return setError(error, QStringLiteral("its data is damaged (zip error %1)").arg(n));
            }
            if (n == 0)
                break;
            if (!pass(n)) {
                unzCloseCurrentFile(handle);
                return setError(error, QStringLiteral("cannot pass its data on"));
            }
        }
        unzCloseCurrentFile(handle);
    }
    if (left != 0 || crc != stored.at(index).crc)
        return setError(error, QStringLiteral("its data does not match its declared size and "
                                              "CRC-32"));
    return true;
}

bool PackageReader::Private::fitsFreeSpace(const QString &destination, QString *error) const
{
    QString existing = QFileInfo(destination).absoluteFilePath();
    while (!QFileInfo::exists(existing) && QFileInfo(existing).absolutePath() != existing)
        existing = QFileInfo(existing).absolutePath();
    const qint64 available = QStorageInfo(existing).bytesAvailable();
    qint64 needed = kFreeSpaceMargin;
    for (const PackageEntry &entry : entries)
        needed = entry.size > std::numeric_limits<qint64>::max() - needed
                     ? std::numeric_limits<qint64>::max()
                     : needed + entry.size;
    if (available < 0 || needed <= available)
        return true;
    return setError(error, QStringLiteral("it needs %1 bytes and %2 has only %3 free")
                               .arg(needed)
                               .arg(existing)
                               .arg(available));
}

PackageReader::PackageReader(const QString &package) : d(std::make_unique<Private>(package)) {}

PackageReader::~PackageReader() = default;

bool PackageReader::open(QString *error)
{
    if (!d->readCentralDirectory(error))
        return false;
    d->checkEntries();
    d->readDocument();
    return true;
}

const QVector<PackageEntry> &PackageReader::entries() const
{
    return d->entries;
}

QStringList PackageReader::refusals() const
{
    return d->refusals;
}

QByteArray PackageReader::document() const
{
    return d->document;
}

qint64 PackageReader::totalSize() const
{
    qint64 total = 0;
    for (const PackageEntry &entry : d->entries)
        total += entry.size;
    return total;
}

bool PackageReader::readEntry(int index, const std::function<bool(const char *, qint64)> &consume,
                              QString *error)
{
    if (index < 0 || index >= d->entries.size())
        return setError(error, QStringLiteral("no entry %1").arg(index));
    QString why;
    if (d->copyEntry(index, consume, &why))
        return true;
    return setError(error, QStringLiteral("entry \"%1\": %2").arg(d->entries.at(index).name, why));
}

bool PackageReader::extractTo(const QString &destination, QString *error)
{
    if (!d->refusals.isEmpty())
        return setError(error, d->refusals.first());
    if (!d->fitsFreeSpace(destination, error))
        return false;
    const QString root = QDir(destination).absolutePath();
    if (!QDir().mkpath(root))
        return setError(error, QStringLiteral("cannot create the directory %1").arg(root));

    QStringList written;
    const auto removeWritten = [&written] {
        for (const QString &path : qAsConst(written))
            QFile::remove(path);
    };
    const qint64 total = totalSize();
    qint64 done = 0;
    for (int i = 0; i < d->entries.size(); ++i) {
        const PackageEntry &entry = d->entries.at(i);
        const QString target = root + QLatin1Char('/') + entry.path;
        const QString directory = entry.isDirectory ? target : QFileInfo(target).path();
        if (!QDir().mkpath(directory)) {
            removeWritten();
            return setError(error, QStringLiteral("cannot create the directory %1").arg(directory));
        }
        if (entry.isDirectory)
            continue;
        QFile out(target);
        written << target;
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
            removeWritten();
            return setError(error,
                            QStringLiteral("cannot write %1: %2").arg(target, out.errorString()));
        }
        QString why;
        const bool copied = d->copyEntry(
            i,
            [&](const char *block, qint64 n) {
                if (out.write(block, n) != n)
                    return false;
                done += n;
                reportProgress(done, total);
                return true;
            },
            &why);
        out.close(); // some file systems report a failed write only here
        if (!copied || out.error() != QFileDevice::NoError) {
            removeWritten();
            return setError(error, QStringLiteral("entry \"%1\": %2")
                                       .arg(entry.name, out.error() != QFileDevice::NoError
                                                            ? out.errorString()
                                                            : why));
        }
    }
    return true;
}

QString documentName()
{
    return QStringLiteral("teachpkg.json");
}

bool extractPackage(const QString &package, const QString &destination, QString *error)
{
    QString why;
    PackageReader reader(package);
    if (reader.open(&why) && reader.extractTo(destination, &why))
        return true;
    qCWarning(lcPackage).noquote() << "YRPlanPackage::extractPackage" << package << why;
    return setError(error, why);
}

bool isPackageOutput(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (path.isEmpty())
        return setError(error, QStringLiteral("no file name for the package"));
    if (!info.exists()) {
        if (info.isSymLink())
            return setError(error, QStringLiteral("%1 is a link to nothing").arg(path));
        if (!QFileInfo(info.absolutePath()).isDir())
            return setError(error,
                            QStringLiteral("no such directory: %1").arg(info.absolutePath()));
        return true;
    }
    if (info.isDir())
        return setError(error, QStringLiteral("%1 is a directory").arg(path));
    if (!YRFileStream::isRegularFile(path))
        return setError(error, QStringLiteral("%1 is not a regular file").arg(path));
    return true;
}

bool packPlan(const QString &package, const QString &planDirectory, QString *error)
{
    const QFileInfo document(planDirectory + QLatin1Char('/') + documentName());
    if (document.isSymLink())
        return setError(error, QStringLiteral("%1 is a link: a plan's document must be a file "
                                              "of its own")
                                   .arg(document.filePath()));
    if (!document.isFile())
        return setError(error, QStringLiteral("no %1 in %2").arg(documentName(), planDirectory));
    return YRPackageWriter::writeDirectoryArchive(package, planDirectory, true, 0, error);
}

void setProgressObserver(ProgressObserver observer)
{
    QMutexLocker locker(&observerMutex);
    progressObserver = std::move(observer);
}

void reportPackageProgress(qint64 done, qint64 total)
{
    reportProgress(done, total);
}

} // namespace YRPlanPackage
