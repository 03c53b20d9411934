#include "netmanager/multipartuploadjob_p.h"

#include "netmanager/fileslicedevice_p.h"
#include "netmanager/networkcontext_p.h"
#include "netmanager/storeprotocol_p.h"
#include "netmanager/yrnetworkerror.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

Q_LOGGING_CATEGORY(lcMultipart, "yrnetwork.multipart")

namespace {

const int kPartAttempts = 3;

QByteArray completionBody(const QVector<QByteArray> &etags)
{
    QByteArray body = "<CompleteMultipartUpload>";
    for (int i = 0; i < etags.size(); ++i)
        body += "<Part><PartNumber>" + QByteArray::number(i + 1) + "</PartNumber><ETag>\"" +
                etags.at(i) + "\"</ETag></Part>";
    return body + "</CompleteMultipartUpload>";
}

} // namespace

MultipartUploadJob::MultipartUploadJob(NetworkContext *context, const QJsonObject &record,
                                       const UploadTarget &target, QObject *parent)
    : StoreUploadJob(context, record, target, parent)
{}

MultipartUploadJob::~MultipartUploadJob()
{
    abort();
}

QUrl MultipartUploadJob::objectUrl(const QString &query) const
{
    QUrl url = context()->objectUrl(target().bucket, target().key);
    url.setQuery(query, QUrl::StrictMode);
    return url;
}

void MultipartUploadJob::start()
{
    m_size = QFileInfo(target().localPath).size();
    if (target().replace)
        create();
    else
        lookForObject();
}

void MultipartUploadJob::lookForObject()
{
    m_stage = Stage::LookForObject;
    QNetworkRequest request(objectUrl(QString()));
    StoreProtocol::sign(request, "HEAD", StoreProtocol::emptyPayloadHash(), context()->store);
    watch(context()->uploadAccess()->head(request), false);
}

void MultipartUploadJob::create()
{
    m_stage = Stage::Create;
    QNetworkRequest request(objectUrl(QStringLiteral("uploads")));
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/octet-stream"));
    StoreProtocol::sign(request, "POST", StoreProtocol::emptyPayloadHash(), context()->store);
    watch(context()->uploadAccess()->post(request, QByteArray()), false);
}

void MultipartUploadJob::sendPart()
{
    m_stage = Stage::Part;
    ++m_attempt;
    const qint64 offset = (m_part - 1) * kPartSize;
    const qint64 length = qMin(kPartSize, m_size - offset);
    m_body = std::make_unique<FileSliceDevice>(target().localPath, offset, length);
    if (!m_body->open(QIODevice::ReadOnly)) {
        fail(YRNE_LocalFile);
        return;
    }
    QNetworkRequest request(
        objectUrl(QStringLiteral("partNumber=%1&uploadId=%2")
                      .arg(m_part)
                      .arg(QString::fromLatin1(QUrl::toPercentEncoding(m_uploadId)))));
    request.setHeader(QNetworkRequest::ContentLengthHeader, length);
    StoreProtocol::sign(request, "PUT", StoreProtocol::unsignedPayload(), context()->store);
    watch(context()->uploadAccess()->put(request, m_body.get()), true);
}

void MultipartUploadJob::complete()
{
    m_stage = Stage::Complete;
    const QByteArray body = completionBody(m_etags);
    QNetworkRequest request(objectUrl(QStringLiteral("uploadId=") +
                                      QString::fromLatin1(QUrl::toPercentEncoding(m_uploadId))));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/xml"));
    StoreProtocol::sign(request, "POST", StoreProtocol::sha256Hex(body), context()->store);
    // Joining many parts may take the store a while: the time-out bounds idle time only.
    watch(context()->uploadAccess()->post(request, body), true);
}

void MultipartUploadJob::replyFinished(QNetworkReply *reply)
{
    int code = failureOf(reply);
    const QByteArray answer = reply->readAll();
    switch (m_stage) {
    case Stage::LookForObject:
        if (code == YRNE_Success) {
            qCDebug(lcMultipart) << "MultipartUploadJob kept the object that exists:"
                                 << target().key;
            end(YRNE_Success);
        } else if (code == 404) {
            create();
        } else {
            end(code);
        }
        return;
    case Stage::Create:
        m_uploadId = StoreProtocol::xmlText(answer, QStringLiteral("UploadId"));
        if (code == YRNE_Success && m_uploadId.isEmpty())
            code = YRNE_BadAnswer;
        if (code != YRNE_Success) {
            end(code);
            return;
        }
        m_part = 1;
        m_attempt = 0;
        sendPart();
        return;
    case Stage::Part:
        handlePart(reply, code);
        return;
    case Stage::Complete:
        if (code == YRNE_Success && StoreProtocol::isXmlError(answer))
            code = 500;
        if (code == YRNE_Success) {
            const QByteArray expected =
                m_partHashes.result().toHex() + '-' + QByteArray::number(m_etags.size());
            QByteArray stored =
                StoreProtocol::xmlText(answer, QStringLiteral("ETag")).toLatin1().toLower();
            stored.replace('"', QByteArray());
            if (!stored.isEmpty() && stored != expected)
                code = YRNE_Corrupted;
        }
        if (code != YRNE_Success)
            fail(code);
        else
            end(YRNE_Success);
        return;
    }
}

void MultipartUploadJob::handlePart(QNetworkReply *reply, int code)
{
    const QByteArray sent = m_body->md5Hex();
    const QByteArray stored = StoreProtocol::md5OfEtag(reply->rawHeader("ETag"));
    if (code == YRNE_Success && (sent.isEmpty() || (!stored.isEmpty() && stored != sent)))
        code = YRNE_Corrupted;
    if (code != YRNE_Success) {
        if (isTransient(code) && m_attempt < kPartAttempts) {
            qCDebug(lcMultipart) << "MultipartUploadJob part" << m_part << "failed with" << code
                                 << ", sending it again";
            retryLater(m_attempt, [this] { sendPart(); });
        } else {
            fail(code);
        }
        return;
    }
    m_etags.append(sent);
    m_partHashes.addData(QByteArray::fromHex(sent));
    m_attempt = 0;
    if (qint64(m_part) * kPartSize < m_size) {
        ++m_part;
        sendPart();
    } else {
        complete();
    }
}

void MultipartUploadJob::fail(int code)
{
    abortOnStore();
    end(code);
}

void MultipartUploadJob::abortOnStore()
{
    if (m_uploadId.isEmpty())
        return;
    // Fire and forget: the parts are only left over if this is lost, and the store may drop
    // them itself.
    QNetworkRequest request(objectUrl(QStringLiteral("uploadId=") +
                                      QString::fromLatin1(QUrl::toPercentEncoding(m_uploadId))));
    StoreProtocol::sign(request, "DELETE", StoreProtocol::emptyPayloadHash(), context()->store);
    QNetworkReply *reply = context()->uploadAccess()->deleteResource(request);
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    m_uploadId.clear();
}
