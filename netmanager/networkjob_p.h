#ifndef NETWORKJOB_P_H
#define NETWORKJOB_P_H

#include <QObject>
#include <QTimer>

#include <functional>

class NetworkContext;
class QNetworkReply;

// One network job: it sends its requests, owns the reply under way and its time-out, decides
// what a failure means and whether to try again, and says so once with done(). Subclasses add
// the signal that carries their result, emitted just before done().
class NetworkJob : public QObject
{
    Q_OBJECT

public:
    explicit NetworkJob(NetworkContext *context, QObject *parent = nullptr);
    ~NetworkJob() override;

    // Sends the first request. A job is started once.
    virtual void start() = 0;
    // Stops the job at once without any result signal; it is then only to be deleted.
    virtual void abort();
    // True once the job has emitted done().
    bool isDone() const { return m_done; }

signals:
    // The job needs the network no more: what is left is disk work, for which it need not hold
    // its place among the jobs that run at once. done() still follows.
    void transferred();
    void done();

protected:
    // Takes reply as the one under way and arms the time-out: with idle true it is restarted
    // by every byte sent or received, otherwise it bounds the whole request.
    void watch(QNetworkReply *reply, bool idle);
    // Called when the reply under way has finished; the reply is released after it returns.
    virtual void replyFinished(QNetworkReply *reply) = 0;
    // Called as bytes of the answer arrive.
    virtual void replyReadyRead(QNetworkReply *reply) { Q_UNUSED(reply) }

    // 0 for a complete 2xx answer, else a YRNetworkError code or the HTTP status. A failure to
    // reach the server is also reported to the context.
    int failureOf(QNetworkReply *reply) const;
    // True for the failures worth another attempt: the connection, a time-out, a corrupted
    // transfer, 408, 429 and 5xx.
    static bool isTransient(int code);
    // Runs retry after the pause due before attempt number attempt (1 for the first retry).
    void retryLater(int attempt, const std::function<void()> &retry);
    // Emits done() once, on a later turn of the event loop when deferred is true.
    void finish(bool deferred = false);

    NetworkContext *context() const { return m_context; }
    // The HTTP status of reply, 0 when none.
    static int statusOf(const QNetworkReply *reply);

private:
    void releaseReply();
    void onFinished();

    NetworkContext *m_context;
    QNetworkReply *m_reply = nullptr;
    QTimer m_timeout;
    QTimer m_retry;
    std::function<void()> m_retryAction;
    bool m_idleTimeout = false;
    bool m_timedOut = false;
    bool m_done = false;
};

#endif // NETWORKJOB_P_H
