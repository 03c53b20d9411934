#include "netmanager/yrhttprequest.h"

#include "netmanager/apirequestjob_p.h"
#include "netmanager/jobqueue_p.h"
#include "netmanager/networkcontext_p.h"
#include "netmanager/yrnetworkerror.h"

#include <QTimer>

namespace {

// As many as one QNetworkAccessManager opens to a host, so that a request's time-out runs only
// while it is really on the wire.
const int kParallelRequests = 6;

} // namespace

YRHttpRequest::YRHttpRequest(NetworkContext *context, QObject *parent)
    : QObject(parent), m_context(context), m_queue(new JobQueue(kParallelRequests, this))
{}

YRHttpRequest::~YRHttpRequest() = default;

bool YRHttpRequest::sendRequest(const QMap<QString, QString> &params, const QString &api,
                                const QString &, int)
{
    return send(int(ApiRequestJob::Method::Post), params, api);
}

bool YRHttpRequest::sendQueryRequest(const QMap<QString, QString> &params, const QString &api,
                                     const QString &, int)
{
    return send(int(ApiRequestJob::Method::Get), params, api);
}

bool YRHttpRequest::send(int method, const QMap<QString, QString> &params, const QString &api)
{
    auto *job = new ApiRequestJob(m_context, ApiRequestJob::Method(method), api, params);
    const QString url = job->url().toString();
    if (!m_context->hasService()) {
        delete job;
        QTimer::singleShot(0, this, [=] { emit sglHttpRequestError(api, YRNE_NotSignedIn, url); });
        return false;
    }
    connect(job, &ApiRequestJob::answered, this,
            [=](const QJsonObject &body) { emit sglHttpRequestFinish(api, body, url); });
    connect(job, &ApiRequestJob::failed, this, [=](int code) {
        emit sglHttpRequestError(api, code, url);
        if (code == YRNE_Timeout)
            emit sglhttptimeout();
        else if (code == YRNE_ConnectFailed)
            emit sglHttpConnectError();
    });
    m_queue->enqueue(job);
    return true;
}
