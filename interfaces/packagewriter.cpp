#include "interfaces/packagewriter_p.h"

#include "interfaces/filestream_p.h"
#include "interfaces/planpackage.h"
#include "interfaces/zipwriter_p.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QVector>

namespace YRPackageWriter {

namespace {

bool setError(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
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
// named relativePrefix + its path below dirPath; skipPath (the archive itself) is left out.
// False, with *error naming it, at a symbolic link, a special file or a directory that
// cannot be listed.
bool collectArchiveEntries(const QString &dirPath, const QString &relativePrefix, bool recursive,
                           const QString &skipPath, QVector<ArchiveEntry> &entries, QString *error)
{
    const QDir dir(dirPath);
    const QFileInfoList children = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::Hidden |
                                                         QDir::System | QDir::NoDotAndDotDot,
                                                     QDir::Name | QDir::DirsLast);
    for (const QFileInfo &child : children) {
        if (child.absoluteFilePath() == skipPath)
            continue;
        const QString name = relativePrefix + child.fileName();
        if (child.isSymLink())
            return setError(error, QStringLiteral("%1 is a symbolic link, which a package cannot "
                                                  "hold")
                                       .arg(child.absoluteFilePath()));
        if (child.isDir()) {
            if (!recursive)
                continue;
            if (!isDirectoryTraversable(child))
                return setError(error,
                                QStringLiteral("cannot list %1").arg(child.absoluteFilePath()));
            const int before = entries.size();
            if (!collectArchiveEntries(child.absoluteFilePath(), name + QLatin1Char('/'), recursive,
                                       skipPath, entries, error))
                return false;
            if (entries.size() == before)
                entries.append({name + QLatin1Char('/'), child.absoluteFilePath(), 0, true,
                                child.lastModified(), child.permissions()});
        } else if (YRFileStream::isRegularFile(child.absoluteFilePath())) {
            entries.append({name, child.absoluteFilePath(), child.size(), false,
                            child.lastModified(), child.permissions()});
        } else {
            return setError(error, QStringLiteral("%1 is not a regular file, which a package "
                                                  "cannot hold")
                                       .arg(child.absoluteFilePath()));
        }
    }
    return true;
}

bool openEntrySource(QFile &source, QString *error)
{
    if (source.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return true;
    return setError(
        error, QStringLiteral("cannot read %1: %2").arg(source.fileName(), source.errorString()));
}

qint64 totalSizeOf(const QVector<ArchiveEntry> &entries)
{
    qint64 total = 0;
    for (const ArchiveEntry &entry : entries)
        total += entry.size;
    return total;
}

// Writes entries into target, stored for level 0, deflated at level 1 to 9.
bool writeArchive(QIODevice &target, const QVector<ArchiveEntry> &entries, int level,
                  QString *error)
{
    ZipWriter writer;
    const qint64 total = totalSizeOf(entries);
    writer.setProgressHandler(
        [total](qint64 done) { YRPlanPackage::reportPackageProgress(done, total); });
    bool written = writer.open(&target);
    for (auto entry = entries.cbegin(); written && entry != entries.cend(); ++entry) {
        if (entry->isDirectory) {
            written = writer.addDirectory(entry->name, entry->modified, entry->permissions);
        } else {
            QFile source(entry->sourcePath);
            if (!openEntrySource(source, error))
                return false;
            written = writer.addFile(entry->name, source, entry->modified, level);
        }
    }
    if (written && writer.close())
        return true;
    return setError(error, writer.errorString());
}

} // namespace

bool writeDirectoryArchive(const QString &archivePath, const QString &dir, bool recursive,
                           int level, QString *error)
{
    const QFileInfo dirInfo(dir);
    if (!dirInfo.isDir() || !isDirectoryTraversable(dirInfo))
        return setError(error, QStringLiteral("no readable directory %1").arg(dir));
    if (!YRPlanPackage::isPackageOutput(archivePath, error))
        return false;

    // The listing is taken before the archive is opened, so neither the archive nor its
    // temporary file can end up inside itself when it is written into dir.
    const QString absolutePath = QFileInfo(archivePath).absoluteFilePath();
    const QString existingArchive = QFileInfo(absolutePath).canonicalFilePath();
    QVector<ArchiveEntry> entries;
    if (!collectArchiveEntries(dirInfo.canonicalFilePath(), QString(), recursive,
                               existingArchive.isEmpty() ? absolutePath : existingArchive, entries,
                               error))
        return false;

    QSaveFile target(absolutePath);
    if (!target.open(QIODevice::WriteOnly))
        return setError(
            error, QStringLiteral("cannot write %1: %2").arg(absolutePath, target.errorString()));
    // On failure the QSaveFile discards the partial archive.
    if (!writeArchive(target, entries, qBound(0, level, 9), error))
        return false;
    if (!target.commit())
        return setError(
            error, QStringLiteral("cannot finish %1: %2").arg(absolutePath, target.errorString()));
    return true;
}

} // namespace YRPackageWriter
