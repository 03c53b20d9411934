#include "resourcemanage/yrresourcemanage.h"

#include "interfaces/cyrcommonutils.h"
#include "plandata/planpaths.h"
#include "resourcemanage/resourcelog_p.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonDocument>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

Q_LOGGING_CATEGORY(lcResource, "yrdata.resource")

namespace {

const QLatin1String kCheckMark("YRResourceManage");
const QLatin1String kDocumentName("teachpkg.json");

// Resubmission delays of a failing upload: 1 s, doubled at each failure, at most 60 s.
const int kFirstUploadRetryMs = 1000;
const int kLongestUploadRetryMs = 60000;

// The copy of an upload record that the lists keep: the upload-only keys left out.
QJsonObject uploadListCopy(const QJsonObject &record)
{
    QJsonObject copy = record;
    for (const char *key : {"replace", "bucketName", "localPath_temp", "remotePath"})
        copy.remove(QLatin1String(key));
    return copy;
}

int uploadRetryDelayMs(int failures)
{
    const int doublings = qBound(0, failures - 1, 6);
    return qMin(kFirstUploadRetryMs << doublings, kLongestUploadRetryMs);
}

} // namespace

// Whether a local copy may stand for the download: offline it is taken unchecked, online only
// when its MD5 is the one the plan recorded.
bool YRResourceManage::localCopyIsCurrent(const QFileInfo &target, const QJsonObject &record)
{
    if (!target.isFile() || !record.contains(QLatin1String("fileMD5")))
        return false;
    if (!m_netWorkState)
        return true;
    return fileDigest(target) == record.value(QLatin1String("fileMD5")).toString();
}

void YRResourceManage::prepareLocalCopies(const QVector<QJsonObject> &records)
{
    if (!m_netWorkState)
        return;
    struct Job
    {
        QString path;
        qint64 size;
        qint64 modified;
        QString md5;
    };
    std::vector<Job> jobs;
    QSet<QString> seen;
    for (const QJsonObject &record : records) {
        if (!record.contains(QLatin1String("fileMD5")))
            continue;
        const QFileInfo file(recordDest(record));
        const QString path = file.absoluteFilePath();
        if (!file.isFile() || seen.contains(path))
            continue;
        seen.insert(path);
        const qint64 modified = file.lastModified().toMSecsSinceEpoch();
        const auto known = m_digests.constFind(path);
        if (known == m_digests.cend() || known->size != file.size() || known->modified != modified)
            jobs.push_back(Job{path, file.size(), modified, QString()});
    }
    // Hashing is what opening a plan of many present files costs: it is spread over the
    // cores, each thread taking the next file until none is left.
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i = next++; i < jobs.size(); i = next++)
            jobs[i].md5 = CYrCommonUtils::getFileMD5(jobs[i].path);
    };
    const int threads = qBound(1, QThread::idealThreadCount(), 8);
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads && size_t(t) < jobs.size(); ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread &helper : helpers)
        helper.join();
    for (const Job &job : jobs)
        m_digests.insert(job.path, FileDigest{job.size, job.modified, job.md5});
}

QString YRResourceManage::fileDigest(const QFileInfo &file)
{
    // As sync clients do: a file whose size and modification time are unchanged since it was
    // last hashed keeps its MD5, so a plan opened again is not read through once more.
    const QString path = file.absoluteFilePath();
    const qint64 size = file.size();
    const qint64 modified = file.lastModified().toMSecsSinceEpoch();
    const auto known = m_digests.constFind(path);
    if (known != m_digests.cend() && known->size == size && known->modified == modified)
        return known->md5;
    QString md5 = CYrCommonUtils::getFileMD5(path);
    m_digests.insert(path, FileDigest{size, modified, md5});
    return md5;
}

// ---- TransferList ----

quint64 YRResourceManage::TransferList::nextRevision()
{
    static std::atomic<quint64> last{0};
    return ++last;
}

void YRResourceManage::TransferList::append(const TransferEntry &entry)
{
    m_revision = nextRevision();
    const quint64 serial = m_nextSerial++;
    m_entries.insert(serial, entry);
    const QString dest = recordDest(entry.record);
    if (!dest.isEmpty())
        m_serialsByDest[dest].append(serial);
}

void YRResourceManage::TransferList::unindex(quint64 serial, const QJsonObject &record)
{
    // Every removal passes here.
    m_revision = nextRevision();
    const QString dest = recordDest(record);
    auto it = m_serialsByDest.find(dest);
    if (it == m_serialsByDest.end())
        return;
    it->removeOne(serial);
    if (it->isEmpty())
        m_serialsByDest.erase(it);
}

