#include "support/faultproxy.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

namespace {

const QByteArray kHeadEnd = QByteArrayLiteral("\r\n\r\n");

// The head with its Connection headers replaced by "Connection: close", so that every
// exchange has a connection of its own and rules apply to whole exchanges.
QByteArray oneExchangeHead(const QByteArray &head, qint64 *contentLength)
{
    QList<QByteArray> lines = head.split('\n');
    QByteArray rewritten;
    *contentLength = 0;
    for (QByteArray line : lines) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        const QByteArray name = line.left(line.indexOf(':')).trimmed().toLower();
        if (name == "connection" || name == "keep-alive" || name == "proxy-connection")
            continue;
        if (name == "content-length")
            *contentLength = line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        rewritten += line + "\r\n";
    }
    return rewritten + "Connection: close\r\n\r\n";
}

} // namespace

// One request and its answer, between the client's connection and one to the server.
class FaultProxy::Exchange : public QObject
{
public:
    Exchange(FaultProxy *proxy, QTcpSocket *client)
        : QObject(proxy), m_proxy(proxy), m_client(client)
    {
        client->setParent(this);
        connect(client, &QTcpSocket::readyRead, this, &Exchange::readClient);
        connect(client, &QTcpSocket::disconnected, this, &Exchange::drop);
    }

    void drop()
    {
        if (m_upstream)
            m_upstream->abort();
        m_client->abort();
        deleteLater();
    }

private:
    void readClient()
    {
        m_pending += m_client->readAll();
        if (m_head.isEmpty()) {
            const int end = m_pending.indexOf(kHeadEnd);
            if (end < 0)
                return;
            startExchange(m_pending.left(end + kHeadEnd.size()));
            m_pending.remove(0, end + kHeadEnd.size());
        }
        forwardRequestBytes();
    }

    void startExchange(const QByteArray &head)
    {
        const QList<QByteArray> requestLine = head.left(head.indexOf('\r')).split(' ');
        const QByteArray method = requestLine.value(0);
        const QByteArray path = requestLine.value(1);
        m_head = oneExchangeHead(head, &m_requestLeft);
        m_rule = m_proxy->takeRule(method, path);
        if (m_rule.times == 0) {
            connectUpstream();
        } else if (m_rule.fault == Fault::Delay) {
            QTimer::singleShot(m_rule.delayMs, this, &Exchange::connectUpstream);
        } else if (m_rule.fault != Fault::Status) {
            connectUpstream();
        }
    }

    void connectUpstream()
    {
        m_upstream = new QTcpSocket(this);
        connect(m_upstream, &QTcpSocket::connected, this, [this] {
            m_upstream->write(m_head);
            forwardRequestBytes();
        });
        connect(m_upstream, &QTcpSocket::readyRead, this, &Exchange::readUpstream);
        connect(m_upstream, &QTcpSocket::disconnected, this, [this] {
            if (m_upstream->bytesAvailable() > 0)
                readUpstream();
            m_client->disconnectFromHost();
        });
        connect(m_upstream, &QAbstractSocket::errorOccurred, this,
                [this](QAbstractSocket::SocketError error) {
                    if (error != QAbstractSocket::RemoteHostClosedError)
                        m_client->disconnectFromHost();
                });
        m_upstream->connectToHost(QHostAddress::LocalHost, m_proxy->m_upstreamPort);
    }

    // Sends on what the client sent after the head; a request answered by the proxy itself
    // is read to its end first, so that the client is not cut while it sends.
    void forwardRequestBytes()
    {
        if (m_head.isEmpty())
            return;
        if (m_rule.times != 0 && m_rule.fault == Fault::Status) {
            m_requestLeft -= m_pending.size();
            m_pending.clear();
            if (m_requestLeft <= 0 && !m_answered)
                answerFault();
            return;
        }
        if (m_upstream && m_upstream->state() == QAbstractSocket::ConnectedState &&
            !m_pending.isEmpty()) {
            m_upstream->write(m_pending);
            m_pending.clear();
        }
    }

