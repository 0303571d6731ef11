#include "foundation/indicators.h"
#include "foundation/os_sockets.h"
#include "links/feed.h"
#include "links/traffic_standins.h"
#include "link_test_support.h"
#include "rtpeer.h"
#include "traffic/state/records.h"
#include "foundation/run_control.h"
#include "traffic/state/traffic_state.h"
#include "traffic/run/worker.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <thread>
#include <vector>

using namespace qtr;
using linktest::eventually;
using namespace std::chrono_literals;

namespace {

const std::string handshake = "Qs999=version\r\n";

class FeedServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        stopRequested = false; // a stop left by an earlier test would end every wait at once
        exitCode = ExitCode::NotYetSet;
        feedOnThisPc = true;
        feedHandshakeTimeoutMs = 2000;
        feedProfessional = false;
        userStateForFeed = {33.94, -118.40, 0.03, -0.05, 1.5, 3500.0, 250.5};
        startTcpServer("0");
        ASSERT_NE(feedServerPort(), 0);
    }
    void TearDown() override
    {
        closeFeedSockets();
        peer.reset();
        feedOnThisPc = false;
        feedProfessional = false;
        indicators.feedConnected = false;
        indicators.setText(indicators.feedVersionText, "");
        stopRequested = false;
        exitCode = ExitCode::NotYetSet;
        clearStatus();
    }

    rtpeer::FeedClient& connectPeer(rtpeer::ReplyMode reply, int level, std::string version = "10.0.240")
    {
        rtpeer::FeedClientOptions options;
        options.port = feedServerPort();
        options.level = level;
        options.version = std::move(version);
        options.reply = reply;
        peer = std::make_unique<rtpeer::FeedClient>(options);
        peer->start();
        return *peer;
    }

    // The lines the peer received after the handshake, once there are count of them.
    std::vector<std::string> linesAfterHandshake(std::size_t count)
    {
        EXPECT_TRUE(peer->waitForLines(count + 1, 10s));
        auto lines = peer->lines();
        EXPECT_EQ(lines.front(), handshake);
        return {lines.begin() + 1, lines.end()};
    }

    std::unique_ptr<rtpeer::FeedClient> peer;
};

// A line larger than what a loopback connection buffers on both ends, with no two megabytes alike.
std::string longLine()
{
    std::string line(48u << 20, 'x');
    for (std::size_t k = 0; k < line.size(); k += 4096) line.replace(k, 8, fmt::format("{:08x}", k / 4096));
    return line + "\r\n";
}

// A raw peer becomes RealTraffic only once it answered the version request with JSON, as the
// real one does; until then nothing is sent to it.
bool answerVersionRequest(const Socket& peerEnd)
{
    std::string question;
    char c = 0;
    while (question.size() < handshake.size() && peerEnd.waitReadable(10s) == Readiness::ready &&
           peerEnd.receive(&c, 1) == 1) {
        question += c;
    }
    if (question != handshake) return false;
    const std::string reply = "{ \"version\":\"10.0.240\",\"level\": 1 }\r\n";
    return peerEnd.send(reply.data(), reply.size()) == static_cast<long>(reply.size());
}

// The main loop's look at the feed accepts the raw peer and asks for its version; once answered,
// the next look takes it for RealTraffic.
bool becomeRealTraffic(const Socket& peerEnd)
{
    const bool asked = eventually([&] {
        sendOwnPosition();
        return peerEnd.waitReadable(0ms) == Readiness::ready;
    });
    return asked && answerVersionRequest(peerEnd) && eventually([] {
               sendOwnPosition();
               return feedClientConnected();
           });
}

#ifndef _WIN32
// What the peer reads until it has size bytes, the connection ends or nothing comes for 20 s.
std::string receiveUpTo(const Socket& socket, std::size_t size)
{
    std::string bytes;
    std::vector<char> buffer(1u << 20);
    while (bytes.size() < size && socket.waitReadable(20s) == Readiness::ready) {
        const long n = socket.receive(buffer.data(), buffer.size());
        if (n <= 0) break;
        bytes.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return bytes;
}
#endif

} // namespace

