#ifndef YRPLAN_LOCALNETWORK_H
#define YRPLAN_LOCALNETWORK_H

#include "interfaces/iyrnetworkmanager.h"

#include <QJsonObject>
#include <QNetworkReply>
#include <QObject>
#include <QPixmap>
#include <QString>

// yrplan has no cloud and nobody signed in: its network manager hands out objects that take
// every call and answer none. A network check is never confirmed, so the resource manager
// keeps reporting no network; requests and transfers are refused at once.

class LocalNetWorkCheck : public QObject, public IYRNetWorkCheck
{
    Q_OBJECT
    Q_INTERFACES(IYRNetWorkCheck)

public:
    void checkNetWork(const QString &) override {}

signals:
    // Declared because the resource manager connects to them; never emitted.
    void sglNetWorkState(bool bState);
    void sglResultNetWorkCheck(bool bState, QString strMark);
};

class LocalHttpRequest : public QObject, public IYRHttpRequest
{
    Q_OBJECT
    Q_INTERFACES(IYRHttpRequest)

public:
    bool sendRequest(const QMap<QString, QString> &, const QString &, const QString &, int) override
    {
        return false;
    }
    bool sendQueryRequest(const QMap<QString, QString> &, const QString &, const QString &,
                          int) override
    {
        return false;
    }

signals:
    // Declared because the controller connects to them; never emitted.
    void sglHttpRequestFinish(QString mark, QJsonObject jsonObj, QString requestUrl);
    void sglHttpRequestError(QString mark, int code, QString requestUrl);
    void sglhttptimeout();
    void sglHttpConnectError();
};

// Transfers nothing. Signs with a fixed local text instead of asking a storage service, so
// that an address can be checked by hand: the signature of bucket B is "local-B".
class LocalTransfer : public QObject, public IYRFileTransfer
{
    Q_OBJECT
    Q_INTERFACES(IYRFileTransfer)

public:
    bool downloadFile(const QJsonObject &) override { return false; }
    bool cancelDownload(const QString &) override { return false; }
    bool stopDownload() override { return false; }
    bool uploadFile(const QJsonObject &) override { return false; }
    QString getSign(const QString &bucket) override { return QStringLiteral("local-") + bucket; }
    int deleteCloudFiles(const QString &, const QString &) override { return -1; }

signals:
    // Declared because the resource manager connects to them; never emitted.
    void signalDownloadStart(bool bSucceed, QJsonObject info);
    void signalDownloadProgress(QJsonObject info, int iProgress, QString downloadType);
    void signalDownloadFinished(bool bSucceed, QJsonObject info);
    void signalDownloadQueueEmpty(bool bIsEmpty);
    void signalUploadFinished(int res, QJsonObject info);
    void signalAvatarquit(QNetworkReply::NetworkError error);
    void signalAvatarData(QPixmap &pixmap);
};

class LocalNetWorkManager : public IYRNetWorkManager
{
public:
    QObject *getNetWorkObject() override { return &m_check; }
    QObject *getHttpObject() override { return &m_request; }
    QObject *getTransferObject() override { return &m_transfer; }

private:
    LocalNetWorkCheck m_check;
    LocalHttpRequest m_request;
    LocalTransfer m_transfer;
};

#endif // YRPLAN_LOCALNETWORK_H