    void answerFault()
    {
        m_answered = true;
        m_client->write("HTTP/1.1 " + QByteArray::number(m_rule.status) +
                        " Fault\r\nContent-Type: application/xml\r\nContent-Length: " +
                        QByteArray::number(m_rule.body.size()) + "\r\nConnection: close\r\n\r\n" +
                        m_rule.body);
        m_client->disconnectFromHost();
    }

    void readUpstream()
    {
        QByteArray bytes = m_upstream->readAll();
        if (m_answerBody < 0) {
            m_answerHead += bytes;
            const int end = m_answerHead.indexOf(kHeadEnd);
            if (end < 0)
                return;
            bytes = m_answerHead.mid(end + kHeadEnd.size());
            m_client->write(m_answerHead.left(end + kHeadEnd.size()));
            m_answerBody = 0;
        }
        if (m_rule.times != 0)
            bytes = spoiled(bytes);
        m_answerBody += bytes.size();
        m_client->write(bytes);
        if (m_cut) {
            m_upstream->abort();
            m_client->disconnectFromHost();
        }
    }

    // The part of the answer's body in bytes after the rule has been applied to it.
    QByteArray spoiled(QByteArray bytes)
    {
        const qint64 offset = m_rule.bodyOffset - m_answerBody;
        if (offset < 0 || offset >= bytes.size())
            return bytes;
        if (m_rule.fault == Fault::Cut) {
            m_cut = true;
            return bytes.left(int(offset));
        }
        if (m_rule.fault == Fault::Corrupt)
            bytes[int(offset)] = char(bytes.at(int(offset)) ^ 0xff);
        return bytes;
    }

    FaultProxy *m_proxy;
    QTcpSocket *m_client;
    QTcpSocket *m_upstream = nullptr;
    QByteArray m_pending;
    QByteArray m_head;
    qint64 m_requestLeft = 0;
    Rule m_rule;
    QByteArray m_answerHead;
    qint64 m_answerBody = -1;
    bool m_answered = false;
    bool m_cut = false;
};

FaultProxy::FaultProxy(quint16 upstreamPort, QObject *parent)
    : QObject(parent), m_upstreamPort(upstreamPort)
{
    connect(&m_server, &QTcpServer::newConnection, this, &FaultProxy::onNewConnection);
}

FaultProxy::~FaultProxy()
{
    close();
}

bool FaultProxy::listen(quint16 port)
{
    if (!m_server.listen(QHostAddress::LocalHost, port != 0 ? port : m_port))
        return false;
    m_port = m_server.serverPort();
    return true;
}

void FaultProxy::close()
{
    m_server.close();
    for (const QPointer<Exchange> &exchange : m_exchanges) {
        if (exchange)
            exchange->drop();
    }
    m_exchanges.clear();
}

QUrl FaultProxy::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port));
}

int FaultProxy::requestsSeen(const QByteArray &method, const QByteArray &pathContains) const
{
    int count = 0;
    for (const Seen &seen : m_seen) {
        if (seen.method == method && seen.path.contains(pathContains))
            ++count;
    }
    return count;
}

void FaultProxy::onNewConnection()
{
    m_exchanges.removeAll(QPointer<Exchange>());
    while (QTcpSocket *client = m_server.nextPendingConnection())
        m_exchanges.append(new Exchange(this, client));
}

FaultProxy::Rule FaultProxy::takeRule(const QByteArray &method, const QByteArray &path)
{
    m_seen.append({method, path});
    for (Rule &rule : m_rules) {
        if (rule.times == 0 || (!rule.method.isEmpty() && rule.method != method) ||
            !path.contains(rule.pathContains))
            continue;
        if (rule.times > 0)
            --rule.times;
        ++m_faults;
        Rule taken = rule;
        taken.times = 1;
        return taken;
    }
    Rule none;
    none.times = 0;
    return none;
}
