#include "netmanager/uploadjob_p.h"

#include "netmanager/fileslicedevice_p.h"
#include "netmanager/networkcontext_p.h"
#include "netmanager/storeprotocol_p.h"
#include "netmanager/yrnetworkerror.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

Q_LOGGING_CATEGORY(lcUpload, "yrnetwork.upload")

StoreUploadJob::StoreUploadJob(NetworkContext *context, const QJsonObject &record,
                               const UploadTarget &target, QObject *parent)
    : NetworkJob(context, parent), m_record(record), m_target(target)
{}

void StoreUploadJob::end(int code, bool deferred)
{
    if (deferred) {
        QTimer::singleShot(0, this, [this, code] { end(code); });
        return;
    }
    if (code != YRNE_Success)
        qCWarning(lcUpload).noquote()
            << "upload of" << m_target.localPath << "to"
            << m_target.bucket + QLatin1Char('/') + m_target.key << "failed with" << code;
    emit finished(code);
    finish();
}

PutObjectJob::PutObjectJob(NetworkContext *context, const QJsonObject &record,
                           const UploadTarget &target, QObject *parent)
    : StoreUploadJob(context, record, target, parent)
{}

PutObjectJob::~PutObjectJob()
{
    // The reply reads from the body: it goes first.
    abort();
}

void PutObjectJob::start()
{
    const qint64 size = QFileInfo(target().localPath).size();
    m_body = std::make_unique<FileSliceDevice>(target().localPath, 0, size);
    if (!m_body->open(QIODevice::ReadOnly)) {
        end(YRNE_LocalFile, true);
        return;
    }
    QNetworkRequest request(context()->objectUrl(target().bucket, target().key));
    request.setHeader(QNetworkRequest::ContentLengthHeader, size);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/octet-stream"));
    if (!target().replace)
        request.setRawHeader("If-None-Match", "*");
    StoreProtocol::sign(request, "PUT", StoreProtocol::unsignedPayload(), context()->store);
    watch(context()->uploadAccess()->put(request, m_body.get()), true);
}

void PutObjectJob::replyFinished(QNetworkReply *reply)
{
    int code = failureOf(reply);
    if (code == 412 && !target().replace) {
        qCDebug(lcUpload) << "PutObjectJob kept the object that exists:" << target().key;
        code = YRNE_Success;
    } else if (code == YRNE_Success) {
        const QByteArray sent = m_body->md5Hex();
        const QByteArray stored = StoreProtocol::md5OfEtag(reply->rawHeader("ETag"));
        if (!sent.isEmpty() && !stored.isEmpty() && sent != stored)
            code = YRNE_Corrupted;
    }
    end(code);
}
