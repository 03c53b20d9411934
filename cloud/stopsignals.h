#ifndef STOPSIGNALS_H
#define STOPSIGNALS_H

#include <functional>
#include <memory>

// Calls onStop, on a thread of its own, when SIGINT or SIGTERM arrives. Made before any other
// thread starts, so that every thread inherits the blocked signals and only this one takes
// them.
class StopSignals
{
public:
    explicit StopSignals(std::function<void()> onStop);
    ~StopSignals();

    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

private:
    struct Watcher;
    std::unique_ptr<Watcher> m_watcher;
};

#endif // STOPSIGNALS_H
