#include "foundation/clock.h"

#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

namespace qtr {

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
};

RealClock realClock;
Clock* current = &realClock;
} // namespace

Clock& clock() { return *current; }
void setClock(Clock* replacement) { current = replacement ? replacement : &realClock; }

} // namespace qtr
