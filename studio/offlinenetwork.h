#ifndef STUDIO_OFFLINENETWORK_H
#define STUDIO_OFFLINENETWORK_H

#include "interfaces/iyrnetworkmanager.h"

#include <QJsonObject>
#include <QNetworkReply>
#include <QObject>
#include <QPixmap>
#include <QString>

// The network manager of a studio that nobody is signed in to: one object that serves as the
// network-check, request and transfer object at once. It confirms no network, so the resource
// manager reports none and the controller saves to packages; requests and transfers are refused.
class OfflineNetWork : public QObject,
                       public IYRNetWorkManager,
                       public IYRNetWorkCheck,
                       public IYRHttpRequest,
                       public IYRFileTransfer
{
    Q_OBJECT
    Q_INTERFACES(IYRNetWorkCheck IYRHttpRequest IYRFileTransfer)

public:
    using QObject::QObject;

    QObject *getNetWorkObject() override { return this; }
    QObject *getHttpObject() override { return this; }
    QObject *getTransferObject() override { return this; }

    void checkNetWork(const QString &) override {}
    bool sendRequest(const QMap<QString, QString> &, const QString &, const QString &, int) override
    {
        return false;
    }
    bool sendQueryRequest(const QMap<QString, QString> &, const QString &, const QString &,
                          int) override
    {
        return false;
    }
    bool downloadFile(const QJsonObject &) override { return false; }
    bool cancelDownload(const QString &) override { return false; }
    bool stopDownload() override { return true; }
    bool uploadFile(const QJsonObject &) override { return false; }
    QString getSign(const QString &) override { return QString(); }
    int deleteCloudFiles(const QString &, const QString &) override { return -1; }

signals:
    // Declared because the library connects to them; never emitted.
    void sglNetWorkState(bool bState);
    void sglResultNetWorkCheck(bool bState, QString strMark);
    void sglHttpRequestFinish(QString mark, QJsonObject jsonObj, QString requestUrl);
    void sglHttpRequestError(QString mark, int code, QString requestUrl);
    void sglhttptimeout();
    void sglHttpConnectError();
    void signalDownloadStart(bool bSucceed, QJsonObject info);
    void signalDownloadProgress(QJsonObject info, int iProgress, QString downloadType);
    void signalDownloadFinished(bool bSucceed, QJsonObject info);
    void signalDownloadQueueEmpty(bool bIsEmpty);
    void signalUploadFinished(int res, QJsonObject info);
    void signalAvatarquit(QNetworkReply::NetworkError error);
    void signalAvatarData(QPixmap &pixmap);
};

#endif // STUDIO_OFFLINENETWORK_H
