#include "foundation/clock.h"

#include <thread>

namespace qtr {

namespace {
class RealClock final : public Clock {
public:
    std::chrono::steady_clock::time_point steadyNow() override { return std::chrono::steady_clock::now(); }
    void sleepFor(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
    void sleepUntil(std::chrono::steady_clock::time_point deadline) override
    {
        // Whole milliseconds, rounded up: this library's sleep_until sleeps the last fraction of
        // a millisecond as a series of zero-length sleeps, which keeps a 1 ms loop spinning.
        const auto now = std::chrono::steady_clock::now();
        if (deadline <= now) return;
        std::this_thread::sleep_for(std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
    }
};

RealClock realClock;
Clock* current = &realClock;
} // namespace

Clock& clock() { return *current; }
void setClock(Clock* replacement) { current = replacement ? replacement : &realClock; }

} // namespace qtr
