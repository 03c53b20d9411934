#include "netmanager/listdeletejob_p.h"

#include "netmanager/networkcontext_p.h"
#include "netmanager/storeprotocol_p.h"
#include "netmanager/yrnetworkerror.h"

#include <QCryptographicHash>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

Q_LOGGING_CATEGORY(lcListDelete, "yrnetwork.delete")

namespace {

const int kRounds = 3;
const int kBatch = 1000;

QString queryValue(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

} // namespace

ListDeleteJob::ListDeleteJob(NetworkContext *context, const QString &bucket, const QString &prefix,
                             QObject *parent)
    : NetworkJob(context, parent), m_bucket(bucket), m_prefix(prefix)
{}

void ListDeleteJob::start()
{
    listPage(QString());
}

void ListDeleteJob::listPage(const QString &continuation)
{
    m_listing = true;
    QString query = QStringLiteral("list-type=2&prefix=") + queryValue(m_prefix);
    if (!continuation.isEmpty())
        query += QStringLiteral("&continuation-token=") + queryValue(continuation);
    QUrl url = context()->bucketUrl(m_bucket);
    url.setQuery(query, QUrl::StrictMode);
    QNetworkRequest request(url);
    StoreProtocol::sign(request, "GET", StoreProtocol::emptyPayloadHash(), context()->store);
    watch(context()->uploadAccess()->get(request), false);
}

void ListDeleteJob::deleteBatch()
{
    m_listing = false;
    QByteArray body = "<Delete><Quiet>true</Quiet>";
    const QStringList batch = m_keys.mid(0, kBatch);
    m_keys = m_keys.mid(batch.size());
    for (const QString &key : batch)
        body += "<Object><Key>" + StoreProtocol::xmlEscaped(key) + "</Key></Object>";
    body += "</Delete>";
    QUrl url = context()->bucketUrl(m_bucket);
    url.setQuery(QStringLiteral("delete"), QUrl::StrictMode);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/xml"));
    request.setRawHeader("Content-MD5",
                         QCryptographicHash::hash(body, QCryptographicHash::Md5).toBase64());
    StoreProtocol::sign(request, "POST", StoreProtocol::sha256Hex(body), context()->store);
    watch(context()->uploadAccess()->post(request, body), false);
}

void ListDeleteJob::replyFinished(QNetworkReply *reply)
{
    int code = failureOf(reply);
    const QByteArray answer = reply->readAll();
    if (code == YRNE_Success && StoreProtocol::isXmlError(answer))
        code = YRNE_BadAnswer;
    if (code != YRNE_Success) {
        end(code);
        return;
    }
    if (m_listing) {
        m_keys += StoreProtocol::xmlTexts(answer, QStringLiteral("Key"));
        const QString next =
            StoreProtocol::xmlText(answer, QStringLiteral("NextContinuationToken"));
        if (StoreProtocol::xmlText(answer, QStringLiteral("IsTruncated")) ==
                QLatin1String("true") &&
            !next.isEmpty()) {
            listPage(next);
        } else if (m_keys.isEmpty()) {
            end(YRNE_Success);
        } else if (m_round > kRounds) {
            qCWarning(lcListDelete)
                << "ListDeleteJob" << m_keys.size() << "objects stay below" << m_prefix;
            end(m_lastFailure != 0 ? m_lastFailure : YRNE_BadAnswer);
        } else {
            deleteBatch();
        }
        return;
    }
    const QStringList refused = StoreProtocol::xmlTexts(answer, QStringLiteral("Code"));
    if (!refused.isEmpty()) {
        qCWarning(lcListDelete) << "ListDeleteJob the store kept" << refused.size()
                                << "objects:" << refused.first();
        m_lastFailure = refused.first() == QLatin1String("AccessDenied") ? 403 : YRNE_BadAnswer;
    }
    if (!m_keys.isEmpty()) {
        deleteBatch();
    } else {
        ++m_round;
        listPage(QString());
    }
}

void ListDeleteJob::end(int code)
{
    emit finished(code);
    finish();
}
