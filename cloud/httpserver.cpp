#include "httpserver.h"

#include "cloudlog.h"
#include "database.h"
#include "httpexchange.h"
#include "planservice.h"
#include "promptack.h"
#include "s3xml.h"
#include "storeservice.h"
#include "users.h"

#include <httplib.h>

#include <QJsonDocument>
#include <QMap>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

// A form body may carry a teacher's long reflection, but not more than this.
const qint64 kMaxFormBody = 1024 * 1024;

// Who was refused and why, left by the handler for the log line that the server library asks
// for on the same thread once the answer is written.
struct Refusal
{
    QString who;
    QString why;
};
thread_local Refusal lastRefusal;

// The worker threads that answer connections. cpp-httplib's own pool cannot run code when a
// thread ends, and each thread must close its database connection there.
class WorkerPool : public httplib::TaskQueue
{
public:
    WorkerPool(int count, Database *database) : m_database(database)
    {
        for (int i = 0; i < count; ++i)
            m_threads.emplace_back([this] { work(); });
    }

    void enqueue(std::function<void()> job) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_jobs.push_back(std::move(job));
        }
        m_wake.notify_one();
    }

    // Runs what is queued, then ends the threads.
    void shutdown() override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_ending = true;
        }
        m_wake.notify_all();
        for (std::thread &thread : m_threads)
            thread.join();
    }

private:
    void work()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_ending || !m_jobs.empty(); });
                if (m_jobs.empty())
                    break;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            job();
        }
        m_database->releaseThisThread();
    }

    Database *m_database;
    std::vector<std::thread> m_threads;
    std::deque<std::function<void()>> m_jobs;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_ending = false;
};

// Decodes application/x-www-form-urlencoded text ("+" is a space).
QMap<QString, QString> formFields(const QByteArray &encoded)
{
    QMap<QString, QString> fields;
    for (QByteArray part : encoded.split('&')) {
        if (part.isEmpty())
            continue;
        part.replace('+', ' ');
        const int equals = part.indexOf('=');
        const QByteArray name = equals < 0 ? part : part.left(equals);
        const QByteArray value = equals < 0 ? QByteArray() : part.mid(equals + 1);
        fields.insert(QString::fromUtf8(QByteArray::fromPercentEncoding(name)),
                      QString::fromUtf8(QByteArray::fromPercentEncoding(value)));
    }
    return fields;
}

void replyJson(HttpExchange &exchange, const ApiReply &reply)
{
    if (!reply.refusal.isEmpty() && reply.status >= 400)
        exchange.setRefusal(reply.refusal);
    exchange.reply(reply.status, "application/json; charset=utf-8",
                   QJsonDocument(reply.body).toJson(QJsonDocument::Compact));
}

ApiReply apiFailure(int status, const QString &message)
{
    return {status,
            QJsonObject{{QStringLiteral("success"), false}, {QStringLiteral("message"), message}},
            message};
}

QString bearerToken(const HttpExchange &exchange)
{
    const QByteArray authorization = exchange.header("Authorization").trimmed();
    if (!authorization.startsWith("Bearer "))
        return QString();
    return QString::fromUtf8(authorization.mid(7).trimmed());
}

} // namespace

// cpp-httplib's server with two changes that its interface does not offer. It listens with a
// backlog of 5, which drops connections when a hundred clients come at once; listening again
// widens it. And its stop() ends the answers being written too, so the listening socket is
// shut down instead, which ends the accepting loop alone.
class CloudServer::Server : public httplib::Server
{
public:
    void widenBacklog() { ::listen(svr_sock_, SOMAXCONN); }
    void stopAccepting()
    {
#ifdef _WIN32
        ::shutdown(svr_sock_, SD_BOTH);
#else
        ::shutdown(svr_sock_, SHUT_RDWR);
#endif
    }
};

