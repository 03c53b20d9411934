#ifndef HTTPSERVER_H
#define HTTPSERVER_H

#include <QString>

#include <atomic>
#include <memory>

class Database;
class HttpExchange;
class PlanService;
class StoreService;
class UserDirectory;

namespace httplib {
struct Request;
struct Response;
class ContentReader;
} // namespace httplib

// The HTTP server: cpp-httplib's server on a pool of worker threads, routing /api/ to the plan
// service and everything else to the store. It logs one line for every request it refuses,
// and stops by finishing the requests in flight.
class CloudServer
{
public:
    CloudServer(Database *database, UserDirectory *users, int threads);
    ~CloudServer();

    CloudServer(const CloudServer &) = delete;
    CloudServer &operator=(const CloudServer &) = delete;

    // Listens on host:port (port 0 picks a free one); false, with *error, when it cannot.
    bool bind(const QString &host, int port, QString *error);
    // The port it listens on, once bound.
    int port() const { return m_port; }
    // The services that answer /api/ and the store; set before serve().
    void setServices(PlanService *plans, StoreService *store);
    // Serves until stop(); returns once every request in flight has been answered.
    void serve();
    // Stops taking connections; the requests in flight go on to their end. Any thread may
    // call it.
    void stop();

private:
    class Server;

    void dispatch(const httplib::Request &request, httplib::Response &response,
                  const httplib::ContentReader *reader);
    int admit(const httplib::Request &request, httplib::Response &response);
    void answerApi(HttpExchange &exchange);
    void logAnswer(const httplib::Request &request, const httplib::Response &response);

    Database *m_database;
    UserDirectory *m_users;
    PlanService *m_plans = nullptr;
    StoreService *m_store = nullptr;
    int m_threads;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::unique_ptr<Server> m_server;
};

#endif // HTTPSERVER_H
