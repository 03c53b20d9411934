#include "stopsignals.h"

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#ifdef Q_OS_UNIX
#include <pthread.h>
#include <signal.h>

struct StopSignals::Watcher
{
    sigset_t signals;
    std::thread thread;
};

StopSignals::StopSignals(std::function<void()> onStop) : m_watcher(std::make_unique<Watcher>())
{
    sigemptyset(&m_watcher->signals);
    sigaddset(&m_watcher->signals, SIGINT);
    sigaddset(&m_watcher->signals, SIGTERM);
    // SIGUSR2 only ends the watcher, when the server stopped for another reason.
    sigaddset(&m_watcher->signals, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &m_watcher->signals, nullptr);
    m_watcher->thread = std::thread([signals = m_watcher->signals, onStop = std::move(onStop)] {
        int received = 0;
        while (sigwait(&signals, &received) == 0) {
            if (received == SIGUSR2)
                return;
            onStop();
        }
    });
}

StopSignals::~StopSignals()
{
    pthread_kill(m_watcher->thread.native_handle(), SIGUSR2);
    m_watcher->thread.join();
}

#else
// Elsewhere a handler may only set a flag; a thread looks at it.
namespace {
std::atomic<int> stopRequests{0};
void countStopRequest(int)
{
    ++stopRequests;
}
} // namespace

struct StopSignals::Watcher
{
    std::atomic<bool> ending{false};
    std::thread thread;
};

StopSignals::StopSignals(std::function<void()> onStop) : m_watcher(std::make_unique<Watcher>())
{
    std::signal(SIGINT, countStopRequest);
    std::signal(SIGTERM, countStopRequest);
    m_watcher->thread = std::thread([watcher = m_watcher.get(), onStop = std::move(onStop)] {
        int handled = 0;
        while (!watcher->ending) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            for (; handled < stopRequests; ++handled)
                onStop();
        }
    });
}

StopSignals::~StopSignals()
{
    m_watcher->ending = true;
    m_watcher->thread.join();
}
#endif
