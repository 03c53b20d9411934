#ifndef YRHTTPREQUEST_H
#define YRHTTPREQUEST_H

#include "interfaces/iyrnetworkmanager.h"
#include "yrnetwork_export.h"

#include <QJsonObject>
#include <QObject>

class JobQueue;
class NetworkContext;

// The request object of YRHttpNetWorkManager: plan-service requests with the session's token,
// at most six at a time. Every request is answered by exactly one sglHttpRequestFinish (a JSON
// object) or sglHttpRequestError (a YRNetworkError code or the HTTP status); a time-out is also
// told by sglhttptimeout(), a connection that failed by sglHttpConnectError(). The third and
// fourth arguments of the send operations are not used.
class YRNETWORK_EXPORT YRHttpRequest : public QObject, public IYRHttpRequest
{
    Q_OBJECT
    Q_INTERFACES(IYRHttpRequest)

public:
    explicit YRHttpRequest(NetworkContext *context, QObject *parent = nullptr);
    ~YRHttpRequest() override;

    // POSTs params as a form body to the api path. False when there is no session: the
    // request is then answered by sglHttpRequestError(api, YRNE_NotSignedIn, url).
    bool sendRequest(const QMap<QString, QString> &params, const QString &api, const QString &extra,
                     int flags) override;
    // GETs the api path with params in the query; otherwise as sendRequest.
    bool sendQueryRequest(const QMap<QString, QString> &params, const QString &api,
                          const QString &extra, int flags) override;

signals:
    void sglHttpRequestFinish(QString strMark, QJsonObject reply, QString strUrl);
    void sglHttpRequestError(QString strMark, int iCode, QString strUrl);
    void sglhttptimeout();
    void sglHttpConnectError();

private:
    bool send(int method, const QMap<QString, QString> &params, const QString &api);

    NetworkContext *m_context;
    JobQueue *m_queue;
};

#endif // YRHTTPREQUEST_H
