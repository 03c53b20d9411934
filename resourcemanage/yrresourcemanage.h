#ifndef YRRESOURCEMANAGE_H
#define YRRESOURCEMANAGE_H

#include "interfaces/iyrnetworkmanager.h"
#include "yrdata_export.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkReply>
#include <QObject>
#include <QPixmap>
#include <QStringList>
#include <QVector>

class QFileInfo;
class QFileSystemWatcher;

// The library's single point of contact for moving resource files between the cloud and the
// plan directory. It keeps four lists of transfer records (copies, never the caller's objects):
// uploading, downloading, present and failed; relays the network manager's transfer signals;
// re-submits work when the network returns; and watches the local copies of present files.
class YRDATA_EXPORT YRResourceManage : public QObject
{
    Q_OBJECT

public:
    // net is not owned. Connects to its network-check and transfer objects and asks for a first
    // network check with the mark "YRResourceManage".
    explicit YRResourceManage(IYRNetWorkManager *net, QObject *parent = nullptr);
    ~YRResourceManage() override;

    // Downloads record "dest" unless it is present and up to date (then reported at 100 and
    // listed as present). Completes record "url" unless hasUrl. False without "dest".
    bool downloadFileFromCloud(QJsonObject &record, bool hasUrl);
    // Sends record "localPath_temp" (moved into "localPath") when send, or only registers the
    // file as present. Always true.
    bool uploadFileToCloud(QJsonObject &record, bool send);
    // Deletes the cloud folder "/plan/" + path in the plan-document bucket; true when done.
    bool deleteFileFromCloud(const QString &path);
    // Hashes, on all cores, the local copies that downloads of records would check, so that
    // the checks which follow find their MD5 ready. Only while the network is confirmed.
    void prepareLocalCopies(const QVector<QJsonObject> &records);
    // Registers a copy of record as present. Always true.
    bool appendDownloadedFile(QJsonObject &record);
    bool hasDownloadingFile();
    bool hasUploadingFile();
    // The last connectivity state that a network check confirmed.
    bool IsConnectedWithNet();
    // Does nothing; always false.
    bool startDownloadFiles();
    // Tells the transfer object to stop downloading; the lists stay. Always true.
    bool stopDownloadFiles();
    // Empties the downloading, present and failed lists and stops downloading. Always true.
    bool clearDownloadFiles();
    // Does nothing; always true.
    bool stopUploadFiles();
    // Empties the uploading list. Always true.
    bool clearUploadFiles();
    // Appends {"tempPath", "percent"} for the uploading (100), failed (-1) and present (100)
    // entries, the plan document left out.
    void getResourceProgress(QJsonArray &array);
    // The same entries as a JSON array in QJsonDocument's indented text; made again only after
    // the lists it comes from changed.
    const QString &resourceProgressText();
    // A transfer record as one line of JSON, as the library's log lines show it.
    static QString recordText(const QJsonObject &record);
    // Moves the failed entries back to the downloading list and hands every download over again.
    void reDownloadFile();
    void printDownloadingFileInfo();
    void printUploadingFileInfo();
    // Cancels, forgets and deletes the local files of the given nodes.
    void deleteFileById(const QStringList &ids);
    // Watches path and, for a directory, everything below it; true when all could be added.
    bool addWatchFilePath(const QString &path);
    bool deleteWatchFilePath(const QString &path);
    // Stops watching every file, then every directory. Always true.
    bool clearWatchFilePaths();
    // The full signed address of a transfer record; empty for an unknown source.
    QString getFullUrl(const QJsonObject &record);

signals:
    void signalDownloadStart(bool bSucceed, QJsonObject info);
    void signalDownloadFinished(bool bSucceed, QJsonObject info);
    void signalDownloadProgress(QJsonObject info, int iProgress, QString dowloadType);
    void signalDownloadQueueEmpty(bool bIsEmpty);
    void signalUploadFinished(int res, QJsonObject jsonInfo);
    void signalAvatarquit(QNetworkReply::NetworkError error);
    void signalAvatarData(QPixmap &pixmap);
    void signalFileUpadated(QJsonObject info);
    void signalNetWorkStateChanged(bool bState);

public slots:
    void slotDirectoryChanged(const QString &path);
    void slotFileChanged(const QString &path);
    void slotDownloadStarted(bool bSucceed, const QJsonObject &info);
    void slotDownloadFinished(bool bSucceed, const QJsonObject &info);
    void slotDownloadProgress(const QJsonObject &info, int iProgress, const QString &downloadType);
    void slotDownloadQueueEmpty(bool bIsEmpty);
    void slotUploadFinished(int res, const QJsonObject &info);
    void slotAvatarquit(QNetworkReply::NetworkError error);
    void slotAvatarData(QPixmap &pixmap);
    void slotNetWorkStateChanged(bool bState);
    void slotNetWorkState(bool bState);
    void slotResultNetWorkCheck(bool bState, const QString &strMark);

private:
    // One listed transfer: the record as this object keeps it and, for an upload, the complete
    // record handed to the transfer object (the listed copy lacks the upload keys, so it could
    // not be sent again as it stands).
    struct TransferEntry
    {
        QJsonObject record;
        QJsonObject sent;
    };

