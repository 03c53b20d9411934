#ifndef IYRNETWORKMANAGER_H
#define IYRNETWORKMANAGER_H

#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QString>

// The host's network manager. The library keeps the pointer it is given, never frees it, and
// asks it for its objects at every use. Each object is a QObject that also implements one of
// the interfaces below: the library connects to the QObject and calls the interface.
//
// The reservedN() operations stand for operations of the host's manager that this library
// never calls; they keep the named operations in their slots.

// Network-check object. Signals: sglNetWorkState(bool), sglResultNetWorkCheck(bool,QString).
class IYRNetWorkCheck
{
public:
    virtual ~IYRNetWorkCheck() {}
    virtual void reserved1() {}
    virtual void reserved2() {}
    virtual void reserved3() {}
    // Asks for a connectivity check; answered by sglResultNetWorkCheck with the same mark.
    virtual void checkNetWork(const QString &mark) = 0;
};

// Request object. Signals: sglHttpRequestFinish(QString, QJsonObject, QString),
// sglHttpRequestError(QString,int,QString), sglhttptimeout(), sglHttpConnectError().
class IYRHttpRequest
{
public:
    virtual ~IYRHttpRequest() {}
    // Sends params to the api path; answered by one finish or error signal.
    virtual bool sendRequest(const QMap<QString, QString> &params, const QString &api,
                             const QString &extra, int flags) = 0;
    // The same, with the parameters in the URL query.
    virtual bool sendQueryRequest(const QMap<QString, QString> &params, const QString &api,
                                  const QString &extra, int flags) = 0;
};

// Transfer object. Signals: signalDownloadStart(bool, QJsonObject),
// signalDownloadProgress(QJsonObject, int, QString), signalDownloadFinished(bool, QJsonObject),
// signalDownloadQueueEmpty(bool), signalUploadFinished(int, QJsonObject),
// signalAvatarquit(QNetworkReply::NetworkError), signalAvatarData(QPixmap &).
class IYRFileTransfer
{
public:
    virtual ~IYRFileTransfer() {}
    // Fetches record "url" to record "dest".
    virtual bool downloadFile(const QJsonObject &record) = 0;
    // Drops the download of cloudPath.
    virtual bool cancelDownload(const QString &cloudPath) = 0;
    virtual void reserved3() {}
    // Stops and drops the queued downloads.
    virtual bool stopDownload() = 0;
    // Sends record "localPath" to "remotePath" in "bucketName".
    virtual bool uploadFile(const QJsonObject &record) = 0;
    virtual void reserved6() {}
    virtual void reserved7() {}
    virtual void reserved8() {}
    virtual void reserved9() {}
    virtual void reserved10() {}
    virtual void reserved11() {}
    // The signature for a bucket label, at once.
    virtual QString getSign(const QString &bucket) = 0;
    virtual void reserved13() {}
    virtual void reserved14() {}
    virtual void reserved15() {}
    virtual void reserved16() {}
    virtual void reserved17() {}
    virtual void reserved18() {}
    virtual void reserved19() {}
    // Deletes a cloud folder; 0 on success.
    virtual int deleteCloudFiles(const QString &bucket, const QString &folder) = 0;
};

class IYRNetWorkManager
{
public:
    virtual ~IYRNetWorkManager() {}
    // The network-check object (implements IYRNetWorkCheck).
    virtual QObject *getNetWorkObject() = 0;
    // The request object (implements IYRHttpRequest).
    virtual QObject *getHttpObject() = 0;
    // The transfer object (implements IYRFileTransfer).
    virtual QObject *getTransferObject() = 0;
};

#define IYRNetWorkCheck_iid "com.orvane.YRData.IYRNetWorkCheck/1.0"
#define IYRHttpRequest_iid "com.orvane.YRData.IYRHttpRequest/1.0"
#define IYRFileTransfer_iid "com.orvane.YRData.IYRFileTransfer/1.0"
#define IYRNetWorkManager_iid "com.orvane.YRData.IYRNetWorkManager/1.0"
Q_DECLARE_INTERFACE(IYRNetWorkCheck, IYRNetWorkCheck_iid)
Q_DECLARE_INTERFACE(IYRHttpRequest, IYRHttpRequest_iid)
Q_DECLARE_INTERFACE(IYRFileTransfer, IYRFileTransfer_iid)
Q_DECLARE_INTERFACE(IYRNetWorkManager, IYRNetWorkManager_iid)

#endif // IYRNETWORKMANAGER_H
