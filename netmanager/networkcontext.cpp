#include "netmanager/networkcontext_p.h"

#include "netmanager/diskthreads_p.h"

#include <QNetworkAccessManager>
#include <QStringList>

namespace {

// The path with a trailing "/", so that names can be appended to it.
QString directoryPath(const QUrl &url)
{
    QString path = url.path(QUrl::FullyEncoded);
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

// Each segment of key percent-encoded on its own, so that "/" keeps separating them.
QString encodedKey(const QString &key)
{
    QStringList segments = key.split(QLatin1Char('/'));
    for (QString &segment : segments)
        segment = QString::fromLatin1(QUrl::toPercentEncoding(segment));
    return segments.join(QLatin1Char('/'));
}

} // namespace

bool StoreAccess::isValid() const
{
    return endpoint.isValid() && !endpoint.host().isEmpty() && !accessKeyId.isEmpty() &&
           !secretAccessKey.isEmpty();
}

NetworkContext::NetworkContext()
    : m_api(std::make_unique<QNetworkAccessManager>()),
      m_download(std::make_unique<QNetworkAccessManager>()),
      m_upload(std::make_unique<QNetworkAccessManager>()), m_disk(std::make_unique<DiskThreads>(4))
{}

NetworkContext::~NetworkContext() = default;

bool NetworkContext::hasService() const
{
    return serviceUrl.isValid() && !serviceUrl.host().isEmpty();
}

QUrl NetworkContext::apiUrl(const QUrl &service, const QString &api)
{
    QUrl url = service;
    QString name = api;
    while (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    url.setPath(directoryPath(service) + name, QUrl::TolerantMode);
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

bool NetworkContext::isStoreUrl(const QUrl &url) const
{
    return store.isValid() && url.scheme() == store.endpoint.scheme() &&
           url.host() == store.endpoint.host() && url.port(-1) == store.endpoint.port(-1);
}

QUrl NetworkContext::objectUrl(const QString &bucket, const QString &key) const
{
    QUrl url = bucketUrl(bucket);
    url.setPath(url.path(QUrl::FullyEncoded) + QLatin1Char('/') + encodedKey(key),
                QUrl::StrictMode);
    return url;
}

QUrl NetworkContext::bucketUrl(const QString &bucket) const
{
    QUrl url = store.endpoint;
    url.setPath(directoryPath(store.endpoint) + encodedKey(bucket), QUrl::StrictMode);
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}
