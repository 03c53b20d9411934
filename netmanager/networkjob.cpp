#include "netmanager/networkjob_p.h"

#include "netmanager/networkcontext_p.h"
#include "netmanager/yrnetworkerror.h"

#include <QLoggingCategory>
#include <QNetworkReply>

Q_LOGGING_CATEGORY(lcNetworkJob, "yrnetwork.job")

namespace {

// Pause before retry n: 500 ms, doubled each time, at most 8 s.
int retryPauseMs(int attempt)
{
    return qMin(500 << qBound(0, attempt - 1, 4), 8000);
}

bool isConnectionFailure(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
        return true;
    default:
        return false;
    }
}

} // namespace

NetworkJob::NetworkJob(NetworkContext *context, QObject *parent)
    : QObject(parent), m_context(context)
{
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        if (!m_reply)
            return;
        m_timedOut = true;
        m_reply->abort();
    });
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        const std::function<void()> action = std::move(m_retryAction);
        m_retryAction = nullptr;
        if (action)
            action();
    });
}

NetworkJob::~NetworkJob()
{
    releaseReply();
}

void NetworkJob::abort()
{
    m_retry.stop();
    m_retryAction = nullptr;
    releaseReply();
}

void NetworkJob::watch(QNetworkReply *reply, bool idle)
{
    releaseReply();
    m_reply = reply;
    m_timedOut = false;
    m_idleTimeout = idle;
    connect(reply, &QNetworkReply::finished, this, &NetworkJob::onFinished);
    connect(reply, &QNetworkReply::readyRead, this, [this] {
        if (m_idleTimeout)
            m_timeout.start();
        replyReadyRead(m_reply);
    });
    if (idle)
        connect(reply, &QNetworkReply::uploadProgress, &m_timeout, [this] { m_timeout.start(); });
    m_timeout.start(qMax(1, m_context->requestTimeoutMs));
}

void NetworkJob::onFinished()
{
    m_timeout.stop();
    QNetworkReply *reply = m_reply;
    replyFinished(reply);
    if (m_reply == reply)
        releaseReply();
}

void NetworkJob::releaseReply()
{
    if (!m_reply)
        return;
    m_timeout.stop();
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    disconnect(reply, nullptr, &m_timeout, nullptr);
    if (reply->isRunning())
        reply->abort();
    reply->deleteLater();
}

int NetworkJob::statusOf(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

int NetworkJob::failureOf(QNetworkReply *reply) const
{
    if (m_timedOut)
        return YRNE_Timeout;
    const int status = statusOf(reply);
    if (status != 0 && (status < 200 || status >= 300))
        return status;
    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::NoError)
        return status != 0 ? YRNE_Success : YRNE_BadAnswer;
    qCDebug(lcNetworkJob) << "NetworkJob::failureOf" << reply->url().toString(QUrl::RemoveQuery)
                          << error << reply->errorString();
    if (isConnectionFailure(error)) {
        if (m_context->connectionFailed)
            m_context->connectionFailed();
        return YRNE_ConnectFailed;
    }
    return YRNE_NetworkOther;
}

bool NetworkJob::isTransient(int code)
{
    return code == YRNE_ConnectFailed || code == YRNE_Timeout || code == YRNE_Corrupted ||
           code == YRNE_NetworkOther || code == 408 || code == 429 || (code >= 500 && code < 600);
}

void NetworkJob::retryLater(int attempt, const std::function<void()> &retry)
{
    m_retryAction = retry;
    m_retry.start(retryPauseMs(attempt));
}

void NetworkJob::finish(bool deferred)
{
    if (m_done)
        return;
    if (deferred) {
        QTimer::singleShot(0, this, [this] { finish(false); });
        return;
    }
    m_done = true;
    emit done();
}