bool YRResourceManage::TransferList::takeFirstWithDest(const QString &dest, TransferEntry *entry)
{
    const auto found = m_serialsByDest.constFind(dest);
    if (dest.isEmpty() || found == m_serialsByDest.constEnd())
        return false;
    // Serials grow with every append, so the first one is the earliest entry.
    const quint64 serial = found->first();
    *entry = m_entries.take(serial);
    unindex(serial, entry->record);
    return true;
}

QVector<YRResourceManage::TransferEntry>
YRResourceManage::TransferList::takeAllWithDest(const QString &dest)
{
    QVector<TransferEntry> taken;
    TransferEntry entry;
    while (takeFirstWithDest(dest, &entry))
        taken.append(entry);
    return taken;
}

QVector<YRResourceManage::TransferEntry> YRResourceManage::TransferList::takeAll()
{
    const QVector<TransferEntry> taken = entries();
    m_revision = nextRevision();
    m_entries.clear();
    m_serialsByDest.clear();
    return taken;
}

QVector<YRResourceManage::TransferEntry> YRResourceManage::TransferList::entries() const
{
    QVector<TransferEntry> all;
    all.reserve(m_entries.size());
    for (const TransferEntry &entry : m_entries)
        all.append(entry);
    return all;
}

// ---- construction and the network manager's objects ----

YRResourceManage::YRResourceManage(IYRNetWorkManager *net, QObject *parent)
    : QObject(parent), m_netWorkManager(net), m_watcher(new QFileSystemWatcher(this))
{
    connectNetWorkObjects();
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this,
            &YRResourceManage::slotDirectoryChanged);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &YRResourceManage::slotFileChanged);
    if (IYRNetWorkCheck *check = networkCheck())
        check->checkNetWork(kCheckMark);
}

YRResourceManage::~YRResourceManage() = default;

void YRResourceManage::connectNetWorkObjects()
{
    if (networkCheck()) {
        QObject *check = m_netWorkManager->getNetWorkObject();
        connect(check, SIGNAL(sglNetWorkState(bool)), this, SLOT(slotNetWorkState(bool)));
        connect(check, SIGNAL(sglResultNetWorkCheck(bool, QString)), this,
                SLOT(slotResultNetWorkCheck(bool, QString)));
    }
    if (transfer()) {
        QObject *files = m_netWorkManager->getTransferObject();
        connect(files, SIGNAL(signalDownloadStart(bool, QJsonObject)), this,
                SLOT(slotDownloadStarted(bool, QJsonObject)));
        connect(files, SIGNAL(signalDownloadFinished(bool, QJsonObject)), this,
                SLOT(slotDownloadFinished(bool, QJsonObject)));
        connect(files, SIGNAL(signalDownloadProgress(QJsonObject, int, QString)), this,
                SLOT(slotDownloadProgress(QJsonObject, int, QString)));
        connect(files, SIGNAL(signalDownloadQueueEmpty(bool)), this,
                SLOT(slotDownloadQueueEmpty(bool)));
        connect(files, SIGNAL(signalUploadFinished(int, QJsonObject)), this,
                SLOT(slotUploadFinished(int, QJsonObject)));
        connect(files, SIGNAL(signalAvatarquit(QNetworkReply::NetworkError)), this,
                SLOT(slotAvatarquit(QNetworkReply::NetworkError)));
        connect(files, SIGNAL(signalAvatarData(QPixmap &)), this, SLOT(slotAvatarData(QPixmap &)));
    }
}

IYRNetWorkCheck *YRResourceManage::networkCheck()
{
    QObject *object = m_netWorkManager ? m_netWorkManager->getNetWorkObject() : nullptr;
    auto *check = qobject_cast<IYRNetWorkCheck *>(object);
    if (!check && !m_warnedNetWorkCheck) {
        m_warnedNetWorkCheck = true;
        qCWarning(lcResource).noquote()
            << "YRResourceManage::networkCheck"
            << "no usable network-check object: network checks are skipped";
    }
    return check;
}

IYRFileTransfer *YRResourceManage::transfer()
{
    QObject *object = m_netWorkManager ? m_netWorkManager->getTransferObject() : nullptr;
    auto *files = qobject_cast<IYRFileTransfer *>(object);
    if (!files && !m_warnedTransfer) {
        m_warnedTransfer = true;
        qCWarning(lcResource).noquote() << "YRResourceManage::transfer"
                                        << "no usable transfer object: nothing is transferred";
    }
    return files;
}

