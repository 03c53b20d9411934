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
// call the library makes and answers from values a test sets; a test emits their (public)
// signals itself where it plays the network. Nothing is sent anywhere.

// Network-check object: records the marks of checkNetWork().
class FakeNetWorkCheck : public QObject, public IYRNetWorkCheck
{
    Q_OBJECT
    Q_INTERFACES(IYRNetWorkCheck)

public:
    void checkNetWork(const QString &mark) override { checks.append(mark); }
    QStringList checks; // in order

signals:
    void sglNetWorkState(bool bState);
    void sglResultNetWorkCheck(bool bState, QString strMark);
};

// Request object: records every request. One to an api path with a reply here is answered on a
// later turn of the event loop with sglHttpRequestFinish, one with an error code with
// sglHttpRequestError; the address of the answer carries the parameters in its query.
class FakeHttpRequest : public QObject, public IYRHttpRequest
{
    Q_OBJECT
    Q_INTERFACES(IYRHttpRequest)

public:
    struct Request
    {
        QMap<QString, QString> params;
        QString api;
    };

    bool sendRequest(const QMap<QString, QString> &params, const QString &api, const QString &,
                     int) override;
    bool sendQueryRequest(const QMap<QString, QString> &params, const QString &api,
                          const QString &extra, int flags) override
    {
        return sendRequest(params, api, extra, flags);
    }
    // The requests made to one api path, in order.
    QVector<Request> requestsTo(const QString &api) const;

    QVector<Request> requests;
    QMap<QString, QJsonObject> replies;
    QMap<QString, int> errorCodes;

signals:
    void sglHttpRequestFinish(QString strMark, QJsonObject reply, QString strUrl);
    void sglHttpRequestError(QString strMark, int iCode, QString strUrl);
    void sglhttptimeout();
    void sglHttpConnectError();
};

// Transfer object: records downloads, cancels, stops, uploads, signature requests ("sig-" +
// bucket) and cloud deletions (answered with deleteResult). With answering set it plays the
// cloud after answerDelayMs: a download writes the stored content of its "cloudPath" (or "url")
// to its "dest", reports 50 % and finishes; an upload stores its "localPath" under its
// "remotePath" and finishes with 0. Paths without content or in failingPaths fail.
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
    // The "dest" texts of the recorded downloads, in order.
    QStringList downloadedDests() const;

    QVector<QJsonObject> downloads; // in order
    QStringList cancels;
    int stops = 0;
    QVector<QJsonObject> uploads; // in order
    QStringList signRequests;
    QVector<Deletion> deletions;
    int deleteResult = 0;

    bool answering = false;
    int answerDelayMs = 0;
    QMap<QString, QByteArray> cloudFiles;
    QSet<QString> failingPaths;

signals:
    void signalDownloadStart(bool bSucceed, QJsonObject info);
    void signalDownloadProgress(QJsonObject info, int iProgress, QString downloadType);
    void signalDownloadFinished(bool bSucceed, QJsonObject info);
    void signalDownloadQueueEmpty(bool bIsEmpty);
    void signalUploadFinished(int res, QJsonObject info);
    void signalAvatarquit(QNetworkReply::NetworkError error);
    void signalAvatarData(QPixmap &pixmap);

private:
    void answerDownload(const QJsonObject &record);
    void answerUpload(const QJsonObject &record);
};

// The manager. Each object can be real (a fake above), missing (the getter returns null) or
// foreign (a plain QObject that implements no interface), to test hosts that lack one.
class FakeNetWorkManager : public IYRNetWorkManager
{
public:
    enum class Presence { Real, Missing, Foreign };

    explicit FakeNetWorkManager(Presence check = Presence::Real, Presence transfer = Presence::Real)
        : m_checkPresence(check), m_transferPresence(transfer)
    {}

    QObject *getNetWorkObject() override { return handOut(m_checkPresence, &m_check); }
    QObject *getHttpObject() override { return &m_http; }
    QObject *getTransferObject() override { return handOut(m_transferPresence, &m_transfer); }

    FakeNetWorkCheck *check() { return &m_check; }
    FakeHttpRequest *http() { return &m_http; }
    FakeFileTransfer *transfer() { return &m_transfer; }

private:
    QObject *handOut(Presence presence, QObject *real)
    {
        return presence == Presence::Real      ? real
               : presence == Presence::Foreign ? &m_foreign
                                               : nullptr;
    }

    Presence m_checkPresence;
    Presence m_transferPresence;
    FakeNetWorkCheck m_check;
    FakeHttpRequest m_http;
    FakeFileTransfer m_transfer;
    QObject m_foreign;
};

#endif // FAKENETWORKMANAGER_H
