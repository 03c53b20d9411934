#include "netmanager/apirequestjob_p.h"

#include "netmanager/networkcontext_p.h"
#include "netmanager/yrnetworkerror.h"

#include <QJsonDocument>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

Q_LOGGING_CATEGORY(lcApiRequest, "yrnetwork.request")

namespace {

// key=value pairs joined by "&", every byte outside the unreserved set percent-encoded, so
// that "+" and "&" inside a value arrive as they were written.
QByteArray formEncoded(const QMap<QString, QString> &params)
{
    QByteArray encoded;
    for (auto it = params.cbegin(); it != params.cend(); ++it) {
        if (!encoded.isEmpty())
            encoded += '&';
        encoded += QUrl::toPercentEncoding(it.key()) + '=' + QUrl::toPercentEncoding(it.value());
    }
    return encoded;
}

} // namespace

ApiRequestJob::ApiRequestJob(NetworkContext *context, Method method, const QString &api,
                             const QMap<QString, QString> &params, QObject *parent)
    : NetworkJob(context, parent), m_method(method), m_api(api), m_form(formEncoded(params)),
      m_token(context->token)
{
    useService(context->serviceUrl, context->token);
}

void ApiRequestJob::useService(const QUrl &serviceUrl, const QString &token)
{
    m_url = NetworkContext::apiUrl(serviceUrl, m_api);
    if (m_method == Method::Get && !m_form.isEmpty())
        m_url.setQuery(QString::fromLatin1(m_form), QUrl::StrictMode);
    m_token = token;
}

void ApiRequestJob::start()
{
    QNetworkRequest request(m_url);
    request.setRawHeader("Accept", "application/json");
    if (!m_token.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + m_token.toUtf8());
    QNetworkReply *reply = nullptr;
    if (m_method == Method::Post) {
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/x-www-form-urlencoded"));
        reply = context()->apiAccess()->post(request, m_form);
    } else {
        reply = context()->apiAccess()->get(request);
    }
    watch(reply, false);
}

void ApiRequestJob::replyFinished(QNetworkReply *reply)
{
    int code = failureOf(reply);
    const QByteArray body = reply->readAll();
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (code == YRNE_Success && !document.isObject())
        code = YRNE_BadAnswer;
    if (code != YRNE_Success) {
        m_message = document.object().value(QLatin1String("message")).toString();
        if (m_quiet)
            qCDebug(lcApiRequest) << "ApiRequestJob::replyFinished" << m_api << code;
        else
            qCWarning(lcApiRequest).noquote()
                << "ApiRequestJob::replyFinished" << m_api << "failed with" << code << m_message;
        emit failed(code);
    } else {
        emit answered(document.object());
    }
    finish();
}
