#pragma once
// Helpers of the feed-link tests: a log opened in a folder of its own, and bounded waits.
#include "foundation/log.h"
#include "links/udp_receiver.h"
#include "support/test_support.h"
#include "traffic/run/worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>

namespace linktest {

// Opens Log.txt in a fresh folder for the lifetime of the object.
class ScopedLog {
public:
    explicit ScopedLog(const std::string& name) : folder_(qtest::freshFolder(name)), cwd_(folder_)
    {
        qtr::gf_startLog();
    }
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

// Runs a reader thread on a free loopback port.
class RunningReader {
public:
    RunningReader(qtr::UdpReceiver& reader, bool feedLocal) : reader_(reader)
    {
        qtr::feedOnThisPc = feedLocal;
        reader.bindAddressOverride = "127.0.0.1";
        reader.boundPort = 0;
        reader.stop = false;
        done_ = std::async(std::launch::async, [&reader] { qtr::runReaderThread(reader, "Test Reader", 0, {}); });
        EXPECT_TRUE(eventually([&] { return reader.boundPort.load() != 0; }));
    }
    ~RunningReader()
    {
        reader_.stop = true;
        done_.wait();
        qtr::feedOnThisPc = false;
    }
    std::uint16_t port() const { return reader_.boundPort.load(); }
    // The thread has ended (within the bound).
    bool endsSoon() { return done_.wait_for(std::chrono::seconds(5)) == std::future_status::ready; }
    bool running() { return done_.wait_for(std::chrono::seconds(0)) != std::future_status::ready; }

private:
    qtr::UdpReceiver& reader_;
    std::future<void> done_;
};

} // namespace linktest