// ---- the lists ----

void YRResourceManage::addDownloading(const QJsonObject &record)
{
    const QString dest = recordDest(record);
    m_presentFiles.takeAllWithDest(dest);
    m_failedFiles.takeAllWithDest(dest);
    m_downloadingFiles.append({record, QJsonObject()});
}

void YRResourceManage::addUploading(const QJsonObject &listed, const QJsonObject &sent)
{
    const QString dest = recordDest(listed);
    m_presentFiles.takeAllWithDest(dest);
    m_failedFiles.takeAllWithDest(dest);
    m_uploadingFiles.append({listed, sent});
}

void YRResourceManage::addPresent(const QJsonObject &record)
{
    m_failedFiles.takeAllWithDest(recordDest(record));
    m_presentFiles.append({record, QJsonObject()});
}

void YRResourceManage::addFailed(const QJsonObject &record)
{
    m_presentFiles.takeAllWithDest(recordDest(record));
    m_failedFiles.append({record, QJsonObject()});
}

void YRResourceManage::watchFile(const QString &absolutePath)
{
    // The watcher skips a path it already holds; asking it first would only scan its list
    // twice, which on a plan of thousands of files is most of the cost of opening it.
    if (!absolutePath.isEmpty())
        m_watcher->addPath(absolutePath);
}

void YRResourceManage::unwatchFile(const QString &path)
{
    if (!path.isEmpty())
        m_watcher->removePath(path);
}

// ---- downloads ----

bool YRResourceManage::downloadFileFromCloud(QJsonObject &record, bool hasUrl)
{
    if (!hasUrl)
        record.insert(QStringLiteral("url"), getFullUrl(record));
    const QString target = recordDest(record);
    if (target.isEmpty()) {
        qCWarning(lcResource).noquote()
            << "YRResourceManage::downloadFileFromCloud"
            << "record without a \"dest\" text refused" << recordText(record);
        return false;
    }
    const QFileInfo targetInfo(target);
    if (localCopyIsCurrent(targetInfo, record)) {
        addPresent(record);
        watchFile(targetInfo.absoluteFilePath());
        slotDownloadProgress(record, 100, record.value(QLatin1String("fileType")).toString());
        return true;
    }
    QDir().mkpath(targetInfo.absolutePath());
    addDownloading(record);
    qCDebug(lcResource).noquote() << "YRResourceManage::downloadFileFromCloud"
                                  << recordText(record);
    if (IYRFileTransfer *files = transfer())
        files->downloadFile(record);
    return true;
}

void YRResourceManage::slotDownloadStarted(bool bSucceed, const QJsonObject &info)
{
    emit signalDownloadStart(bSucceed, info);
}

void YRResourceManage::slotDownloadFinished(bool bSucceed, const QJsonObject &info)
{
    qCDebug(lcResource).noquote() << "YRResourceManage::downloadFinished" << bSucceed
                                  << recordText(info);
    const QString target = recordDest(info);
    if (target.isEmpty()) {
        qCWarning(lcResource).noquote() << "YRResourceManage::downloadFinished"
                                        << "answer without a \"dest\" text dropped";
        return;
    }
    const QVector<TransferEntry> matched = m_downloadingFiles.takeAllWithDest(target);
    if (bSucceed) {
        // Only a target that we asked for: the answer alone never names a file to write.
        if (!matched.isEmpty())
            CYrCommonUtils::copyImageTo120_120px(target);
        const QString watched = QFileInfo(target).absoluteFilePath();
        for (const TransferEntry &entry : matched) {
            addPresent(entry.record);
            watchFile(watched);
        }
    } else {
        const bool targetExists = QFileInfo(target).isFile();
        const bool signedIn = !YRPlanPaths::signedInUserId().isEmpty();
        for (const TransferEntry &entry : matched) {
            if (!targetExists)
                addFailed(entry.record);
            else if (!signedIn)
                addPresent(entry.record);
            else
                emit signalFileUpadated(entry.record);
        }
    }
    emit signalDownloadFinished(bSucceed, info);
}

void YRResourceManage::slotDownloadProgress(const QJsonObject &info, int iProgress,
                                            const QString &downloadType)
{
    emit signalDownloadProgress(info, iProgress, downloadType);
}

void YRResourceManage::slotDownloadQueueEmpty(bool bIsEmpty)
{
    emit signalDownloadQueueEmpty(bIsEmpty);
}

