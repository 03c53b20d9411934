#include "support/fakenetworkmanager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

bool FakeHttpRequest::sendRequest(const QMap<QString, QString> &params, const QString &api,
                                  const QString &, int)
{
    requests.append({params, api});
    QStringList query;
    for (auto it = params.cbegin(); it != params.cend(); ++it)
        query.append(it.key() + QLatin1Char('=') + it.value());
    const QString address = "https://plans.example/" + api + '?' + query.join('&');
    if (replies.contains(api)) {
        const QJsonObject reply = replies.value(api);
        QTimer::singleShot(0, this, [=] { emit sglHttpRequestFinish(api, reply, address); });
    } else if (errorCodes.contains(api)) {
        const int code = errorCodes.value(api);
        QTimer::singleShot(0, this, [=] { emit sglHttpRequestError(api, code, address); });
    }
    return true;
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
    return true;
}

void FakeFileTransfer::answerDownload(const QJsonObject &record)
{
    QString path = record.value(QLatin1String("cloudPath")).toString();
    if (path.isEmpty())
        path = record.value(QLatin1String("url")).toString();
    const QString dest = record.value(QLatin1String("dest")).toString();
    QFile file(dest);
    if (!cloudFiles.contains(path) || failingPaths.contains(path) ||
        !QDir().mkpath(QFileInfo(dest).absolutePath()) || !file.open(QIODevice::WriteOnly) ||
        file.write(cloudFiles.value(path)) < 0) {
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
    return true;
}

bool FakeFileTransfer::stopDownload()
{
    ++stops;
    return true;
}

bool FakeFileTransfer::uploadFile(const QJsonObject &record)
{
    uploads.append(record);
    if (answering)
        QTimer::singleShot(answerDelayMs, this, [=] { answerUpload(record); });
    return true;
}

QString FakeFileTransfer::getSign(const QString &bucket)
{
    signRequests.append(bucket);
    return "sig-" + bucket;
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
