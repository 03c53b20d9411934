#ifndef APIREQUESTJOB_P_H
#define APIREQUESTJOB_P_H

#include "netmanager/networkjob_p.h"

#include <QJsonObject>
#include <QMap>
#include <QUrl>

// One request to the plan service: the parameters in a form body (Post) or in the query (Get),
// the token in the Authorization header. The answer must be a JSON object; the whole request
// is bounded by the request time-out and never tried again (the service's answers may change
// data, and the caller decides).
class ApiRequestJob : public NetworkJob
{
    Q_OBJECT

public:
    enum class Method { Get, Post };

    ApiRequestJob(NetworkContext *context, Method method, const QString &api,
                  const QMap<QString, QString> &params, QObject *parent = nullptr);

    // Sends the request to another service with another token than the session's (for a
    // sign-in, before the session is taken).
    void useService(const QUrl &serviceUrl, const QString &token);
    void start() override;

    QString api() const { return m_api; }
    // The full address the request is sent to, query included.
    QUrl url() const { return m_url; }
    // The "message" of the error body the service answered with, if any.
    QString message() const { return m_message; }
    // A quiet job logs its failures as debug lines only (for repeated probes).
    void setQuiet(bool quiet) { m_quiet = quiet; }

signals:
    // Exactly one of the two, then done().
    void answered(const QJsonObject &body);
    void failed(int code);

protected:
    void replyFinished(QNetworkReply *reply) override;

private:
    Method m_method;
    QString m_api;
    QByteArray m_form;
    QUrl m_url;
    QString m_token;
    QString m_message;
    bool m_quiet = false;
};

#endif // APIREQUESTJOB_P_H
