#ifndef FAKENETWORKMANAGER_H
#define FAKENETWORKMANAGER_H

#include "interfaces/iyrnetworkmanager.h"

#include <QJsonObject>
#include <QMap>
#include <QNetworkReply>
#include <QObject>
#include <QPixmap>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <memory>

// A scriptable stand-in for the host's network manager. Each of its three objects records every
// call the library makes, answers from values a test sets, and emits its signals only when the
// test asks (through the emit... helpers, or directly: the signals are public). Nothing is sent
// anywhere. The objects live as long as the manager.

// Network-check object: records the marks of checkNetWork().
class FakeNetWorkCheck : public QObject, public IYRNetWorkCheck
{
    Q_OBJECT
    Q_INTERFACES(IYRNetWorkCheck)

public:
    void checkNetWork(const QString &mark) override;

    // The marks of every checkNetWork() call, in order.
    QStringList checks;

    void emitNetWorkState(bool state) { emit sglNetWorkState(state); }
    void emitResultNetWorkCheck(bool state, const QString &mark)
    {
        emit sglResultNetWorkCheck(state, mark);
    }

signals:
    void sglNetWorkState(bool bState);
    void sglResultNetWorkCheck(bool bState, QString strMark);
};

// Request object: records every sendRequest() and sendQueryRequest().
class FakeHttpRequest : public QObject, public IYRHttpRequest
{
    Q_OBJECT
    Q_INTERFACES(IYRHttpRequest)

public:
    struct Request
    {
        QMap<QString, QString> params;
        QString api;
        QString extra;
        int flags = 0;
        bool query = false; // true for sendQueryRequest, false for sendRequest
    };

    bool sendRequest(const QMap<QString, QString> &params, const QString &api, const QString &extra,
                     int flags) override;
    bool sendQueryRequest(const QMap<QString, QString> &params, const QString &api,
                          const QString &extra, int flags) override;

    // Every request, in order.
    QVector<Request> requests;
    // What both send operations return.
    bool sendResult = true;

    // The requests made to one api path, in order.
    QVector<Request> requestsTo(const QString &api) const;

    // Plan-service behaviour: a request to an api path with a reply here is answered on a
    // later turn of the event loop with sglHttpRequestFinish(api, reply, address), and one with
    // an error code with sglHttpRequestError(api, code, address). The address carries the
    // parameters in its query. Requests to other paths get no answer.
    QMap<QString, QJsonObject> replies;
    QMap<QString, int> errorCodes;
    // The address an answer names for a request.
    static QString requestAddress(const QMap<QString, QString> &params, const QString &api);

    void emitRequestFinish(const QString &mark, const QJsonObject &reply, const QString &url)
    {
        emit sglHttpRequestFinish(mark, reply, url);
    }
    void emitRequestError(const QString &mark, int code, const QString &url)
    {
        emit sglHttpRequestError(mark, code, url);
    }
    void emitTimeout() { emit sglhttptimeout(); }
    void emitConnectError() { emit sglHttpConnectError(); }

private:
    void answerLater(const QMap<QString, QString> &params, const QString &api);

public:
signals:
    void sglHttpRequestFinish(QString strMark, QJsonObject reply, QString strUrl);
    void sglHttpRequestError(QString strMark, int iCode, QString strUrl);
    void sglhttptimeout();
    void sglHttpConnectError();
};

// Transfer object: records downloads, cancels, stops, uploads, signature requests and cloud
// deletions. getSign() answers signPrefix + bucket ("sig-" + bucket unless changed);
// deleteCloudFiles() answers deleteResult.
class FakeFileTransfer : public QObject, public IYRFileTransfer
{
    Q_OBJECT
    Q_INTERFACES(IYRFileTransfer)

public:
    struct Deletion
    {
        QString bucket;
        QString folder;
    };

    bool downloadFile(const QJsonObject &record) override;
    bool cancelDownload(const QString &cloudPath) override;
    bool stopDownload() override;
    bool uploadFile(const QJsonObject &record) override;
    QString getSign(const QString &bucket) override;
    int deleteCloudFiles(const QString &bucket, const QString &folder) override;

