#ifndef JOBQUEUE_P_H
#define JOBQUEUE_P_H

#include <QList>
#include <QObject>

#include <functional>

class NetworkJob;

// Runs network jobs in the order they came, at most limit at a time on the network. A job that
// has transferred what it needed gives its place to the next while it finishes its disk work
// (a few such jobs at once, so that what they hold in memory stays bounded). It only
// schedules: what a job does and reports is the job's own affair. It owns the jobs it holds and
// deletes each once it is done or dropped.
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
    // The jobs waiting or started, in order: started ones first.
    QList<NetworkJob *> jobs() const { return m_settling + m_running + m_waiting; }
    // True when the job has been started.
    bool isRunning(const NetworkJob *job) const;
    // Stops and deletes every job for which drop is true, without result signals. Returns how
    // many there were.
    int dropIf(const std::function<bool(NetworkJob *)> &drop);
    bool isEmpty() const
    {
        return m_settling.isEmpty() && m_running.isEmpty() && m_waiting.isEmpty();
    }

signals:
    // A job was started.
    void jobStarted(NetworkJob *job);
    // The last job finished and none waits.
    void drained();

private:
    void startWaiting();
    void onJobTransferred(NetworkJob *job);
    void onJobDone(NetworkJob *job);
    // Takes job out of the lists it is in.
    void forget(NetworkJob *job);

    int m_limit;
    // Started jobs that only finish their disk work, holding no place.
    QList<NetworkJob *> m_settling;
    QList<NetworkJob *> m_running;
    QList<NetworkJob *> m_waiting;
};

#endif // JOBQUEUE_P_H