TEST(FeedPositionLine, PlainNumbersNeverAnExponent)
{
    struct Case {
        double pitch, bank, heading, altitude, groundSpeed, lat, lon;
        const char* line;
    };
    for (const Case& c : {
             Case{0, 0, 0, 0, 0, 0.001, 0.1, "Qs121=0;0;0.000000;0;0;0.000017;0.001745\r\n"},
             Case{0.03, -0.05, 1.5, 3500, 250.5, 33.94, -118.40,
                  "Qs121=3000;-5000;1.500000;3500000;250500;0.592365;-2.066470\r\n"},
             Case{1.2e-7, -4e-6, 6.283185, 45000, 1e-9, -33.9, 151.2,
                  "Qs121=0;0;6.283185;45000000;0.0000010000000000000002;-0.591667;2.638938\r\n"},
             Case{0.0000149, 0, 0, 1e13, 123.4567891, 0, 0,
                  "Qs121=1;0;0.000000;10000000000000000;123456.7891;0.000000;0.000000\r\n"},
             Case{std::nan(""), 0, std::nan(""), 0, std::nan(""), 10, 10,
                  "Qs121=0;0;0.000000;0;0;0.174533;0.174533\r\n"},
         }) {
        EXPECT_EQ(positionLine(c.pitch, c.bank, c.heading, c.altitude, c.groundSpeed, c.lat, c.lon), c.line);
    }
}

TEST_F(FeedServerTest, ProfessionalEditionGetsPositionTimeAndExit)
{
    connectPeer(rtpeer::ReplyMode::Json, 2);
    feedPending = true;
    waitForFeedClient();
    EXPECT_TRUE(feedClientConnected());
    EXPECT_TRUE(feedProfessional.load());
    EXPECT_TRUE(indicators.feedConnected.load());
    EXPECT_FALSE(feedPending.load());
    EXPECT_EQ(indicators.text(indicators.feedVersionText), "RT prof edition: 10.0.240");

    sendQs123(0);
    sendQs123(1674956315);
    sendOwnPosition();
    sendDataPacket("exit\r\n");
    closeFeedSockets();
    EXPECT_EQ(
        linesAfterHandshake(3),
        (std::vector<std::string>{"Qs123=1674956315000\r\n",
                                  "Qs121=3000;-5000;1.500000;3500000;250500;0.592365;-2.066470\r\n", "exit\r\n"}));
}

// A line longer than the connection's buffers: the first send waits past its time-out (the peer
// reads only later) and ends cut short; the rest follows, so the peer reads every byte once.
// Winsock instead fails a send at its time-out (the case of the next test), so this one is POSIX's.
#ifndef _WIN32
TEST_F(FeedServerTest, ASendTheSystemCutsShortIsContinued)
{
    const Socket peerEnd = Socket::open(SocketKind::stream);
    ASSERT_TRUE(peerEnd.connect({loopbackAddress, feedServerPort()}));
    ASSERT_TRUE(becomeRealTraffic(peerEnd));
    const std::string line = longLine();
    auto received = std::async(std::launch::async, [&] {
        std::this_thread::sleep_for(3s); // past the send time-out of 2 s
        return receiveUpTo(peerEnd, line.size());
    });
    EXPECT_TRUE(sendDataPacket(line));
    const std::string bytes = received.get();
    EXPECT_EQ(bytes.size(), line.size());
    EXPECT_TRUE(bytes == line); // not printed: megabytes
}
#endif

// A peer that stops reading cannot hold the sender: the send fails at its time-out, the client
// is dropped, and the main loop goes on.
TEST_F(FeedServerTest, APeerThatStopsReadingEndsTheSendAtItsTimeOut)
{
    Socket peerEnd = Socket::open(SocketKind::stream);
    ASSERT_TRUE(peerEnd.connect({loopbackAddress, feedServerPort()}));
    ASSERT_TRUE(becomeRealTraffic(peerEnd));
    const std::string line = longLine();
    auto sent = std::async(std::launch::async, [&] { return sendDataPacket(line); });
    // A bound on a hang, not a speed; after it the peer's close ends the send, and so the test.
    const bool ended = sent.wait_for(60s) == std::future_status::ready;
    if (!ended) peerEnd.close();
    EXPECT_TRUE(ended);
    EXPECT_FALSE(sent.get());
    EXPECT_FALSE(feedClientConnected());
}

