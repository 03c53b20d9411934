#ifndef YRNETWORKCHECK_H
#define YRNETWORKCHECK_H

#include "interfaces/iyrnetworkmanager.h"
#include "yrnetwork_export.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class ApiRequestJob;
class NetworkContext;

// The network-check object of YRHttpNetWorkManager. A check asks the service's health address;
// connectivity is watched: when requests fail to reach the service and a check confirms it,
// sglNetWorkState(false) is emitted and the service is asked again every few seconds until it
// answers, then sglNetWorkState(true).
class YRNETWORK_EXPORT YRNetWorkCheck : public QObject, public IYRNetWorkCheck
{
    Q_OBJECT
    Q_INTERFACES(IYRNetWorkCheck)

public:
    explicit YRNetWorkCheck(NetworkContext *context, QObject *parent = nullptr);
    ~YRNetWorkCheck() override;

    // Asks the service; answers sglResultNetWorkCheck(reachable, mark) on a later turn of the
    // event loop (false at once when there is no session).
    void checkNetWork(const QString &mark) override;

    // A request failed to reach the service: checks it, and when it does not answer, reports
    // the network as lost and watches for its return.
    void connectionFailed();
    // A session has begun: the network counts as there, reported by sglNetWorkState(true).
    void sessionStarted();
    // False while the service is known not to answer.
    bool isOnline() const { return m_online; }
    // How often a lost service is asked again (2000 ms by default).
    void setWatchInterval(int ms);

signals:
    void sglNetWorkState(bool bState);
    void sglResultNetWorkCheck(bool bState, QString strMark);

private:
    // Asks the health address; then calls answer with whether the service answered.
    void probe(const std::function<void(bool)> &answer);
    void setOnline(bool online);
    void watchTick();

    NetworkContext *m_context;
    std::vector<std::unique_ptr<ApiRequestJob>> m_probes;
    QTimer m_watch;
    bool m_online = false;
    bool m_confirming = false;
    bool m_watchProbe = false;
};

#endif // YRNETWORKCHECK_H
