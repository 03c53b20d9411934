#ifndef JOBQUEUE_P_H
#define JOBQUEUE_P_H

#include <QList>
#include <QObject>

#include <functional>

class NetworkJob;

// Runs network jobs in the order they came, at most limit at a time. It only schedules: what a
// job does and reports is the job's own affair. It owns the jobs it holds and deletes each
// once it is done or dropped.
class JobQueue : public QObject
{
    Q_OBJECT

public:
    explicit JobQueue(int limit, QObject *parent = nullptr);
    ~JobQueue() override;

    // How many jobs may run at once (at least 1); more start at once if the limit grew.
    void setLimit(int limit);
    // Takes job and starts it as soon as a place is free.
    void enqueue(NetworkJob *job);
    // The jobs waiting or running, in order: running ones first.
    QList<NetworkJob *> jobs() const { return m_running + m_waiting; }
    // True when the job has been started.
    bool isRunning(const NetworkJob *job) const;
    // Stops and deletes every job for which drop is true, without result signals. Returns how
    // many there were.
    int dropIf(const std::function<bool(NetworkJob *)> &drop);
    bool isEmpty() const { return m_running.isEmpty() && m_waiting.isEmpty(); }

signals:
    // A job was started.
    void jobStarted(NetworkJob *job);
    // The last job finished and none waits.
    void drained();

private:
    void startWaiting();
    void onJobDone(NetworkJob *job);

    int m_limit;
    QList<NetworkJob *> m_running;
    QList<NetworkJob *> m_waiting;
};

#endif // JOBQUEUE_P_H