CloudServer::CloudServer(Database *database, UserDirectory *users, int threads, int timeoutSeconds)
    : m_database(database), m_users(users), m_threads(threads), m_server(std::make_unique<Server>())
{
    Server &server = *m_server;
    server.new_task_queue = [this] { return new WorkerPool(m_threads, m_database); };
    server.set_keep_alive_max_count(100);
    // A short answer goes out as two writes, its header and its body; without this the body
    // waits for the client's delayed ACK of the header.
    server.set_tcp_nodelay(true);
    server.set_pre_routing_handler([](const httplib::Request &request, httplib::Response &) {
        PromptAck::headerRead(request.remote_addr, request.remote_port, request.local_port);
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.set_read_timeout(timeoutSeconds);
    server.set_write_timeout(timeoutSeconds);
    const auto plain = [this](const httplib::Request &request, httplib::Response &response) {
        dispatch(request, response, nullptr);
    };
    const auto withBody = [this](const httplib::Request &request, httplib::Response &response,
                                 const httplib::ContentReader &reader) {
        dispatch(request, response, &reader);
    };
    server.Get(".*", plain);
    server.Delete(".*", plain);
    server.Post(".*", withBody);
    server.Put(".*", withBody);
    server.Delete(".*", withBody);
    server.set_expect_100_continue_handler(
        [this](const httplib::Request &request, httplib::Response &response) {
            return admit(request, response);
        });
    server.set_logger([this](const httplib::Request &request, const httplib::Response &response) {
        logAnswer(request, response);
    });
}

CloudServer::~CloudServer() = default;

bool CloudServer::bind(const QString &host, int port, QString *error)
{
    m_port = port == 0 ? m_server->bind_to_any_port(host.toStdString())
                       : (m_server->bind_to_port(host.toStdString(), port) ? port : -1);
    if (m_port > 0) {
        m_server->widenBacklog();
        return true;
    }
    *error = QStringLiteral("cannot listen on %1:%2").arg(host).arg(port);
    return false;
}

void CloudServer::setServices(PlanService *plans, StoreService *store)
{
    m_plans = plans;
    m_store = store;
}

void CloudServer::serve()
{
    m_server->listen_after_bind();
}

void CloudServer::stop()
{
    m_stopping = true;
    m_server->stopAccepting();
}

void CloudServer::dispatch(const httplib::Request &request, httplib::Response &response,
                           const httplib::ContentReader *reader)
{
    HttpExchange exchange(request, response, reader);
    if (exchange.rawPath().startsWith("/api/"))
        answerApi(exchange);
    else if (m_store)
        m_store->handle(exchange);
    else
        refuseObjects(exchange);
    if (m_stopping)
        exchange.setHeader("Connection", "close");
    lastRefusal = {exchange.who(), exchange.refusal()};
}

void CloudServer::refuseObjects(HttpExchange &exchange)
{
    const QString why = QStringLiteral("this server keeps no objects: they are in the district's "
                                       "store that the session names");
    exchange.setRefusal(why);
    exchange.reply(
        404, "application/xml",
        S3Xml::error(QStringLiteral("NoSuchBucket"), why, QString::fromUtf8(exchange.rawPath())));
}

int CloudServer::admit(const httplib::Request &request, httplib::Response &response)
{
    HttpExchange exchange(request, response, nullptr);
    bool admitted = true;
    if (!exchange.rawPath().startsWith("/api/") && !m_store) {
        refuseObjects(exchange);
        admitted = false;
    } else if (!exchange.rawPath().startsWith("/api/")) {
        admitted = m_store->admit(exchange);
    } else if (!m_users->userForToken(bearerToken(exchange))) {
        replyJson(exchange, apiFailure(401, QStringLiteral("no valid bearer token")));
        admitted = false;
    }
    lastRefusal = {exchange.who(), exchange.refusal()};
    if (admitted)
        return 100;
    // This answer goes out without the library's length header, which only answers from
    // handlers get; without it the client would wait for the connection to close.
    response.set_header("Content-Length", std::to_string(response.body.size()));
    return response.status;
}

void CloudServer::answerApi(HttpExchange &exchange)
{
    const QByteArray path = exchange.rawPath();
    if (path == "/api/health")
        return replyJson(exchange, m_plans->health());
    const std::optional<CloudUser> user = m_users->userForToken(bearerToken(exchange));
    if (!user)
        return replyJson(exchange, apiFailure(401, exchange.hasHeader("Authorization")
                                                       ? QStringLiteral("the token is not known")
                                                       : QStringLiteral("no bearer token")));
    exchange.setWho(QStringLiteral("uid %1").arg(user->uid));
    if (path == "/api/session")
        return replyJson(exchange,
                         exchange.method() == "GET"
                             ? m_plans->session(*user)
                             : apiFailure(405, QStringLiteral("session is asked with GET")));
    const QByteArray prefix = "/api/teaplan/";
    if (!path.startsWith(prefix))
        return replyJson(
            exchange,
            apiFailure(404, QStringLiteral("there is no %1").arg(QString::fromUtf8(path))));
    QMap<QString, QString> params = formFields(exchange.rawQuery());
    if (exchange.method() == "POST") {
        QByteArray body;
        switch (exchange.readBody(kMaxFormBody, &body)) {
        case HttpExchange::BodyResult::TooLarge:
            return replyJson(exchange, apiFailure(413, QStringLiteral("the form is larger than "
                                                                      "1 MiB")));
        case HttpExchange::BodyResult::Broken:
            return replyJson(exchange, apiFailure(400, QStringLiteral("the form was cut off")));
        case HttpExchange::BodyResult::Read:
            break;
        }
        const QMap<QString, QString> fields = formFields(body);
        for (auto it = fields.cbegin(); it != fields.cend(); ++it)
            params.insert(it.key(), it.value());
    }
    const QString api = QString::fromUtf8(QByteArray::fromPercentEncoding(path.mid(prefix.size())));
    replyJson(exchange, m_plans->handle(*user, exchange.method(), api, params));
}

void CloudServer::logAnswer(const httplib::Request &request, const httplib::Response &response)
{
    const Refusal refusal = std::exchange(lastRefusal, Refusal());
    if (response.status < 400) {
        qCDebug(lcServer).noquote()
            << request.method.c_str() << request.target.c_str() << response.status;
        return;
    }
    if (request.method.empty()) {
        qCWarning(lcServer).noquote()
            << QStringLiteral("refused a request that is not HTTP: %1").arg(response.status);
        return;
    }
    const QString who = refusal.who.isEmpty() ? QStringLiteral("anonymous") : refusal.who;
    const QString why =
        refusal.why.isEmpty() ? QStringLiteral("the request is malformed") : refusal.why;
    // One arg() with every value, so that a "%" in the target is not taken for a marker.
    qCWarning(lcServer).noquote() << QStringLiteral("refused %1 %2 from %3:%4 (%5): %6 %7")
                                         .arg(QString::fromStdString(request.method),
                                              QString::fromStdString(request.target),
                                              QString::fromStdString(request.remote_addr),
                                              QString::number(request.remote_port), who,
                                              QString::number(response.status), why);
}
