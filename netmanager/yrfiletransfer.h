#ifndef YRFILETRANSFER_H
#define YRFILETRANSFER_H

#include "interfaces/iyrnetworkmanager.h"
#include "yrnetwork_export.h"

#include <QJsonObject>
#include <QNetworkReply>
#include <QObject>

class JobQueue;
class NetworkContext;
class QPixmap;

// The transfer object of YRHttpNetWorkManager. Downloads wait in a queue and run a few at a
// time (4 by default), each written through QSaveFile so that "dest" is replaced only by a
// complete copy; store addresses are signed with AWS Signature Version 4, others fetched as
// they are. Uploads are streamed from disk to the store, in parts above 64 MiB. Every signal
// carries the caller's record exactly as it was given. A transfer that cannot start (no
// session, a record without what it needs) is answered by its signals all the same.
class YRNETWORK_EXPORT YRFileTransfer : public QObject, public IYRFileTransfer
{
    Q_OBJECT
    Q_INTERFACES(IYRFileTransfer)

public:
    explicit YRFileTransfer(NetworkContext *context, QObject *parent = nullptr);
    ~YRFileTransfer() override;

    // Queues the download of record "url" to record "dest" (absolute). A record for a "dest"
    // already queued joins that download. False when refused: signalDownloadStart(false) and
    // signalDownloadFinished(false) then follow on a later turn of the event loop.
    bool downloadFile(const QJsonObject &record) override;
    // Drops the queued or running downloads of that "cloudPath", without signals and without
    // touching "dest". True when there was one.
    bool cancelDownload(const QString &cloudPath) override;
    // Drops every queued and running download the same way. Always true.
    bool stopDownload() override;
    // Sends record "localPath" to "bucketName"/"remotePath"; "replace" false keeps an object
    // that exists. Answered by signalUploadFinished(0 or a YRNetworkError code or HTTP status).
    // False when refused (the answer still comes, on a later turn of the event loop).
    bool uploadFile(const QJsonObject &record) override;
    // The store's download token for the bucket label, valid 24 hours; empty without a session.
    QString getSign(const QString &bucket) override;
    // Deletes every object below folder in bucket: 0 when nothing is left there, else the
    // failure. Runs a local event loop until the store has answered (the application's event
    // loop keeps running, user input excepted).
    int deleteCloudFiles(const QString &bucket, const QString &folder) override;

    // How many downloads run at once, 1 to 6 (6: the connections to one host).
    void setMaxParallelDownloads(int n);

signals:
    void signalDownloadStart(bool bSucceed, QJsonObject info);
    void signalDownloadProgress(QJsonObject info, int iProgress, QString downloadType);
    void signalDownloadFinished(bool bSucceed, QJsonObject info);
    void signalDownloadQueueEmpty(bool bIsEmpty);
    void signalUploadFinished(int res, QJsonObject info);
    // Declared because the library connects to them; this manager has no avatar to report.
    void signalAvatarquit(QNetworkReply::NetworkError error);
    void signalAvatarData(QPixmap &pixmap);

private:
    void refuseDownload(const QJsonObject &record, const char *why);
    void refuseUpload(const QJsonObject &record, int code, const char *why);
    void startUpload(const QJsonObject &record);

    NetworkContext *m_context;
    JobQueue *m_downloads;
    JobQueue *m_uploads;
};

#endif // YRFILETRANSFER_H
