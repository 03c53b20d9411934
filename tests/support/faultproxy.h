#ifndef FAULTPROXY_H
#define FAULTPROXY_H

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QUrl>
#include <QVector>

class QTcpSocket;

// A loopback HTTP proxy put in front of a real server, which it reaches on 127.0.0.1. It
// forwards each request on a connection of its own (it asks both sides to close after one
// exchange) and, on command, spoils the exchanges that match a rule: it cuts the answer after
// some bytes of its body, delays the request, answers a status of its own instead of the
// server, or flips a byte of the answer's body. close() makes the server look gone.
class FaultProxy : public QObject
{
    Q_OBJECT

public:
    enum class Fault { Cut, Delay, Status, Corrupt };

    struct Rule
    {
        Fault fault = Fault::Status;
        QByteArray method;       // the request's method; empty for any
        QByteArray pathContains; // a text its path must contain; empty for any
        qint64 bodyOffset = 0;   // Cut, Corrupt: the byte of the answer's body concerned
        int delayMs = 0;         // Delay
        int status = 500;        // Status
        QByteArray body;         // Status: the answer's body
        int times = -1;          // how many exchanges it spoils; -1 for all
    };

    explicit FaultProxy(quint16 upstreamPort, QObject *parent = nullptr);
    ~FaultProxy() override;

    // Listens on 127.0.0.1: a free port the first time (port 0), the same one again after
    // close(). False when it cannot.
    bool listen(quint16 port = 0);
    // Stops listening and drops every exchange under way.
    void close();
    quint16 port() const { return m_port; }
    // "http://127.0.0.1:PORT".
    QUrl url() const;
    void setUpstreamPort(quint16 port) { m_upstreamPort = port; }

    void addRule(const Rule &rule) { m_rules.append(rule); }
    void clearRules() { m_rules.clear(); }
    // How many exchanges a rule has spoiled so far.
    int faultsApplied() const { return m_faults; }
    // How many requests of that method whose path contains the text came so far.
    int requestsSeen(const QByteArray &method, const QByteArray &pathContains) const;

private:
    struct Seen
    {
        QByteArray method;
        QByteArray path;
    };
    class Exchange;

    void onNewConnection();
    // The rule for a request, its count taken; a Rule with times 0 when none applies.
    Rule takeRule(const QByteArray &method, const QByteArray &path);

    QTcpServer m_server;
    quint16 m_port = 0;
    quint16 m_upstreamPort;
    QVector<Rule> m_rules;
    QVector<Seen> m_seen;
    QVector<QPointer<Exchange>> m_exchanges;
    int m_faults = 0;
};

#endif // FAULTPROXY_H