TEST_F(FeedServerTest, StandardEditionGetsNoTimeLine)
{
    connectPeer(rtpeer::ReplyMode::Json, 1, "9.1");
    waitForFeedClient();
    EXPECT_FALSE(feedProfessional.load());
    EXPECT_EQ(indicators.text(indicators.feedVersionText), "RT stnd edition: 9.1");
    sendQs123(1674956315);
    sendOwnPosition();
    const auto lines = linesAfterHandshake(1);
    EXPECT_EQ(lines.front().rfind("Qs121=", 0), 0u) << lines.front();
}

TEST_F(FeedServerTest, AwkwardRepliesLeaveTheStandardEditionOrAreAssembled)
{
    linktest::ScopedLog log("feed-replies");
    struct Case {
        rtpeer::ReplyMode mode;
        bool professional;
        const char* logged;
    };
    // A peer that answers with no JSON or not at all is no RealTraffic (NotRealTraffic... below).
    for (const Case& c :
         {Case{rtpeer::ReplyMode::Split, true, nullptr}, Case{rtpeer::ReplyMode::SplitAfterLineFeed, true, nullptr}}) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        feedHandshakeTimeoutMs = 1500;
        connectPeer(c.mode, 2);
        waitForFeedClient();
        EXPECT_TRUE(feedClientConnected());
        EXPECT_EQ(feedProfessional.load(), c.professional);
        if (c.logged) {
            EXPECT_NE(log.text().find(c.logged), std::string::npos);
        }
        // The run goes on: the position line follows.
        sendOwnPosition();
        EXPECT_EQ(linesAfterHandshake(1).front().rfind("Qs121=", 0), 0u);
        closeFeedSockets();
        peer.reset();
        startTcpServer("0");
    }
}

TEST_F(FeedServerTest, NothingWhileThePositionIsUnknown)
{
    connectPeer(rtpeer::ReplyMode::Json, 2);
    waitForFeedClient();
    userStateForFeed = {0.0005, 0.01, 0.1, 0.1, 1.0, 100.0, 10.0};
    sendOwnPosition();
    userStateForFeed = {0.001, 0.1, 0, 0, 0, 0, 0};
    sendOwnPosition();
    EXPECT_EQ(linesAfterHandshake(1).front(), "Qs121=0;0;0.000000;0;0;0.000017;0.001745\r\n");
}

TEST_F(FeedServerTest, ALostPeerIsNoticedAndLookedForWithoutStoppingTheMainLoop)
{
    linktest::ScopedLog log("feed-lost");
    rtpeer::FeedClient& client = connectPeer(rtpeer::ReplyMode::Json, 2);
    waitForFeedClient();
    client.dropConnection();
    // A send on the dropped connection may still pass once or twice before the reset arrives.
    EXPECT_TRUE(eventually([] {
        if (feedClientConnected()) sendOwnPosition();
        return !feedClientConnected();
    }));
    EXPECT_FALSE(indicators.feedConnected.load());
    EXPECT_NE(indicators.statusLine().find("RealTraffic gone? Wait for RealTraffic to re-connect ..."),
              std::string::npos);

    // While RealTraffic stays away each call only looks and returns (the tick goes on).
    for (int k = 0; k < 3; ++k) sendOwnPosition();
    EXPECT_FALSE(feedClientConnected());

    client.allowReconnect();
    ASSERT_TRUE(client.waitForConnections(2, 10s)); // waiting in the listening socket's backlog
    // Asked for its version again; connected once it answered, and nothing sent yet.
    EXPECT_TRUE(eventually([] {
        sendOwnPosition();
        return feedClientConnected();
    }));
    EXPECT_TRUE(indicators.feedConnected.load());
    EXPECT_NE(log.text().find("RealTraffic re-connected"), std::string::npos);
    const std::size_t before = client.lines().size();
    sendOwnPosition();
    ASSERT_TRUE(client.waitForLines(before + 1, 10s));
    EXPECT_EQ(client.lines().back(), "Qs121=3000;-5000;1.500000;3500000;250500;0.592365;-2.066470\r\n");
}

