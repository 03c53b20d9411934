#include "netmanager/jobqueue_p.h"

#include "netmanager/networkjob_p.h"

namespace {

// Jobs that may finish their disk work beside the running ones. A download holds at most 4 MiB
// in memory until its disk thread has written it.
const int kMostSettling = 8;

} // namespace

JobQueue::JobQueue(int limit, QObject *parent) : QObject(parent), m_limit(qMax(1, limit)) {}

JobQueue::~JobQueue()
{
    // Children go with the queue; stop them first so that none reports into a half-destroyed
    // owner.
    for (NetworkJob *job : jobs())
        job->abort();
}

void JobQueue::setLimit(int limit)
{
    m_limit = qMax(1, limit);
    startWaiting();
}

void JobQueue::enqueue(NetworkJob *job)
{
    job->setParent(this);
    connect(job, &NetworkJob::transferred, this, [this, job] { onJobTransferred(job); });
    connect(job, &NetworkJob::done, this, [this, job] { onJobDone(job); });
    m_waiting.append(job);
    startWaiting();
}

bool JobQueue::isRunning(const NetworkJob *job) const
{
    auto *started = const_cast<NetworkJob *>(job);
    return m_running.contains(started) || m_settling.contains(started);
}

int JobQueue::dropIf(const std::function<bool(NetworkJob *)> &drop)
{
    int dropped = 0;
    for (NetworkJob *job : jobs()) {
        if (!drop(job))
            continue;
        forget(job);
        disconnect(job, nullptr, this, nullptr);
        job->abort();
        job->deleteLater();
        ++dropped;
    }
    if (dropped > 0)
        startWaiting();
    return dropped;
}

void JobQueue::startWaiting()
{
    while (m_running.size() < m_limit && !m_waiting.isEmpty()) {
        NetworkJob *job = m_waiting.takeFirst();
        m_running.append(job);
        emit jobStarted(job);
        job->start();
    }
}

void JobQueue::onJobTransferred(NetworkJob *job)
{
    if (m_settling.size() >= kMostSettling || !m_running.removeOne(job))
        return;
    m_settling.append(job);
    startWaiting();
}

void JobQueue::onJobDone(NetworkJob *job)
{
    forget(job);
    job->deleteLater();
    startWaiting();
    if (isEmpty())
        emit drained();
}

void JobQueue::forget(NetworkJob *job)
{
    if (!m_running.removeOne(job) && !m_settling.removeOne(job))
        m_waiting.removeOne(job);
}