void YRResourceManage::resubmitDownloads()
{
    for (const TransferEntry &entry : m_failedFiles.takeAll())
        m_downloadingFiles.append(entry);
    IYRFileTransfer *files = transfer();
    if (!files)
        return;
    for (const TransferEntry &entry : m_downloadingFiles.entries())
        files->downloadFile(entry.record);
}

void YRResourceManage::reDownloadFile()
{
    resubmitDownloads();
}

bool YRResourceManage::appendDownloadedFile(QJsonObject &record)
{
    addPresent(record);
    return true;
}

bool YRResourceManage::hasDownloadingFile()
{
    return !m_downloadingFiles.isEmpty();
}

bool YRResourceManage::startDownloadFiles()
{
    return false;
}

bool YRResourceManage::stopDownloadFiles()
{
    if (IYRFileTransfer *files = transfer())
        files->stopDownload();
    return true;
}

bool YRResourceManage::clearDownloadFiles()
{
    m_downloadingFiles.takeAll();
    m_presentFiles.takeAll();
    m_failedFiles.takeAll();
    return stopDownloadFiles();
}

// ---- uploads ----

bool YRResourceManage::uploadFileToCloud(QJsonObject &record, bool send)
{
    const QString temp = record.value(QLatin1String("localPath_temp")).toString();
    const QJsonObject listed = uploadListCopy(record);
    record.insert(QStringLiteral("localPath"), temp);
    record.remove(QLatin1String("localPath_temp"));
    qCDebug(lcResource).noquote() << "YRResourceManage::uploadFileToCloud" << recordText(record);
    // The plan document is sent with every save; it is never a resource of the plan.
    if (!temp.contains(kDocumentName)) {
        if (send)
            addUploading(listed, record);
        else
            addPresent(listed);
    }
    CYrCommonUtils::copyImageTo120_120px(temp);
    if (send) {
        if (IYRFileTransfer *files = transfer())
            files->uploadFile(record);
    }
    return true;
}

void YRResourceManage::slotUploadFinished(int res, const QJsonObject &info)
{
    qCDebug(lcResource).noquote() << "YRResourceManage::uploadFinished" << res << recordText(info);
    const QString sentPath = info.value(QLatin1String("localPath")).toString();
    if (res != 0) {
        scheduleUploadRetry(info);
    } else {
        m_uploadFailures.remove(sentPath);
        cancelUploadRetry(sentPath);
        if (!sentPath.isEmpty() && !sentPath.contains(kDocumentName)) {
            // The record sent for an entry names its file exactly; the listed copy's relative
            // path is only a part of the answer's path (and "/a.txt" is a part of "/sub/a.txt"
            // too), so it is the fallback, and an empty one matches nothing.
            const auto sentAsAnswered = [&sentPath](const TransferEntry &candidate) {
                return candidate.sent.value(QLatin1String("localPath")).toString() == sentPath;
            };
            const auto listedWithin = [&sentPath](const TransferEntry &candidate) {
                const QString listed =
                    candidate.record.value(QLatin1String("localPath")).toString();
                return !listed.isEmpty() && sentPath.contains(listed);
            };
            TransferEntry entry;
            const bool found = m_uploadingFiles.takeFirstIf(sentAsAnswered, &entry) ||
                               m_uploadingFiles.takeFirstIf(listedWithin, &entry);
            if (found) {
                const QString dest = recordDest(entry.record);
                if (!dest.isEmpty())
                    watchFile(QFileInfo(dest).absoluteFilePath());
                addPresent(entry.record);
            }
        }
    }
    emit signalUploadFinished(res, info);
}

void YRResourceManage::scheduleUploadRetry(const QJsonObject &record)
{
    const QString key = record.value(QLatin1String("localPath")).toString();
    const int delay = uploadRetryDelayMs(++m_uploadFailures[key]);
    const quint64 ticket = ++m_nextUploadRetryTicket;
    m_uploadRetryTickets.insert(key, ticket);
    qCInfo(lcResource).noquote() << "YRResourceManage::uploadFinished"
                                 << "sending again in" << delay << "ms:" << key;
    QTimer::singleShot(delay, this, [this, record, key, ticket]() {
        if (m_uploadRetryTickets.value(key) != ticket)
            return; // cancelled, or replaced by a later failure
        m_uploadRetryTickets.remove(key);
        if (IYRFileTransfer *files = transfer())
            files->uploadFile(record);
    });
}

void YRResourceManage::cancelUploadRetry(const QString &localPath)
{
    m_uploadRetryTickets.remove(localPath);
}

bool YRResourceManage::hasUploadingFile()
{
    return !m_uploadingFiles.isEmpty();
}

