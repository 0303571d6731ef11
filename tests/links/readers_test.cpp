#include "foundation/indicators.h"
#include "foundation/os_sockets.h"
#include "links/feed.h"
#include "links/udp_receiver.h"
#include "link_test_support.h"
#include "rtpeer.h"
#include "foundation/run_control.h"
#include "traffic/run/worker.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>

using namespace qtr;
using linktest::eventually;
using linktest::RunningReader;

namespace {

// A receiver that keeps every datagram handed to it.
class KeepingReceiver : public UdpReceiver {
public:
    void onPacket() override
    {
        std::lock_guard lock(mutex);
        handled.emplace_back(data);
    }
    void onStopped() override { stopped = true; }
    std::vector<std::string> seen()
    {
        std::lock_guard lock(mutex);
        return handled;
    }
    bool saw(const std::string& text)
    {
        const auto all = seen();
        return std::find(all.begin(), all.end(), text) != all.end();
    }

    std::mutex mutex;
    std::vector<std::string> handled;
    std::atomic<bool> stopped{false};
};

} // namespace

TEST(UdpReaders, RemoteFeedSkipsOnlyTheImmediateRepeat)
{
    KeepingReceiver reader;
    RunningReader running(reader, false);
    rtpeer::UdpSender sender;
    for (const char* d : {"A", "A", "B", "A", "END"}) ASSERT_TRUE(sender.send(running.port(), d));
    ASSERT_TRUE(eventually([&] { return reader.saw("END"); }));
    EXPECT_EQ(reader.seen(), (std::vector<std::string>{"A", "B", "A", "END"}));
    EXPECT_EQ(reader.packets.load(), 5u); // the repeat counts as received
}

TEST(UdpReaders, LocalFeedPassesEveryDatagram)
{
    KeepingReceiver reader;
    RunningReader running(reader, true);
    rtpeer::UdpSender sender;
    for (const char* d : {"A", "A", "END"}) ASSERT_TRUE(sender.send(running.port(), d));
    ASSERT_TRUE(eventually([&] { return reader.saw("END"); }));
    EXPECT_EQ(reader.seen(), (std::vector<std::string>{"A", "A", "END"}));
}

TEST(UdpReaders, OversizedDatagramsAreSkippedAndTheReaderGoesOn)
{
    linktest::ScopedLog log("udp-oversized");
    KeepingReceiver reader;
    RunningReader running(reader, true);
    rtpeer::UdpSender sender;
    ASSERT_TRUE(sender.send(running.port(), std::string(16384, 'X')));
    ASSERT_TRUE(sender.send(running.port(), std::string(30000, 'Y')));
    ASSERT_TRUE(sender.send(running.port(), std::string(16383, 'Z')));
    ASSERT_TRUE(sender.send(running.port(), "END"));
    ASSERT_TRUE(eventually([&] { return reader.saw("END"); }));
    EXPECT_EQ(reader.seen(), (std::vector<std::string>{std::string(16383, 'Z'), "END"}));
    EXPECT_TRUE(running.running());
    EXPECT_FALSE(stopRequested.load());
    EXPECT_NE(log.text().find("buffer overrun: 16384 bytes"), std::string::npos);
}

TEST(UdpReaders, StopEndsAnIdleReaderAndFreesItsPort)
{
    KeepingReceiver reader;
    RunningReader running(reader, true);
    const Ipv4Endpoint itsPort{loopbackAddress, running.port()};
    const SocketLibraryUse library;
    EXPECT_FALSE(Socket::open(SocketKind::datagram).bind(itsPort));
    reader.stop = true;
    EXPECT_TRUE(running.endsSoon());
    EXPECT_TRUE(reader.stopped.load());
    EXPECT_TRUE(Socket::open(SocketKind::datagram).bind(itsPort)); // its socket was closed
}

TEST(UdpReaders, AFailedSetUpEndsTheRunWithReaderError)
{
    clearError(); // an error left on the status line by an earlier test would hide the reader's
    KeepingReceiver first, second;
    RunningReader running(first, true);
    second.bindAddressOverride = "127.0.0.1";
    runReaderThread(second, "Test Reader", running.port(), {});
    EXPECT_TRUE(stopRequested.load());
    EXPECT_EQ(exitCode.load(), ExitCode::ReaderError);
    EXPECT_EQ(restartDelaySeconds.load(), 15);
    EXPECT_EQ(indicators.statusLine().rfind("The Test Reader has stopped with error: bind to stream socket failed", 0),
              0u)
        << indicators.statusLine();
    stopRequested = false;
    exitCode = ExitCode::NotYetSet;
    restartDelaySeconds = 0;
}

TEST(UdpReaders, LampsAndTheirLatches)
{
    indicators.feedConnected = false;
    indicators.trafficLamp = 3;
    indicators.weatherLamp = 3;
    trafficReader.packets = 0;
    trafficReader.packetsAtLastCheck = 0;
    resetTrafficState();
    qnhReader.packets = 4;
    trafficReader.packets = 7;
    updateReaderLamps(); // not connected: nothing changes
    EXPECT_EQ(indicators.weatherLamp.load(), 3);
    EXPECT_EQ(indicators.trafficLamp.load(), 3);

    indicators.feedConnected = true;
    updateReaderLamps(); // new data, but the latches were set by the reset
    EXPECT_EQ(indicators.weatherLamp.load(), 3);
    EXPECT_EQ(indicators.trafficLamp.load(), 3);
    updateReaderLamps(); // no new data: 2, latches cleared
    EXPECT_EQ(indicators.weatherLamp.load(), 2);
    EXPECT_EQ(indicators.trafficLamp.load(), 2);
    trafficReader.packets = 8;
    updateReaderLamps(); // traffic only: 1 and its latch set
    EXPECT_EQ(indicators.weatherLamp.load(), 2);
    EXPECT_EQ(indicators.trafficLamp.load(), 1);
    indicators.trafficLamp = 2;
    trafficReader.packets = 9;
    updateReaderLamps(); // latch still set: the lamp is left alone
    EXPECT_EQ(indicators.trafficLamp.load(), 2);
    indicators.feedConnected = false;
    indicators.trafficLamp = 3;
    indicators.weatherLamp = 3;
}

TEST(UdpReaders, ResetBringsBackTheStartState)
{
    currentQnh = 990;
    trafficReader.currentQnh = 990;
    indicators.qnh = 990;
    latestFeedReportTime = 12.5;
    trafficReader.reportedFlights.insert("DLH1");
    trafficReader.stop = true;
    qnhReader.stop = true;
    qnhReader.packets = 3;
    resetTrafficState();
    EXPECT_EQ(currentQnh.load(), 1013);
    EXPECT_EQ(trafficReader.currentQnh.load(), 1013);
    EXPECT_EQ(indicators.qnh.load(), 1013);
    EXPECT_EQ(latestFeedReportTime.load(), 0.0);
    EXPECT_TRUE(trafficReader.reportedFlights.empty());
    EXPECT_FALSE(trafficReader.stop.load());
    EXPECT_FALSE(qnhReader.stop.load());
    EXPECT_EQ(qnhReader.packets.load(), 0u);
}
