#ifndef YRHTTPNETWORKMANAGER_H
#define YRHTTPNETWORKMANAGER_H

#include "interfaces/iyrnetworkmanager.h"
#include "netmanager/yrnetworkerror.h"
#include "yrnetwork_export.h"

#include <QJsonObject>
#include <QObject>
#include <QUrl>

#include <memory>

class ApiRequestJob;
class NetworkContext;
class YRFileTransfer;
class YRHttpRequest;
class YRNetWorkCheck;

// The network manager a host hands to YRData, on QNetworkAccessManager: a network-check, a
// request and a transfer object that talk to a plan service and its S3-compatible store.
// Sign in with the service's address and a user's token (signIn), or bring a session of your
// own (setSession). Until then the objects still answer every call, with errors.
// Everything runs on the thread that created the manager, without blocking its event loop.
class YRNETWORK_EXPORT YRHttpNetWorkManager : public QObject, public IYRNetWorkManager
{
    Q_OBJECT
    Q_INTERFACES(IYRNetWorkManager)

public:
    explicit YRHttpNetWorkManager(QObject *parent = nullptr);
    ~YRHttpNetWorkManager() override;

    QObject *getNetWorkObject() override;
    QObject *getHttpObject() override;
    QObject *getTransferObject() override;

    // Fetches GET /api/session with token and, when it is a session, takes it: its store
    // endpoint and credentials sign transfers, the token goes with every request. Answered by
    // signInFinished; a sign-in under way is dropped by a new one.
    void signIn(const QUrl &serviceUrl, const QString &token);
    // Sets the application object's "uid" and "ResourceDomain" properties from a session, as
    // YRData reads them.
    static void applySessionToApplication(const QJsonObject &session);
    // Takes a session the host brings: the service address, the token for its requests, and
    // storage {"endpoint", "region", "accessKeyId", "secretAccessKey"} for the store.
    void setSession(const QUrl &serviceUrl, const QString &token, const QJsonObject &storage);
    // True once signIn succeeded or setSession gave a service address.
    bool isSignedIn() const;
    // Time-out of a request, and of a transfer that makes no progress, in ms (30000 default).
    void setRequestTimeout(int ms);
    // Downloads run at once, 1 to 6 (4 default).
    void setMaxParallelDownloads(int n);

signals:
    // ok with the session object of the service; otherwise an empty object and one line
    // saying what failed.
    void signInFinished(bool ok, const QJsonObject &session, const QString &error);

private:
    void takeSession(const QUrl &serviceUrl, const QString &token, const QJsonObject &storage);
    void failSignIn(int code, const QString &message);
    void dropSignIn();

    // Declared first: the objects below use it until they are gone.
    std::unique_ptr<NetworkContext> m_context;
    std::unique_ptr<YRNetWorkCheck> m_check;
    std::unique_ptr<YRHttpRequest> m_request;
    std::unique_ptr<YRFileTransfer> m_transfer;
    std::unique_ptr<ApiRequestJob> m_signIn;
};

#endif // YRHTTPNETWORKMANAGER_H
