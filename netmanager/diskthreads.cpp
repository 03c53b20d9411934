#include "netmanager/diskthreads_p.h"

DiskThreads::DiskThreads(int maxThreads) : m_maxThreads(maxThreads) {}

DiskThreads::~DiskThreads()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_workQueued.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
}

void DiskThreads::run(std::function<void()> work)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.push_back(std::move(work));
    if (m_idle == 0 && int(m_threads.size()) < m_maxThreads)
        m_threads.emplace_back([this] { serve(); });
    else
        m_workQueued.notify_one();
}

void DiskThreads::serve()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        ++m_idle;
        m_workQueued.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        --m_idle;
        if (m_queue.empty())
            return; // stopping, and nothing left to do
        std::function<void()> work = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        work();
        work = nullptr; // what it holds goes before the lock is taken again
        lock.lock();
    }
}
