// The TCP feed server for RealTraffic on this PC: one client, a handshake, the position line
// about once a second, the time line for the professional edition and "exit" at the end.
#include "links/feed.h"

#include "foundation/indicators.h"
#include "foundation/log.h"
#include "foundation/time_text.h"
#include "foundation/geometry.h"
#include "foundation/os_sockets.h"
#include "foundation/utilities.h"
#include "links/simconnect_dispatch.h"
#include "links/traffic_standins.h"
#include "links/traffic_handlers.h"
#include "links/udp_receiver.h"
#include "foundation/run_control.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace qtr {

bool feedOnThisPc = false;
std::atomic<int> feedHandshakeTimeoutMs{5000};

namespace {

// The open server: the socket library it started and its sockets, declared in that order so
// that the sockets close before the library's cleanup, whether the server is closed
// (closeFeedSockets) or a failed start unwinds.
// A connection that was asked for its version and has not answered yet: it counts as RealTraffic
// only once its reply is JSON.
struct Candidate {
    Socket socket;
    std::string reply;
    std::chrono::steady_clock::time_point deadline;
};

struct FeedServer {
    SocketLibraryUse library;
    Socket listening;
    Socket client; // RealTraffic; closed while none is connected
    std::vector<Candidate> candidates;
};

// How many connections may wait for their reply at once; beyond that the one that waited
// longest goes. Enough for a crowd of silent ones not to push the real one out before it answers.
constexpr std::size_t maxCandidates = 256;

std::unique_ptr<FeedServer> server;
std::atomic<bool> clientConnected{false};
std::atomic<std::uint16_t> listenPort{0};

bool stopping() { return stopRequested.load() || windowClosed.load(); }

bool clientOpen() { return server && server->client.isOpen(); }

// Waits up to the time (callers wait at most a second, so a stop is heard) until the socket is
// readable. True when it is.
bool readable(const Socket& socket, std::chrono::milliseconds wait)
{
    return socket.waitReadable(wait) == Readiness::ready;
}

// The text of a failed socket call, with the reason the system gives.
std::runtime_error socketFailure(const std::string& what)
{
    return std::runtime_error(what + socketErrorText(lastSocketError()));
}

// Whole numbers of the position line: rounded, plain digits, never an exponent.
std::string wholeText(double value)
{
    if (!std::isfinite(value)) return "0";
    const double r = std::round(value);
    if (r == 0.0) return "0";
    if (std::fabs(r) < 9.0e18) return fmt::format("{}", static_cast<long long>(r));
    return fmt::format("{:.0f}", r);
}

// The shortest text that reads back to the same double, written without an exponent.
std::string plainShortest(double value)
{
    if (!std::isfinite(value)) return "0";
    std::string text = fmt::format("{}", value);
    const auto e = text.find_first_of("eE");
    if (e == std::string::npos) return text;
    const int exponent = std::stoi(text.substr(e + 1));
    std::string mantissa = text.substr(0, e);
    std::string sign;
    if (!mantissa.empty() && mantissa[0] == '-') {
        sign = "-";
        mantissa.erase(0, 1);
    }
    std::string digits;
    int pointAt = static_cast<int>(mantissa.size());
    for (std::size_t i = 0; i < mantissa.size(); ++i) {
        if (mantissa[i] == '.')
            pointAt = static_cast<int>(i);
        else
            digits += mantissa[i];
    }
    pointAt += exponent;
    if (pointAt <= 0) return sign + "0." + std::string(static_cast<std::size_t>(-pointAt), '0') + digits;
    if (pointAt >= static_cast<int>(digits.size()))
        return sign + digits + std::string(static_cast<std::size_t>(pointAt) - digits.size(), '0');
    return sign + digits.substr(0, static_cast<std::size_t>(pointAt)) + "." +
           digits.substr(static_cast<std::size_t>(pointAt));
}

double finiteOrZero(double v) { return std::isfinite(v) ? v : 0.0; }

} // namespace

void startTcpServer(const std::string& port)
{
    auto fresh = std::make_unique<FeedServer>();
    Ipv4Endpoint endpoint;
    // RealTraffic runs on this PC: the server listens on the loopback only.
    const int resolved = resolveIpv4Stream("127.0.0.1", port, endpoint);
    if (resolved != 0) throw std::runtime_error(fmt::format("getaddrinfo failed with error {}", resolved));
    Socket& listening = fresh->listening;
    listening = Socket::open(SocketKind::stream);
    if (!listening.isOpen()) throw socketFailure("socket failed with error ");
    if (!listening.setBlocking(true)) throw socketFailure("ioctlsocket failed with error ");
    if (!listening.setReuseAddress()) throw std::runtime_error("setsockopt(SO_REUSEADDR) failed");
    if (!listening.bind(endpoint)) throw socketFailure("Bind failed at port " + port + " with error ");
    if (!listening.listen()) throw socketFailure("listen failed with error ");
    if (const auto bound = listening.localPort()) listenPort = *bound;
    server = std::move(fresh);
}