namespace {

// Peers of the feed server that are no RealTraffic.
enum class Stranger { closesAtOnce, sendsOneByteAndCloses, staysSilent, answersNoJson };

Socket connectStranger(Stranger kind)
{
    Socket s = Socket::open(SocketKind::stream);
    EXPECT_TRUE(s.connect({loopbackAddress, feedServerPort()}));
    const auto say = [&s](const std::string& text) { s.send(text.data(), text.size()); };
    switch (kind) {
    case Stranger::closesAtOnce:
        s.close();
        break;
    case Stranger::sendsOneByteAndCloses:
        say("{");
        s.close();
        break;
    case Stranger::answersNoJson:
        say("version 10 level 2\r\n");
        break;
    case Stranger::staysSilent:
        break;
    }
    return s;
}

// True when the server closed the connection (after what it sent before), waiting at most the
// given time for it.
bool closedByServer(const Socket& s, std::chrono::milliseconds wait = 10s)
{
    if (!s.isOpen()) return true;
    char buffer[256];
    while (s.waitReadable(wait) == Readiness::ready)
        if (s.receive(buffer, sizeof buffer) <= 0) return true;
    return false;
}

std::size_t occurrences(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

const Stranger strangers[] = {Stranger::closesAtOnce, Stranger::sendsOneByteAndCloses, Stranger::staysSilent,
                              Stranger::answersNoJson};

} // namespace

// Connections ahead of RealTraffic that close, stay silent or answer no JSON never count as
// RealTraffic, are closed, and do not keep the real one waiting: with a reply time longer than
// the test, one silent connection handled at a time would hold the start for ever.
TEST_F(FeedServerTest, NotRealTrafficAheadOfItAtTheStart)
{
    linktest::ScopedLog log("feed-strangers-start");
    feedHandshakeTimeoutMs = 600000;
    for (const Stranger kind : strangers) {
        SCOPED_TRACE(static_cast<int>(kind));
        std::vector<Socket> ahead;
        for (int k = 0; k < 20; ++k) ahead.push_back(connectStranger(kind));
        connectPeer(rtpeer::ReplyMode::Json, 2);
        auto waiting = std::async(std::launch::async, [] { waitForFeedClient(); });
        if (waiting.wait_for(20s) != std::future_status::ready) stopRequested = true;
        ASSERT_EQ(waiting.wait_for(20s), std::future_status::ready);
        EXPECT_TRUE(feedClientConnected());
        EXPECT_TRUE(feedProfessional.load());
        EXPECT_EQ(indicators.text(indicators.feedVersionText), "RT prof edition: 10.0.240");
        for (const Socket& s : ahead) EXPECT_TRUE(closedByServer(s));
        sendOwnPosition();
        ASSERT_TRUE(peer->waitForLines(2, 10s)); // the handshake and the position
        EXPECT_EQ(peer->lines()[1].rfind("Qs121=", 0), 0u);
        closeFeedSockets();
        peer.reset();
        startTcpServer("0");
    }
}

// The same at a re-connect: connections made while RealTraffic was connected wait in the queue,
// and only the real peer behind them counts as re-connected, once, and gets the position lines.
// A silent one is closed once its time to answer is up.
TEST_F(FeedServerTest, NotRealTrafficAheadOfItAtAReconnect)
{
    feedHandshakeTimeoutMs = 300;
    for (const Stranger kind : strangers) {
        SCOPED_TRACE(static_cast<int>(kind));
        linktest::ScopedLog log("feed-strangers-reconnect");
        rtpeer::FeedClient& client = connectPeer(rtpeer::ReplyMode::Json, 2);
        waitForFeedClient();
        std::vector<Socket> queued;
        for (int k = 0; k < 5; ++k) queued.push_back(connectStranger(kind));
        client.dropConnection();
        EXPECT_TRUE(eventually([] {
            if (feedClientConnected()) sendOwnPosition();
            return !feedClientConnected();
        }));
        if (kind == Stranger::staysSilent) {
            // Alone in the queue, silent ones are closed in time and nothing counts as re-connected.
            EXPECT_TRUE(eventually([&] {
                sendOwnPosition();
                return closedByServer(queued.back(), 0ms);
            }));
            EXPECT_FALSE(feedClientConnected());
        }
        client.allowReconnect();
        ASSERT_TRUE(client.waitForConnections(2, 10s)); // behind the strangers in the queue
        EXPECT_TRUE(eventually([] {
            sendOwnPosition();
            return feedClientConnected();
        }));
        for (const Socket& s : queued) EXPECT_TRUE(closedByServer(s));
        const std::string text = log.text();
        EXPECT_EQ(occurrences(text, "RealTraffic re-connected"), 1u);
        EXPECT_EQ(occurrences(text, "RealTraffic gone?"), 1u);
        const std::size_t before = client.lines().size();
        sendOwnPosition();
        EXPECT_TRUE(client.waitForLines(before + 1, 10s)); // the one taken is the real peer
        EXPECT_EQ(client.lines().back().rfind("Qs121=", 0), 0u);
        closeFeedSockets();
        peer.reset();
        startTcpServer("0");
    }
}

TEST_F(FeedServerTest, LosingRealTrafficRemovesTheLiveAircraft)
{
    linktest::ScopedLog log("feed-loss-removal");
    resetTrafficManager();
    const auto add = [](std::uint32_t flightId, const char* callsign, std::uint32_t state, std::uint32_t objectId) {
        LiveAircraft a;
        a.flightId = flightId;
        a.callsign = callsign;
        a.state = state;
        a.objectid = objectId;
        a.stream.push_back(Position{});
        liveAircraft.push_back(a);
    };
    add(10001, "ACT1", stateActive, 5001);
    add(10002, "QUEUED2", stateAdding2Sim, 0); // its creation still waits in the worker's queue
    add(10003, "SENT3", stateAdding2Sim, 0);   // its creation went to the simulator already
    add(10004, "BUF4", stateBuffer, 0);
    AiCreateRequest queued;
    queued.callsign = "QUEUED2";
    queued.recordId = 10002; // the request names its record, as the tick builds it
    pendingLiveCreations.push_back(queued);

    rtpeer::FeedClient& client = connectPeer(rtpeer::ReplyMode::Json, 2);
    waitForFeedClient();
    client.dropConnection();
    ASSERT_TRUE(eventually([] {
        if (feedClientConnected()) sendOwnPosition();
        return !feedClientConnected();
    }));
    std::vector<std::string> left;
    for (const LiveAircraft& a : liveAircraft) left.push_back(a.callsign);
    EXPECT_EQ(left, (std::vector<std::string>{"ACT1", "SENT3", "BUF4"}));
    EXPECT_EQ(liveAircraft[0].state, stateRemovingFromSim);
    EXPECT_EQ(pendingRemovals, std::deque<std::uint32_t>{5001});
    EXPECT_TRUE(liveAircraft[1].removeWhenCreated);
    EXPECT_TRUE(pendingLiveCreations.empty());
    EXPECT_EQ(liveAircraft[2].state, stateBuffer);
    resetTrafficManager();
}

TEST_F(FeedServerTest, ClosingFreesThePortAndAFailedStartLeavesNoServer)
{
    const std::uint16_t port = feedServerPort();
    closeFeedSockets();
    EXPECT_EQ(feedServerPort(), 0);
    const SocketLibraryUse library;
    EXPECT_TRUE(Socket::open(SocketKind::stream).bind({loopbackAddress, port})); // the socket was closed
    EXPECT_THROW(startTcpServer("no port"), std::runtime_error);
    EXPECT_EQ(feedServerPort(), 0);
    EXPECT_FALSE(sendDataPacket("exit\r\n"));
}

TEST_F(FeedServerTest, AStopEndsTheWaitForThePeer)
{
    auto waiting = std::async(std::launch::async, [] { waitForFeedClient(); });
    ASSERT_TRUE(eventually([] {
        return indicators.statusLine().find("Waiting for RealTraffic to connect to Quillmarsh ...") !=
               std::string::npos;
    }));
    stopRequested = true;
    EXPECT_EQ(waiting.wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(feedClientConnected());
    EXPECT_FALSE(indicators.feedConnected.load());
}
