#include "foundation/clock.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

namespace qtr {

#ifdef _WIN32
struct WakeSignal::Event {
    HANDLE handle = CreateEventW(nullptr, FALSE, FALSE, nullptr); // auto-reset
    Event()
    {
        if (!handle) throw std::runtime_error("CreateEvent failed");
    }
    ~Event() { CloseHandle(handle); }
    void set() { SetEvent(handle); }
    bool wait(std::chrono::milliseconds timeout)
    {
        const auto ms = std::clamp<std::int64_t>(timeout.count(), 0, INFINITE - 1);
        return WaitForSingleObject(handle, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
    }
};
#else
struct WakeSignal::Event {
    std::mutex mutex;
    std::condition_variable setCondition;
    bool signalled = false; // guarded by mutex
    void set()
    {
        {
            std::lock_guard lock(mutex);
            signalled = true;
        }
        setCondition.notify_one();
    }
    bool wait(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(mutex);
        if (!setCondition.wait_for(lock, timeout, [this] { return signalled; })) return false;
        signalled = false;
        return true;
    }
};
#endif

WakeSignal::WakeSignal() : event_(std::make_unique<Event>()) {}
WakeSignal::~WakeSignal() = default;

void WakeSignal::wake()
{
    if (!woken_.exchange(true)) event_->set();
}

bool WakeSignal::waitFor(std::chrono::milliseconds timeout) { return event_->wait(timeout); }

WakeSignal workerWake;

namespace {

// A plain sleep of whole milliseconds. On Windows it is Sleep: the C++ library's sleep waits
// alertably, which under Wine costs a round trip to the wineserver each time (the worker sleeps
// a hundred times a second), while Sleep costs none.
void sleepMilliseconds(std::chrono::milliseconds duration)
{
    if (duration <= std::chrono::milliseconds::zero()) return;
#ifdef _WIN32
    Sleep(static_cast<DWORD>(duration.count()));
#else
    std::this_thread::sleep_for(duration);
#endif
}

class RealClock final : public Clock {
public:
    std::chrono::steady_clock::time_point steadyNow() override { return std::chrono::steady_clock::now(); }
    void sleepFor(std::chrono::milliseconds duration) override { sleepMilliseconds(duration); }
    void sleepUntil(std::chrono::steady_clock::time_point deadline) override
    {
        // Whole milliseconds, rounded up: this library's sleep_until sleeps the last fraction of
        // a millisecond as a series of zero-length sleeps, which keeps a 1 ms loop spinning.
        const auto now = std::chrono::steady_clock::now();
        if (deadline <= now) return;
        sleepMilliseconds(std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
    }
    void sleepUntilWoken(std::chrono::steady_clock::time_point deadline, WakeSignal& signal) override
    {
        const auto now = std::chrono::steady_clock::now();
        if (deadline <= now) return;
        signal.waitFor(std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
    }
};

RealClock realClock;
Clock* current = &realClock;
} // namespace

Clock& clock() { return *current; }
void setClock(Clock* replacement) { current = replacement ? replacement : &realClock; }

} // namespace qtr
