#pragma once
// Helpers of the feed-link tests: a log opened in a folder of its own, and bounded waits.
#include "foundation/log.h"
#include "support/test_support.h"

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace linktest {

// Opens Log.txt in a fresh folder for the lifetime of the object.
class ScopedLog {
public:
    explicit ScopedLog(const std::string& name) : folder_(qtest::freshFolder(name)), cwd_(folder_) { qtr::gf_startLog(); }
    ~ScopedLog() { qtr::closeLog(); }
    std::string text() const { return qtest::readFile(folder_ / "Log.txt"); }

private:
    std::filesystem::path folder_;
    qtest::ScopedCwd cwd_;
};

// Polls until the condition holds; false when it still fails after the bound (a guard
// against hangs, not a timing requirement).
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds bound = std::chrono::milliseconds(10000))
{
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace linktest