bool YRResourceManage::stopUploadFiles()
{
    return true;
}

bool YRResourceManage::clearUploadFiles()
{
    m_uploadingFiles.takeAll();
    m_uploadRetryTickets.clear();
    m_uploadFailures.clear();
    return true;
}

bool YRResourceManage::deleteFileFromCloud(const QString &path)
{
    IYRFileTransfer *files = transfer();
    if (!files)
        return false;
    const QString bucket = resourceDomains()
                               .value(QLatin1String("jsonroad"))
                               .toObject()
                               .value(QLatin1String("bucket"))
                               .toString();
    return files->deleteCloudFiles(bucket, QStringLiteral("/plan/") + path) == 0;
}

// ---- reports ----

QString YRResourceManage::recordText(const QJsonObject &record)
{
    return QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact));
}

void YRResourceManage::getResourceProgress(QJsonArray &array)
{
    const auto report = [&array](const TransferList &list, int percent) {
        for (const TransferEntry &entry : list.entries()) {
            const QString localPath = entry.record.value(QLatin1String("localPath")).toString();
            if (localPath.contains(kDocumentName, Qt::CaseInsensitive))
                continue;
            array.append(QJsonObject{{QStringLiteral("tempPath"), localPath},
                                     {QStringLiteral("percent"), percent}});
        }
    };
    report(m_uploadingFiles, 100);
    report(m_failedFiles, -1);
    report(m_presentFiles, 100);
}

const QString &YRResourceManage::resourceProgressText()
{
    // Every document the page is sent is followed by this list: for a large plan, building it
    // again costs more than the rest of an edit that moved no file.
    const quint64 revisions[3] = {m_uploadingFiles.revision(), m_failedFiles.revision(),
                                  m_presentFiles.revision()};
    if (m_progressText.isNull() || !std::equal(revisions, revisions + 3, m_progressRevisions)) {
        QJsonArray progress;
        getResourceProgress(progress);
        m_progressText = QString::fromUtf8(QJsonDocument(progress).toJson(QJsonDocument::Indented));
        std::copy(revisions, revisions + 3, m_progressRevisions);
    }
    return m_progressText;
}

void YRResourceManage::printDownloadingFileInfo()
{
    for (const TransferEntry &entry : m_downloadingFiles.entries())
        qCDebug(lcResource).noquote()
            << "YRResourceManage::printDownloadingFileInfo" << recordText(entry.record);
}

void YRResourceManage::printUploadingFileInfo()
{
    for (const TransferEntry &entry : m_uploadingFiles.entries())
        qCDebug(lcResource).noquote()
            << "YRResourceManage::printUploadingFileInfo" << recordText(entry.record);
}

// ---- relayed signals and the network state ----

void YRResourceManage::slotAvatarquit(QNetworkReply::NetworkError error)
{
    qCDebug(lcResource).noquote() << "YRResourceManage::slotAvatarquit"
                                  << "avatarquit" << error;
    emit signalAvatarquit(error);
}

void YRResourceManage::slotAvatarData(QPixmap &pixmap)
{
    qCDebug(lcResource).noquote() << "YRResourceManage::slotAvatarData"
                                  << "avatarData";
    emit signalAvatarData(pixmap);
}

void YRResourceManage::slotNetWorkStateChanged(bool bState)
{
    qCDebug(lcResource).noquote() << "YRResourceManage::netWorkStateChanged" << bState;
}

bool YRResourceManage::IsConnectedWithNet()
{
    return m_netWorkState;
}

void YRResourceManage::slotNetWorkState(bool bState)
{
    if (bState == m_netWorkState)
        return;
    if (IYRNetWorkCheck *check = networkCheck())
        check->checkNetWork(kCheckMark);
}

void YRResourceManage::slotResultNetWorkCheck(bool bState, const QString &strMark)
{
    qCDebug(lcResource).noquote() << "YRResourceManage::slotResultNetWorkCheck" << bState
                                  << strMark;
    if (strMark != kCheckMark || bState == m_netWorkState)
        return;
    m_netWorkState = bState;
    if (bState) {
        IYRFileTransfer *files = transfer();
        if (files && !YRPlanPaths::signedInUserId().isEmpty()) {
            // The complete record: the listed copy lacks the keys an upload needs.
            for (const TransferEntry &entry : m_uploadingFiles.entries()) {
                cancelUploadRetry(entry.sent.value(QLatin1String("localPath")).toString());
                files->uploadFile(entry.sent);
            }
        }
        resubmitDownloads();
    }
    emit signalNetWorkStateChanged(bState);
}
