#pragma once
// The program's clocks and sleeps go through one replaceable clock, so tests can drive time.
#include <chrono>
#include <cstdint>

namespace qtr {

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::steady_clock::time_point steadyNow() = 0;
    // The PC's UTC clock (the program clock and the parked times read it).
    virtual std::chrono::system_clock::time_point systemNow() { return std::chrono::system_clock::now(); }
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;
    virtual void sleepUntil(std::chrono::steady_clock::time_point deadline) = 0;
};

// The clock in use (the real one unless a test installed its own).
Clock& clock();
// Installs a clock (nullptr restores the real one). Not thread-safe: tests call it before
// the threads that use the clock start.
void setClock(Clock* replacement);

inline void sleepMs(std::int64_t ms) { clock().sleepFor(std::chrono::milliseconds(ms)); }

} // namespace qtr
