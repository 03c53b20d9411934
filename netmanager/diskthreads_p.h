#ifndef DISKTHREADS_P_H
#define DISKTHREADS_P_H

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A few threads for the disk work that would otherwise stall the event loop (writing a finished
// download and syncing it to disk before it replaces the old copy). Written on the standard
// library rather than QThreadPool so that every hand-over of work goes through a lock the
// ThreadSanitizer build can see: Qt's own locking is not instrumented, and the sanitizer would
// report the work's data as raced between the threads.
class DiskThreads
{
public:
    explicit DiskThreads(int maxThreads);
    // Runs what is still queued, then returns once every thread has ended.
    ~DiskThreads();

    DiskThreads(const DiskThreads &) = delete;
    DiskThreads &operator=(const DiskThreads &) = delete;

    // Queues work for the next free thread; a thread is started while fewer than maxThreads
    // run and none is free.
    void run(std::function<void()> work);

private:
    void serve();

    const int m_maxThreads;
    std::mutex m_mutex;
    std::condition_variable m_workQueued;
    std::deque<std::function<void()>> m_queue;
    int m_idle = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

#endif // DISKTHREADS_P_H
