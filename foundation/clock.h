#pragma once
// The program's clocks and sleeps go through one replaceable clock, so tests can drive time.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

namespace qtr {

// Ends a thread's long sleep early when another thread hands it work. Under Wine setting the
// event is a round trip to the wineserver, so wake() sets it at most once per arm(): while the
// sleeper is busy and does not arm, a wake costs its caller one atomic exchange.
class WakeSignal {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // Called by the sleeper before it looks for work a last time: a wake() from then on ends
    // its next wait.
    void arm() { woken_.store(false); }
    void wake();
    // Waits until woken or the time is up; true when woken (a wake that came after the last
    // wait ended may end this one at once).
    bool waitFor(std::chrono::milliseconds timeout);

private:
    struct Event;
    std::atomic<bool> woken_{true};
    std::unique_ptr<Event> event_;
};

// The worker's: woken by a queued report, a message of the simulator for the worker, a stop.
extern WakeSignal workerWake;

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::steady_clock::time_point steadyNow() = 0;
    // The PC's UTC clock (the program clock and the parked times read it).
    virtual std::chrono::system_clock::time_point systemNow() { return std::chrono::system_clock::now(); }
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;
    virtual void sleepUntil(std::chrono::steady_clock::time_point deadline) = 0;
    // Until the deadline or a wake of the signal, whichever comes first. A clock that only moves
    // when told goes to the deadline, so the passes it drives stay deterministic.
    virtual void sleepUntilWoken(std::chrono::steady_clock::time_point deadline, WakeSignal& signal)
    {
        (void)signal;
        sleepUntil(deadline);
    }
};

// The clock in use (the real one unless a test installed its own).
Clock& clock();
// Installs a clock (nullptr restores the real one). Not thread-safe: tests call it before
// the threads that use the clock start.
void setClock(Clock* replacement);

inline void sleepMs(std::int64_t ms) { clock().sleepFor(std::chrono::milliseconds(ms)); }

} // namespace qtr
