#ifndef NETWORKCONTEXT_P_H
#define NETWORKCONTEXT_P_H

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class DiskThreads;
class QNetworkAccessManager;

// Where the store is and the key that signs for it.
struct StoreAccess
{
    QUrl endpoint;
    QString region;
    QString accessKeyId;
    QString secretAccessKey;

    bool isValid() const;
};

// What the manager's three objects and their jobs share: the session, the settings and the
// connections. Plan-service requests, downloads and uploads each have their own
// QNetworkAccessManager, so that each kind gets its own connections to the server and a
// long transfer never makes a request wait for a free connection.
class NetworkContext
{
public:
    NetworkContext();
    ~NetworkContext();

    QNetworkAccessManager *apiAccess() const { return m_api.get(); }
    QNetworkAccessManager *downloadAccess() const { return m_download.get(); }
    QNetworkAccessManager *uploadAccess() const { return m_upload.get(); }
    DiskThreads *diskThreads() const { return m_disk.get(); }

    // True once a service address is known (signed in, or a session the host brought).
    bool hasService() const;
    // True when store requests can be signed.
    bool hasStore() const { return store.isValid(); }
    // The service address of an api path such as "api/teaplan/createplan".
    QUrl apiUrl(const QString &api) const { return apiUrl(serviceUrl, api); }
    static QUrl apiUrl(const QUrl &service, const QString &api);
    // True when url names the store (same scheme, host and port as its endpoint).
    bool isStoreUrl(const QUrl &url) const;
    // The address of key in bucket on the store; key is taken as it is, without a leading "/".
    QUrl objectUrl(const QString &bucket, const QString &key) const;
    // The address of bucket itself, for listings and batch deletions.
    QUrl bucketUrl(const QString &bucket) const;

    QUrl serviceUrl;
    QString token;
    StoreAccess store;
    int requestTimeoutMs = 30000;
    // Called when a request could not reach its server; the network check decides.
    std::function<void()> connectionFailed;

private:
    std::unique_ptr<QNetworkAccessManager> m_api;
    std::unique_ptr<QNetworkAccessManager> m_download;
    std::unique_ptr<QNetworkAccessManager> m_upload;
    std::unique_ptr<DiskThreads> m_disk;
};

#endif // NETWORKCONTEXT_P_H
