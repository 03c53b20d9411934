#include "support/fakenetworkmanager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

void FakeNetWorkCheck::checkNetWork(const QString &mark)
{
    checks.append(mark);
}

bool FakeHttpRequest::sendRequest(const QMap<QString, QString> &params, const QString &api,
                                  const QString &extra, int flags)
{
    requests.append({params, api, extra, flags, false});
    answerLater(params, api);
    return sendResult;
}

bool FakeHttpRequest::sendQueryRequest(const QMap<QString, QString> &params, const QString &api,
                                       const QString &extra, int flags)
{
    requests.append({params, api, extra, flags, true});
    answerLater(params, api);
    return sendResult;
}

QString FakeHttpRequest::requestAddress(const QMap<QString, QString> &params, const QString &api)
{
    QStringList parts;
    for (auto it = params.cbegin(); it != params.cend(); ++it)
        parts.append(it.key() + QLatin1Char('=') + it.value());
    return QStringLiteral("https://plans.example/") + api + QLatin1Char('?') +
           parts.join(QLatin1Char('&'));
}

void FakeHttpRequest::answerLater(const QMap<QString, QString> &params, const QString &api)
{
    const QString address = requestAddress(params, api);
    if (replies.contains(api)) {
        const QJsonObject reply = replies.value(api);
        QTimer::singleShot(0, this, [=] { emit sglHttpRequestFinish(api, reply, address); });
    } else if (errorCodes.contains(api)) {
        const int code = errorCodes.value(api);
        QTimer::singleShot(0, this, [=] { emit sglHttpRequestError(api, code, address); });
    }
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
    if (answering)
        QTimer::singleShot(answerDelayMs, this, [=] { answerDownload(record); });
    return transferResult;
}

void FakeFileTransfer::answerDownload(const QJsonObject &record)
{
    QString path = record.value(QLatin1String("cloudPath")).toString();
    if (path.isEmpty())
        path = record.value(QLatin1String("url")).toString();
    const QString dest = record.value(QLatin1String("dest")).toString();
    if (!cloudFiles.contains(path) || failingPaths.contains(path)) {
        emit signalDownloadFinished(false, record);
        return;
    }
    QDir().mkpath(QFileInfo(dest).absolutePath());
    QFile file(dest);
    if (!file.open(QIODevice::WriteOnly) || file.write(cloudFiles.value(path)) < 0) {
        emit signalDownloadFinished(false, record);
        return;
    }
    file.close();
    emit signalDownloadProgress(record, 50, QString());
    emit signalDownloadFinished(true, record);
}

void FakeFileTransfer::answerUpload(const QJsonObject &record)
{
    const QString remote = record.value(QLatin1String("remotePath")).toString();
    QFile file(record.value(QLatin1String("localPath")).toString());
    if (failingPaths.contains(remote) || !file.open(QIODevice::ReadOnly)) {
        emit signalUploadFinished(1, record);
        return;
    }
    cloudFiles.insert(remote, file.readAll());
    emit signalUploadFinished(0, record);
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
    if (answering)
        QTimer::singleShot(answerDelayMs, this, [=] { answerUpload(record); });
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
