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
        std::this_thread::sleep_until(deadline);
    }
};

RealClock realClock;
Clock* current = &realClock;
} // namespace

Clock& clock() { return *current; }
void setClock(Clock* replacement) { current = replacement ? replacement : &realClock; }

} // namespace qtr
