#include "interfaces/planpackage.h"
#include "interfaces/filestream_p.h"
#include "interfaces/packagewriter_p.h"
#include "interfaces/zipreader_p.h"

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

#include <zlib.h>

#include <algorithm>
#include <limits>

// Every entry is read through ZipReader (see there why not through QuaZip) and checked before
// the first byte of the package is written: names that leave the destination, links, two
// entries of one name, a file used as a folder, an unusable document, and sizes that do not
// fit the destination all refuse the whole package.

Q_LOGGING_CATEGORY(lcPackage, "yrdata.package")

namespace YRPlanPackage {

namespace {

// A document larger than this is not a plan document; it is not read into memory.
constexpr qint64 kMaxDocumentSize = qint64(256) << 20;
// Free space that an unpack leaves untouched, beyond the declared sizes: file-system blocks
// and directories, and room for the rest of the system.
constexpr qint64 kFreeSpaceMargin = qint64(64) << 20;

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
    if (flags & ZipReader::kFlagUtf8Name)
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

class PackageReader::Private
{
public:
    explicit Private(const QString &package) : zip(package) {}

    bool readCentralDirectory(QString *error);
    void checkEntries();
    void readDocument();
    bool copyEntry(int index, const std::function<bool(const char *, qint64)> &consume,
                   QString *error);
    bool fitsFreeSpace(const QString &destination, QString *error) const;

    ZipReader zip;
    QVector<PackageEntry> entries;
    QStringList refusals;
    QByteArray document;
};

bool PackageReader::Private::readCentralDirectory(QString *error)
{
    QString why;
    if (!zip.open(&why))
        return setError(error, QStringLiteral("not a readable zip archive: %1").arg(why));
    for (const ZipReader::Entry &stored : zip.entries()) {
        PackageEntry entry;
        entry.name = decodedEntryName(stored.rawName, stored.flags, stored.extra);
        entry.isDirectory = entry.name.endsWith(QLatin1Char('/'));
        entry.size = stored.uncompressedSize > quint64(std::numeric_limits<qint64>::max())
                         ? std::numeric_limits<qint64>::max()
                         : qint64(stored.uncompressedSize);
        if (((stored.externalAttributes >> 16) & kUnixFileTypeMask) == kUnixSymbolicLink)
            entry.refusal = QStringLiteral("is a symbolic link");
        else if (!unsafeNameReason(entry.name).isEmpty())
            entry.refusal = QStringLiteral("has ") + unsafeNameReason(entry.name);
        else if (!entry.isDirectory && (stored.flags & ZipReader::kFlagEncrypted))
            entry.refusal = QStringLiteral("is encrypted");
        else if (!entry.isDirectory && stored.method != ZipReader::kMethodStored &&
                 stored.method != ZipReader::kMethodDeflated)
            entry.refusal = QStringLiteral("uses compression method %1").arg(stored.method);
        else if (stored.method == ZipReader::kMethodStored &&
                 stored.compressedSize != stored.uncompressedSize)
            entry.refusal = QStringLiteral("is stored with two different sizes");
        entries.append(entry);
    }
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

bool PackageReader::Private::copyEntry(int index,
                                       const std::function<bool(const char *, qint64)> &consume,
                                       QString *error)
{
    const PackageEntry &entry = entries.at(index);
    if (!entry.refusal.isEmpty())
        return setError(error, entry.refusal);
    if (entry.isDirectory)
        return true;
    return zip.read(zip.entries().at(index), consume, error);
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