std::uint16_t feedServerPort() { return server && server->listening.isOpen() ? listenPort.load() : 0; }

namespace {

// A reply that is whole: a complete JSON value, or a line that cannot begin one (RealTraffic
// answers with an object, which may come in pieces, also split right after a line feed).
bool completeReply(const std::string& reply)
{
    if (nlohmann::json::accept(reply)) return true;
    const auto first = reply.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return false;
    return reply.back() == '\n' && reply[first] != '{' && reply[first] != '[';
}

void dropCandidate(std::vector<Candidate>& candidates, std::size_t at, const std::string& why)
{
    logLineWhileRunning(fmt::format("A connection to the feed server is no RealTraffic ({}), closed", why));
    candidates.erase(candidates.begin() + static_cast<std::ptrdiff_t>(at));
}

// Takes every waiting connection and asks it for its version; none of them is RealTraffic yet.
void admitWaitingConnections()
{
    std::vector<Candidate>& candidates = server->candidates;
    while (server->listening.isOpen() && readable(server->listening, std::chrono::milliseconds(0))) {
        Socket accepted = server->listening.accept();
        if (!accepted.isOpen()) return;
        static const std::string question = "Qs999=version\r\n";
        // A peer that stops reading must not hold the worker in a send for ever.
        if (!accepted.setSendTimeout(std::chrono::milliseconds(2000)) ||
            accepted.send(question.data(), question.size()) != static_cast<long>(question.size()))
            continue; // closed by the peer already
        if (candidates.size() >= maxCandidates) dropCandidate(candidates, 0, "too many connections wait for a reply");
        candidates.push_back(
            Candidate{std::move(accepted),
                      {},
                      std::chrono::steady_clock::now() + std::chrono::milliseconds(feedHandshakeTimeoutMs.load())});
    }
}

// Reads what a candidate sent. True when it has answered with JSON; a candidate that closed,
// failed, sent too much or a line that is no JSON is dropped (at moves past it otherwise).
bool readCandidate(std::vector<Candidate>& candidates, std::size_t& at)
{
    Candidate& c = candidates[at];
    char buffer[receiveBufferSize];
    while (readable(c.socket, std::chrono::milliseconds(0))) {
        const long count = c.socket.receive(buffer, sizeof buffer);
        if (count < 0) {
            dropCandidate(candidates, at, fmt::format("receive: {}", socketErrorText(lastSocketError())));
            return false;
        }
        if (count == 0) {
            dropCandidate(candidates, at, "closed without a version reply");
            return false;
        }
        if (c.reply.size() + static_cast<std::size_t>(count) >= receiveBufferSize) {
            dropCandidate(candidates, at,
                          fmt::format("receive: buffer overrun: {}", c.reply.size() + static_cast<std::size_t>(count)));
            return false;
        }
        c.reply.append(buffer, static_cast<std::size_t>(count));
        if (!completeReply(c.reply)) continue;
        if (nlohmann::json::accept(c.reply)) return true;
        dropCandidate(candidates, at, fmt::format("version reply is not JSON: {}", gf_logExcerpt(c.reply)));
        return false;
    }
    if (std::chrono::steady_clock::now() >= c.deadline) {
        dropCandidate(candidates, at, fmt::format("no version reply within {} ms", feedHandshakeTimeoutMs.load()));
        return false;
    }
    ++at;
    return false;
}

// One pass over the waiting connections: the first whose reply is JSON becomes the client, and
// its reply is returned. Nothing when none has answered so.
std::optional<std::string> takeRealTraffic()
{
    if (!server) return std::nullopt;
    admitWaitingConnections();
    std::vector<Candidate>& candidates = server->candidates;
    for (std::size_t at = 0; at < candidates.size();) {
        if (!readCandidate(candidates, at)) continue;
        Candidate chosen = std::move(candidates[at]);
        // RealTraffic is one: whoever else still waits for an answer is closed.
        candidates.clear();
        Socket& client = server->client;
        client = std::move(chosen.socket); // a previous client's socket closes here
        // Each position line goes out at once.
        if (!client.setNoDelay()) {
            const std::string error = socketErrorText(lastSocketError());
            logLineWhileRunning(
                fmt::format("waitForClient interrupted: {} setsockopt failed with error {}", nowTimeText(), error));
            client.close();
            return std::nullopt;
        }
        clientConnected = true;
        return std::move(chosen.reply);
    }
    return std::nullopt;
}

// Waits (a second at most per look, so that a stop is heard) until a connection answered the
// version request with JSON; its reply, or nothing on a stop.
std::optional<std::string> waitForRealTraffic()
{
    while (!stopping()) {
        if (!server || !server->listening.isOpen()) return std::nullopt;
        if (auto reply = takeRealTraffic()) return reply;
        // While connections wait for their reply they are looked at often; a new connection
        // ends the wait at once either way.
        readable(server->listening,
                 server->candidates.empty() ? std::chrono::milliseconds(1000) : std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

} // namespace

bool waitForClient()
{
    if (clientConnected.load()) return false;
    return waitForRealTraffic().has_value();
}

void waitForFeedClient()
{
    if (!feedOnThisPc) return;
    setStatus(fmt::format("Waiting for RealTraffic to connect to {} ...", "Quillmarsh"), true);
    resetTrafficState();
    std::optional<std::string> reply;
    if (!clientConnected.load()) reply = waitForRealTraffic();
    if (reply) {
        parseFeedVersion(*reply);
        indicators.feedConnected = true;
        indicators.invalidate(Band::links);
        feedPending.store(false);
        logLine("RealTraffic connected");
    }
    // The user flew on while the program waited: the next user position starts afresh.
    gf_forgetLastUserPosition();
    clearStatus();
}

std::string positionLine(double pitch, double bank, double heading, double altitude, double groundSpeed,
                         double latitude, double longitude)
{
    return fmt::format("Qs121={};{};{:.6f};{};{};{:.6f};{:.6f}\r\n", wholeText(pitch * 100000.0),
                       wholeText(bank * 100000.0), finiteOrZero(heading), wholeText(altitude * 1000.0),
                       plainShortest(groundSpeed * 1000.0), finiteOrZero(latitude * degToRad),
                       finiteOrZero(longitude * degToRad));
}

void sendOwnPosition()
{
    if (!feedOnThisPc) return;
    const UserStateForFeed user = userStateForFeed;
    if (user.latitude >= 0.0 && user.latitude <= 0.0009 && user.longitude >= 0.0 && user.longitude <= 0.05) return;
    if (!clientConnected.load()) {
        if (exitCode.load() != ExitCode::NotYetSet) return;
        // A look, not a wait: the main loop goes on moving and removing aircraft meanwhile. A
        // connection counts only once it answered the version request, as at the start.
        const std::optional<std::string> reply = takeRealTraffic();
        if (!reply) return;
        parseFeedVersion(*reply);
        indicators.feedConnected = true;
        indicators.invalidate(Band::links);
        setStatus(fmt::format("{} RealTraffic re-connected", nowTimeText()), true);
        clearStatus();
        return;
    }
    const std::string line = positionLine(user.pitch, user.bank, user.heading, user.altitude, user.groundSpeed,
                                          user.latitude, user.longitude);
    if (sendDataPacket(line)) return;
    indicators.feedConnected = false;
    indicators.invalidate(Band::links);
    if (!windowClosed.load()) trafficHandlers().feedLost();
    resetTrafficState();
    setStatus(fmt::format("{} RealTraffic gone? Wait for RealTraffic to re-connect ...", nowTimeText()), true);
}

void sendQs123(long long simTimeSeconds)
{
    if (!clientConnected.load() || !feedProfessional.load() || simTimeSeconds < 1) return;
    sendDataPacket(fmt::format("Qs123={}\r\n", simTimeSeconds * 1000));
}

bool feedClientConnected() { return clientConnected.load(); }

bool sendDataPacket(const std::string& line)
{
    if (!clientOpen()) {
        clientConnected = false;
        return false;
    }
    Socket& client = server->client;
    std::size_t sent = 0;
    while (sent < line.size()) {
        const long count = client.send(line.data() + sent, line.size() - sent);
        if (count < 0) {
            logLineWhileRunning(
                fmt::format("sendDataPacket to RealTraffic failed: {}", socketErrorText(lastSocketError())));
            clientConnected = false;
            client.close();
            logLineWhileRunning("RealTraffic client socket closed");
            return false;
        }
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

void closeFeedSockets()
{
    clientConnected = false;
    server.reset();
    listenPort = 0;
}

void stopReaders()
{
    trafficReader.stop = true;
    qnhReader.stop = true;
}

void startQnhReader(std::uint16_t port) { std::thread(qnhReaderThread, port).detach(); }
void startTrafficReader(std::uint16_t port) { std::thread(trafficReaderThread, port).detach(); }

} // namespace qtr
