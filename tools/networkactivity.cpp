#include "networkactivity.h"

#include "cliutil.h"
#include "netmanager/yrfiletransfer.h"
#include "netmanager/yrhttpnetworkmanager.h"
#include "netmanager/yrhttprequest.h"
#include "netmanager/yrnetworkcheck.h"

namespace {

QString outcome(bool ok, int code)
{
    return ok ? QStringLiteral("ok") : QStringLiteral("failed, error %1").arg(code);
}

} // namespace

NetworkActivity::NetworkActivity(YRHttpNetWorkManager *manager, bool print) : m_print(print)
{
    m_sinceLastEvent.start();
    connect(manager, &YRHttpNetWorkManager::signInFinished, this,
            [this](bool ok, const QJsonObject &session, const QString &error) {
                const QString uid = session.value(QLatin1String("uid")).toString();
                record(NetworkEvent::SignIn, QStringLiteral("api/session"), ok,
                       ok ? QStringLiteral("ok, uid %1").arg(uid)
                          : QStringLiteral("failed: %1").arg(error));
            });
    auto *check = qobject_cast<YRNetWorkCheck *>(manager->getNetWorkObject());
    connect(check, &YRNetWorkCheck::sglResultNetWorkCheck, this,
            [this](bool ok, const QString &mark) {
                record(NetworkEvent::Check, mark, ok,
                       ok ? QStringLiteral("the service answers")
                          : QStringLiteral("the service does not answer"));
            });
    auto *http = qobject_cast<YRHttpRequest *>(manager->getHttpObject());
    connect(http, &YRHttpRequest::sglHttpRequestFinish, this,
            [this](const QString &api, const QJsonObject &reply, const QString &) {
                recordRequest(api, reply);
            });
    connect(http, &YRHttpRequest::sglHttpRequestError, this,
            [this](const QString &api, int code, const QString &) {
                record(NetworkEvent::Request, api, false, outcome(false, code));
            });
    auto *transfer = qobject_cast<YRFileTransfer *>(manager->getTransferObject());
    connect(transfer, &YRFileTransfer::signalDownloadFinished, this,
            [this](bool ok, const QJsonObject &download) {
                record(NetworkEvent::Download, download.value(QLatin1String("dest")).toString(), ok,
                       ok ? QStringLiteral("ok") : QStringLiteral("failed"));
            });
    connect(transfer, &YRFileTransfer::signalUploadFinished, this, &NetworkActivity::recordUpload);
}

void NetworkActivity::recordRequest(const QString &api, const QJsonObject &reply)
{
    const bool ok = reply.value(QLatin1String("success")).toBool();
    record(
        NetworkEvent::Request, api, ok,
        ok ? QStringLiteral("ok")
           : QStringLiteral("refused: %1").arg(reply.value(QLatin1String("message")).toString()));
}

void NetworkActivity::recordUpload(int code, const QJsonObject &upload)
{
    const QString remotePath = upload.value(QLatin1String("remotePath")).toString();
    const QString bucket = upload.value(QLatin1String("bucketName")).toString();
    record(NetworkEvent::Upload, remotePath, code == 0, outcome(code == 0, code),
           remotePath + QStringLiteral(" to ") + bucket);
}

void NetworkActivity::record(NetworkEvent::Kind kind, const QString &subject, bool ok,
                             const QString &result, const QString &shown)
{
    static const char *const kNames[] = {"sign-in", "check", "request", "download", "upload"};
    const NetworkEvent event{
        kind, subject, ok,
        QStringLiteral("%1 %2: %3")
            .arg(QLatin1String(kNames[kind]), shown.isEmpty() ? subject : shown, result)};
    m_sinceLastEvent.restart();
    if (m_print)
        standardOutput() << event.line << '\n';
    m_events.append(event);
}

int NetworkActivity::count(NetworkEvent::Kind kind, const QString &subject, int mark,
                           bool succeeded) const
{
    int found = 0;
    for (int i = qMax(0, mark); i < m_events.size(); ++i) {
        const NetworkEvent &event = m_events.at(i);
        found += event.kind == kind && (subject.isEmpty() || event.subject == subject) &&
                         (!succeeded || event.ok)
                     ? 1
                     : 0;
    }
    return found;
}
