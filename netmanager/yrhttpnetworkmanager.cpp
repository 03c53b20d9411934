#include "netmanager/yrhttpnetworkmanager.h"

#include "netmanager/apirequestjob_p.h"
#include "netmanager/networkcontext_p.h"
#include "netmanager/yrfiletransfer.h"
#include "netmanager/yrhttprequest.h"
#include "netmanager/yrnetworkcheck.h"

#include <QCoreApplication>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcManager, "yrnetwork.manager")

namespace {

QString text(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toString();
}

// What a failed sign-in says to the user.
QString signInFailure(int code, const QString &message)
{
    QString why;
    switch (code) {
    case YRNE_ConnectFailed:
        why = QStringLiteral("the service cannot be reached");
        break;
    case YRNE_Timeout:
        why = QStringLiteral("the service did not answer in time");
        break;
    case YRNE_BadAnswer:
        why = QStringLiteral("the service's answer is not a session");
        break;
    case 401:
        why = QStringLiteral("the token was refused");
        break;
    default:
        why = code < 1000 ? QStringLiteral("the service answered HTTP %1").arg(code)
                          : QStringLiteral("the network failed (%1)").arg(code);
    }
    return message.isEmpty() ? why : why + QStringLiteral(": ") + message;
}

} // namespace

YRHttpNetWorkManager::YRHttpNetWorkManager(QObject *parent)
    : QObject(parent), m_context(std::make_unique<NetworkContext>()),
      m_check(std::make_unique<YRNetWorkCheck>(m_context.get())),
      m_request(std::make_unique<YRHttpRequest>(m_context.get())),
      m_transfer(std::make_unique<YRFileTransfer>(m_context.get()))
{
    m_context->connectionFailed = [this] { m_check->connectionFailed(); };
}

YRHttpNetWorkManager::~YRHttpNetWorkManager()
{
    // Jobs go before the connections they use.
    m_signIn.reset();
    m_transfer.reset();
    m_request.reset();
    m_check.reset();
}

QObject *YRHttpNetWorkManager::getNetWorkObject()
{
    return m_check.get();
}

QObject *YRHttpNetWorkManager::getHttpObject()
{
    return m_request.get();
}

QObject *YRHttpNetWorkManager::getTransferObject()
{
    return m_transfer.get();
}

void YRHttpNetWorkManager::signIn(const QUrl &serviceUrl, const QString &token)
{
    // The session in force stays until the new one is taken.
    dropSignIn();
    m_signIn =
        std::make_unique<ApiRequestJob>(m_context.get(), ApiRequestJob::Method::Get,
                                        QStringLiteral("api/session"), QMap<QString, QString>());
    m_signIn->useService(serviceUrl, token);
    ApiRequestJob *job = m_signIn.get();
    connect(job, &ApiRequestJob::answered, this,
            [this, serviceUrl, token](const QJsonObject &body) {
                const QJsonObject storage = body.value(QLatin1String("storage")).toObject();
                if (text(body, "uid").isEmpty() ||
                    !body.value(QLatin1String("ResourceDomain")).isObject()) {
                    failSignIn(YRNE_BadAnswer, QString());
                    return;
                }
                takeSession(serviceUrl, token, storage);
                emit signInFinished(true, body, QString());
            });
    connect(job, &ApiRequestJob::failed, this,
            [this, job](int code) { failSignIn(code, job->message()); });
    connect(job, &NetworkJob::done, this, [this, job] {
        if (m_signIn.get() == job)
            m_signIn.release()->deleteLater();
    });
    job->start();
}

void YRHttpNetWorkManager::dropSignIn()
{
    if (!m_signIn)
        return;
    // It may be the sender of the signal being handled: delete it later.
    ApiRequestJob *job = m_signIn.release();
    disconnect(job, nullptr, this, nullptr);
    job->abort();
    job->deleteLater();
}

void YRHttpNetWorkManager::failSignIn(int code, const QString &message)
{
    const QString error = signInFailure(code, message);
    qCWarning(lcManager).noquote() << "YRHttpNetWorkManager::signIn failed:" << error;
    emit signInFinished(false, QJsonObject(), error);
}

void YRHttpNetWorkManager::applySessionToApplication(const QJsonObject &session)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    app->setProperty("uid", text(session, "uid"));
    app->setProperty("ResourceDomain", session.value(QLatin1String("ResourceDomain")).toObject());
}

void YRHttpNetWorkManager::setSession(const QUrl &serviceUrl, const QString &token,
                                      const QJsonObject &storage)
{
    dropSignIn();
    takeSession(serviceUrl, token, storage);
}

void YRHttpNetWorkManager::takeSession(const QUrl &serviceUrl, const QString &token,
                                       const QJsonObject &storage)
{
    m_context->serviceUrl = serviceUrl;
    m_context->token = token;
    m_context->store.endpoint = QUrl(text(storage, "endpoint"));
    m_context->store.region = text(storage, "region");
    if (m_context->store.region.isEmpty())
        m_context->store.region = QStringLiteral("us-east-1");
    m_context->store.accessKeyId = text(storage, "accessKeyId");
    m_context->store.secretAccessKey = text(storage, "secretAccessKey");
    if (!m_context->hasStore())
        qCWarning(lcManager) << "YRHttpNetWorkManager: the session has no usable store: uploads"
                                " and signed downloads are refused";
    m_check->sessionStarted();
}

bool YRHttpNetWorkManager::isSignedIn() const
{
    return m_context->hasService();
}

void YRHttpNetWorkManager::setRequestTimeout(int ms)
{
    m_context->requestTimeoutMs = qMax(1, ms);
}

void YRHttpNetWorkManager::setMaxParallelDownloads(int n)
{
    m_transfer->setMaxParallelDownloads(n);
}
