#ifndef WORKERLOCKER_P_H
#define WORKERLOCKER_P_H

#include <QMutex>

#if defined(__SANITIZE_THREAD__)
#define YRDATA_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define YRDATA_THREAD_SANITIZER 1
#endif
#endif

#ifdef YRDATA_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

// Holds a worker's QMutex for its own lifetime, as QMutexLocker does. Qt 5 locks and unlocks
// a QMutex inside QtCore, which the thread sanitizer does not see, so it would take every
// access guarded by the mutex for a race; in a sanitized build the locker therefore announces
// the lock and the unlock to the sanitizer too. Elsewhere it is a plain lock.
class WorkerLocker
{
public:
    explicit WorkerLocker(QMutex &mutex) : m_mutex(mutex)
    {
#ifdef YRDATA_THREAD_SANITIZER
        __tsan_mutex_pre_lock(&m_mutex, 0);
#endif
        m_mutex.lock();
#ifdef YRDATA_THREAD_SANITIZER
        __tsan_mutex_post_lock(&m_mutex, 0, 0);
#endif
    }

    ~WorkerLocker()
    {
#ifdef YRDATA_THREAD_SANITIZER
        __tsan_mutex_pre_unlock(&m_mutex, 0);
#endif
        m_mutex.unlock();
#ifdef YRDATA_THREAD_SANITIZER
        __tsan_mutex_post_unlock(&m_mutex, 0);
#endif
    }

    WorkerLocker(const WorkerLocker &) = delete;
    WorkerLocker &operator=(const WorkerLocker &) = delete;

private:
    QMutex &m_mutex;
};

#endif // WORKERLOCKER_P_H
