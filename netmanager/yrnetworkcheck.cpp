#include "netmanager/yrnetworkcheck.h"

#include "netmanager/apirequestjob_p.h"
#include "netmanager/networkcontext_p.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcNetworkCheck, "yrnetwork.check")

namespace {

const QString kHealthApi = QStringLiteral("api/health");

} // namespace

YRNetWorkCheck::YRNetWorkCheck(NetworkContext *context, QObject *parent)
    : QObject(parent), m_context(context)
{
    m_watch.setInterval(2000);
    connect(&m_watch, &QTimer::timeout, this, &YRNetWorkCheck::watchTick);
}

YRNetWorkCheck::~YRNetWorkCheck() = default;

void YRNetWorkCheck::setWatchInterval(int ms)
{
    m_watch.setInterval(qMax(10, ms));
}

void YRNetWorkCheck::checkNetWork(const QString &mark)
{
    probe([this, mark](bool reachable) { emit sglResultNetWorkCheck(reachable, mark); });
}

void YRNetWorkCheck::probe(const std::function<void(bool)> &answer)
{
    if (!m_context->hasService()) {
        QTimer::singleShot(0, this, [answer] { answer(false); });
        return;
    }
    auto job = std::make_unique<ApiRequestJob>(m_context, ApiRequestJob::Method::Get, kHealthApi,
                                               QMap<QString, QString>());
    ApiRequestJob *raw = job.get();
    raw->setQuiet(true);
    connect(raw, &ApiRequestJob::answered, this, [answer] { answer(true); });
    connect(raw, &ApiRequestJob::failed, this, [answer] { answer(false); });
    connect(raw, &NetworkJob::done, this, [this, raw] {
        for (auto it = m_probes.begin(); it != m_probes.end(); ++it) {
            if (it->get() == raw) {
                it->release()->deleteLater();
                m_probes.erase(it);
                return;
            }
        }
    });
    m_probes.push_back(std::move(job));
    raw->start();
}

void YRNetWorkCheck::connectionFailed()
{
    if (!m_online || m_confirming)
        return;
    m_confirming = true;
    probe([this](bool reachable) {
        m_confirming = false;
        if (!reachable)
            setOnline(false);
    });
}

void YRNetWorkCheck::sessionStarted()
{
    m_online = false;
    setOnline(true);
}

void YRNetWorkCheck::watchTick()
{
    if (m_watchProbe)
        return;
    m_watchProbe = true;
    probe([this](bool reachable) {
        m_watchProbe = false;
        if (reachable)
            setOnline(true);
    });
}

void YRNetWorkCheck::setOnline(bool online)
{
    if (online)
        m_watch.stop();
    else if (m_context->hasService())
        m_watch.start();
    if (online == m_online)
        return;
    m_online = online;
    if (online)
        qCInfo(lcNetworkCheck) << "YRNetWorkCheck: the service answers";
    else
        qCWarning(lcNetworkCheck) << "YRNetWorkCheck: the service does not answer";
    emit sglNetWorkState(online);
}