    // A list of transfer entries in the order they were appended, indexed by their "dest" text
    // so that the entries of one file are found without walking the list.
    class TransferList
    {
    public:
        void append(const TransferEntry &entry);
        // Removes the first entry whose "dest" is dest into *entry; false when there is none.
        bool takeFirstWithDest(const QString &dest, TransferEntry *entry);
        // Removes every entry whose "dest" is dest, in list order.
        QVector<TransferEntry> takeAllWithDest(const QString &dest);
        // Removes every entry, in list order.
        QVector<TransferEntry> takeAll();
        QVector<TransferEntry> entries() const;
        bool isEmpty() const { return m_entries.isEmpty(); }
        // Changes with every change of the entries, to a value no list had before; copies of a
        // list share its value while they hold the same entries.
        quint64 revision() const { return m_revision; }

        // Removes the entries whose record satisfies pred, in list order.
        template <typename Pred>
        QVector<TransferEntry> takeIf(Pred pred)
        {
            QVector<TransferEntry> taken;
            for (auto it = m_entries.begin(); it != m_entries.end();) {
                if (pred(it->record)) {
                    unindex(it.key(), it->record);
                    taken.append(*it);
                    it = m_entries.erase(it);
                } else {
                    ++it;
                }
            }
            return taken;
        }

        // Removes the first entry that satisfies pred into *entry; false when none does.
        template <typename Pred>
        bool takeFirstIf(Pred pred, TransferEntry *entry)
        {
            for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
                if (pred(*it)) {
                    unindex(it.key(), it->record);
                    *entry = *it;
                    m_entries.erase(it);
                    return true;
                }
            }
            return false;
        }

    private:
        static quint64 nextRevision();
        void unindex(quint64 serial, const QJsonObject &record);

        QMap<quint64, TransferEntry> m_entries; // by serial: the list order
        QMap<QString, QVector<quint64>> m_serialsByDest;
        quint64 m_nextSerial = 0;
        quint64 m_revision = nextRevision();
    };

    struct FileDigest
    {
        qint64 size;
        qint64 modified; // ms since the epoch
        QString md5;
    };
    bool localCopyIsCurrent(const QFileInfo &target, const QJsonObject &record);
    // The MD5 of a local file, hashed again only when its size or modification time changed.
    QString fileDigest(const QFileInfo &file);

    QStringList traverseDir(const QString &path) const;
    bool deleteLocalFile(const QString &path);
    QString joinPathFileName(const QString &base, const QString &name);
    // The host's domain table (application property "ResourceDomain") as it stands now.
    static QJsonObject resourceDomains();

    IYRNetWorkCheck *networkCheck();
    IYRFileTransfer *transfer();
    void connectNetWorkObjects();
    void watchFile(const QString &absolutePath);
    // Each file has one settled state: a record that starts moving (download, upload) leaves
    // the present and failed lists, a present one leaves the failed list and a failed one the
    // present list.
    void addDownloading(const QJsonObject &record);
    void addUploading(const QJsonObject &listed, const QJsonObject &sent);
    void addPresent(const QJsonObject &record);
    void addFailed(const QJsonObject &record);
    void unwatchFile(const QString &path);
    void resubmitDownloads();
    void scheduleUploadRetry(const QJsonObject &record);
    void cancelUploadRetry(const QString &localPath);

    IYRNetWorkManager *m_netWorkManager = nullptr;
    QFileSystemWatcher *m_watcher = nullptr;
    TransferList m_uploadingFiles;
    TransferList m_downloadingFiles;
    TransferList m_presentFiles;
    TransferList m_failedFiles;
    // resourceProgressText() and the revisions of the uploading, failed and present lists it
    // was made from.
    QString m_progressText;
    quint64 m_progressRevisions[3] = {0, 0, 0};
    bool m_netWorkState = false;
    QHash<QString, FileDigest> m_digests; // by absolute path

    // Failed uploads wait before they are sent again: failures so far and the ticket of the
    // pending resubmission, both by the sent record's "localPath".
    QMap<QString, int> m_uploadFailures;
    QMap<QString, quint64> m_uploadRetryTickets;
    quint64 m_nextUploadRetryTicket = 0;

    // A missing or unusable network-manager object is reported once, not at every use.
    bool m_warnedNetWorkCheck = false;
    bool m_warnedTransfer = false;
};

#endif // YRRESOURCEMANAGE_H
