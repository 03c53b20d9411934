#include "support/fakenetworkmanager.h"

void FakeNetWorkCheck::checkNetWork(const QString &mark)
{
    checks.append(mark);
}

bool FakeHttpRequest::sendRequest(const QMap<QString, QString> &params, const QString &api,
                                  const QString &extra, int flags)
{
    requests.append({params, api, extra, flags, false});
    return sendResult;
}

bool FakeHttpRequest::sendQueryRequest(const QMap<QString, QString> &params, const QString &api,
                                       const QString &extra, int flags)
{
    requests.append({params, api, extra, flags, true});
    return sendResult;
}

QVector<FakeHttpRequest::Request> FakeHttpRequest::requestsTo(const QString &api) const
{
    QVector<Request> matching;
    for (const Request &request : requests) {
        if (request.api == api)
            matching.append(request);
    }
    return matching;
}

bool FakeFileTransfer::downloadFile(const QJsonObject &record)
{
    downloads.append(record);
    return transferResult;
}

bool FakeFileTransfer::cancelDownload(const QString &cloudPath)
{
    cancels.append(cloudPath);
    return transferResult;
}

bool FakeFileTransfer::stopDownload()
{
    ++stops;
    return transferResult;
}

bool FakeFileTransfer::uploadFile(const QJsonObject &record)
{
    uploads.append(record);
    return transferResult;
}

QString FakeFileTransfer::getSign(const QString &bucket)
{
    signRequests.append(bucket);
    return signPrefix + bucket;
}

int FakeFileTransfer::deleteCloudFiles(const QString &bucket, const QString &folder)
{
    deletions.append({bucket, folder});
    return deleteResult;
}

QStringList FakeFileTransfer::downloadedDests() const
{
    QStringList dests;
    for (const QJsonObject &record : downloads)
        dests.append(record.value(QLatin1String("dest")).toString());
    return dests;
}

FakeNetWorkManager::FakeNetWorkManager(Presence check, Presence http, Presence transfer)
    : m_checkPresence(check), m_httpPresence(http), m_transferPresence(transfer),
      m_check(new FakeNetWorkCheck), m_http(new FakeHttpRequest), m_transfer(new FakeFileTransfer)
{
    if (check != Presence::Real)
        m_check.reset();
    if (http != Presence::Real)
        m_http.reset();
    if (transfer != Presence::Real)
        m_transfer.reset();
}

FakeNetWorkManager::~FakeNetWorkManager() = default;

QObject *FakeNetWorkManager::handOut(Presence presence, QObject *real)
{
    switch (presence) {
    case Presence::Real:
        return real;
    case Presence::Foreign:
        return &m_foreign;
    case Presence::Missing:
        break;
    }
    return nullptr;
}

QObject *FakeNetWorkManager::getNetWorkObject()
{
    return handOut(m_checkPresence, m_check.get());
}

QObject *FakeNetWorkManager::getHttpObject()
{
    return handOut(m_httpPresence, m_http.get());
}

QObject *FakeNetWorkManager::getTransferObject()
{
    return handOut(m_transferPresence, m_transfer.get());
}