    QVector<QJsonObject> downloads; // every record handed to downloadFile, in order
    QStringList cancels;            // every cloud path handed to cancelDownload
    int stops = 0;                  // calls of stopDownload
    QVector<QJsonObject> uploads;   // every record handed to uploadFile, in order
    QStringList signRequests;       // the bucket label of every getSign call
    QVector<Deletion> deletions;    // every deleteCloudFiles call

    QString signPrefix = QStringLiteral("sig-");
    int deleteResult = 0;
    bool transferResult =
        true; // what downloadFile, cancelDownload, stopDownload, uploadFile return

    // The "dest" texts of the recorded downloads, in order.
    QStringList downloadedDests() const;

    // Cloud behaviour, off unless answering is set. A download is then answered after
    // answerDelayMs: the stored content of its "cloudPath" (or "url") is written to its "dest"
    // and reported at 50 % and finished; a path without content, or one in failingPaths, is
    // reported failed. An upload stores the content of its "localPath" under its "remotePath"
    // and is reported finished with 0, or with 1 when its "remotePath" is in failingPaths.
    bool answering = false;
    int answerDelayMs = 0;
    QMap<QString, QByteArray> cloudFiles;
    QSet<QString> failingPaths;

    void emitDownloadStart(bool ok, const QJsonObject &record)
    {
        emit signalDownloadStart(ok, record);
    }
    void emitDownloadProgress(const QJsonObject &record, int percent, const QString &type)
    {
        emit signalDownloadProgress(record, percent, type);
    }
    void emitDownloadFinished(bool ok, const QJsonObject &record)
    {
        emit signalDownloadFinished(ok, record);
    }
    void emitDownloadQueueEmpty(bool empty) { emit signalDownloadQueueEmpty(empty); }
    void emitUploadFinished(int res, const QJsonObject &record)
    {
        emit signalUploadFinished(res, record);
    }
    void emitAvatarquit(QNetworkReply::NetworkError error) { emit signalAvatarquit(error); }
    void emitAvatarData(QPixmap &pixmap) { emit signalAvatarData(pixmap); }

private:
    void answerDownload(const QJsonObject &record);
    void answerUpload(const QJsonObject &record);

public:
signals:
    void signalDownloadStart(bool bSucceed, QJsonObject info);
    void signalDownloadProgress(QJsonObject info, int iProgress, QString downloadType);
    void signalDownloadFinished(bool bSucceed, QJsonObject info);
    void signalDownloadQueueEmpty(bool bIsEmpty);
    void signalUploadFinished(int res, QJsonObject info);
    void signalAvatarquit(QNetworkReply::NetworkError error);
    void signalAvatarData(QPixmap &pixmap);
};

// The manager. Each object can be real (a fake above), missing (the getter returns null) or
// foreign (a plain QObject that implements no interface), to test hosts that lack one.
class FakeNetWorkManager : public IYRNetWorkManager
{
public:
    enum class Presence { Real, Missing, Foreign };

    explicit FakeNetWorkManager(Presence check = Presence::Real, Presence http = Presence::Real,
                                Presence transfer = Presence::Real);
    ~FakeNetWorkManager() override;

    QObject *getNetWorkObject() override;
    QObject *getHttpObject() override;
    QObject *getTransferObject() override;

    // The fakes themselves; null unless that object is Real.
    FakeNetWorkCheck *check() const { return m_check.get(); }
    FakeHttpRequest *http() const { return m_http.get(); }
    FakeFileTransfer *transfer() const { return m_transfer.get(); }

private:
    QObject *handOut(Presence presence, QObject *real);

    Presence m_checkPresence;
    Presence m_httpPresence;
    Presence m_transferPresence;
    std::unique_ptr<FakeNetWorkCheck> m_check;
    std::unique_ptr<FakeHttpRequest> m_http;
    std::unique_ptr<FakeFileTransfer> m_transfer;
    QObject m_foreign;
};

#endif // FAKENETWORKMANAGER_H
