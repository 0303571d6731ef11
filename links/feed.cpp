// The TCP feed server for RealTraffic on this PC: one client, a handshake, the position line
// about once a second, the time line for the professional edition and "exit" at the end.
#include "links/feed.h"

#include "foundation/indicators.h"
#include "foundation/log.h"
#include "foundation/time_text.h"
#include "foundation/geometry.h"
#include "foundation/utilities.h"
#include "links/simconnect_dispatch.h"
#include "links/traffic_standins.h"
#include "links/traffic_handlers.h"
#include "links/udp_receiver.h"
#include "foundation/run_control.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <cmath>
#include <stdexcept>
#include <thread>

namespace qtr {

bool feedOnThisPc = false;
std::atomic<int> feedHandshakeTimeoutMs{5000};

namespace {

SOCKET listenSocket = INVALID_SOCKET;
SOCKET clientSocket = INVALID_SOCKET;
std::atomic<bool> clientConnected{false};
std::atomic<std::uint16_t> listenPort{0};
bool winsockStarted = false;
WSADATA feedWsaData{};

bool stopping() { return stopRequested.load() || windowClosed.load(); }

void closeSocket(SOCKET& s)
{
    if (s != INVALID_SOCKET) {
        closesocket(s);
        s = INVALID_SOCKET;
    }
}

// Waits up to the time (in steps of at most a second, so a stop is heard) until the socket
// is readable. True when it is.
bool waitReadable(SOCKET s, std::chrono::milliseconds wait)
{
    fd_set readSet;
    FD_ZERO(&readSet);
    FD_SET(s, &readSet);
    const auto ms = wait.count();
    timeval timeout{static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
    const int ready = select(0, &readSet, nullptr, nullptr, &timeout);
    return ready > 0 && FD_ISSET(s, &readSet);
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
    return sign + digits.substr(0, static_cast<std::size_t>(pointAt)) + "." + digits.substr(static_cast<std::size_t>(pointAt));
}

double finiteOrZero(double v) { return std::isfinite(v) ? v : 0.0; }

} // namespace

void startTcpServer(const std::string& port)
{
    auto fail = [](addrinfo* list, const std::string& text) {
        if (list) freeaddrinfo(list);
        closeSocket(listenSocket);
        WSACleanup();
        winsockStarted = false;
        throw std::runtime_error(text);
    };
    const int started = WSAStartup(MAKEWORD(2, 2), &feedWsaData);
    if (started != 0) throw std::runtime_error(fmt::format("WSAStartup failed with error {}", started));
    winsockStarted = true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    // RealTraffic runs on this PC: the server listens on the loopback only.
    const int resolved = getaddrinfo("127.0.0.1", port.c_str(), &hints, &list);
    if (resolved != 0) fail(nullptr, fmt::format("getaddrinfo failed with error {}", resolved));
    listenSocket = ::socket(list->ai_family, list->ai_socktype, list->ai_protocol);
    if (listenSocket == INVALID_SOCKET)
        fail(list, "socket failed with error " + gf_wsaErrorText(WSAGetLastError()));
    u_long blocking = 0;
    if (ioctlsocket(listenSocket, FIONBIO, &blocking) == SOCKET_ERROR)
        fail(list, "ioctlsocket failed with error " + gf_wsaErrorText(WSAGetLastError()));
    const BOOL reuse = TRUE;
    if (setsockopt(listenSocket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse) ==
        SOCKET_ERROR)
        fail(list, "setsockopt(SO_REUSEADDR) failed");
    if (bind(listenSocket, list->ai_addr, static_cast<int>(list->ai_addrlen)) == SOCKET_ERROR)
        fail(list, "Bind failed at port " + port + " with error " + gf_wsaErrorText(WSAGetLastError()));
    freeaddrinfo(list);
    if (listen(listenSocket, SOMAXCONN) == SOCKET_ERROR)
        fail(nullptr, "listen failed with error " + gf_wsaErrorText(WSAGetLastError()));
    sockaddr_in bound{};
    int length = sizeof bound;
    if (getsockname(listenSocket, reinterpret_cast<sockaddr*>(&bound), &length) == 0)
        listenPort = ntohs(bound.sin_port);
}

std::uint16_t feedServerPort() { return listenSocket == INVALID_SOCKET ? 0 : listenPort.load(); }

namespace {

// One look for RealTraffic at the listening socket, waiting at most the given time: accepts a
// pending connection and makes it the client. True when a client was accepted.
// A connection whose peer already closed it (or reset it) while it waited in the queue: no
// RealTraffic to talk to, and taking it would cost the live traffic of a real reconnect.
bool closedByPeer(SOCKET s)
{
    if (!waitReadable(s, std::chrono::milliseconds(0))) return false;
    char byte = 0;
    return recv(s, &byte, 1, MSG_PEEK) <= 0;
}

// The next queued connection that is still open; closed ones are dropped on the way.
SOCKET acceptOpenConnection(std::chrono::milliseconds wait)
{
    while (listenSocket != INVALID_SOCKET && waitReadable(listenSocket, wait)) {
        SOCKET accepted = accept(listenSocket, nullptr, nullptr);
        if (accepted == INVALID_SOCKET) return INVALID_SOCKET;
        if (!closedByPeer(accepted)) return accepted;
        closeSocket(accepted);
        wait = std::chrono::milliseconds(0);
    }
    return INVALID_SOCKET;
}

bool acceptClient(std::chrono::milliseconds wait)
{
    SOCKET accepted = acceptOpenConnection(wait);
    if (accepted == INVALID_SOCKET) return false;
    closeSocket(clientSocket);
    clientSocket = accepted;
    const char noDelay = 1;
    try {
        // A peer that stops reading must not hold the worker in a send for ever.
        const DWORD sendTimeoutMs = 2000;
        if (setsockopt(clientSocket, IPPROTO_TCP, TCP_NODELAY, &noDelay, 1) == SOCKET_ERROR ||
            setsockopt(clientSocket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendTimeoutMs),
                       sizeof sendTimeoutMs) == SOCKET_ERROR)
            throw std::runtime_error(
                fmt::format("{} setsockopt failed with error {}", nowTimeText(), gf_wsaErrorText(WSAGetLastError())));
    } catch (const std::exception& e) {
        logLineWhileRunning(fmt::format("waitForClient interrupted: {}", e.what()));
        closeSocket(clientSocket);
        return false;
    }
    clientConnected = true;
    return true;
}

// A reply that is whole: a complete JSON value, or a line that cannot begin one (RealTraffic
// answers with an object, which may come in pieces, also split right after a line feed).
bool completeReply(const std::string& reply)
{
    if (nlohmann::json::accept(reply)) return true;
    const auto first = reply.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return false;
    return reply.back() == '\n' && reply[first] != '{' && reply[first] != '[';
}

} // namespace

bool waitForClient()
{
    if (clientConnected.load()) return false;
    while (!stopping()) {
        if (listenSocket == INVALID_SOCKET) return false;
        if (acceptClient(std::chrono::milliseconds(1000))) return true;
    }
    return false;
}

std::string receiveData()
{
    // The reply may come in pieces: collect until it is complete JSON or a whole line, the
    // peer closes, or the time-out passes (then the standard edition is assumed).
    std::string reply;
    if (clientSocket == INVALID_SOCKET) return reply;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(feedHandshakeTimeoutMs.load());
    char buffer[receiveBufferSize];
    while (!stopping()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            logLineWhileRunning(fmt::format("receive: no complete reply within {} ms: {}", feedHandshakeTimeoutMs.load(),
                                            reply));
            break;
        }
        if (!waitReadable(clientSocket, std::min(left, std::chrono::milliseconds(1000)))) continue;
        const int count = recv(clientSocket, buffer, static_cast<int>(sizeof buffer), 0);
        if (count == SOCKET_ERROR) {
            logLineWhileRunning(fmt::format("receive: {}", gf_wsaErrorText(WSAGetLastError())));
            return {};
        }
        if (count == 0) break;
        if (reply.size() + static_cast<std::size_t>(count) >= receiveBufferSize) {
            logLineWhileRunning(fmt::format("receive: buffer overrun: {}", reply.size() + static_cast<std::size_t>(count)));
            return {};
        }
        reply.append(buffer, static_cast<std::size_t>(count));
        if (completeReply(reply)) break;
    }
    return reply;
}


void waitForFeedClient()
{
    if (!feedOnThisPc) return;
    setStatus(fmt::format("Waiting for RealTraffic to connect to {} ...", "Quillmarsh"), true);
    resetTrafficState();
    if (waitForClient()) {
        sendDataPacket("Qs999=version\r\n");
        parseFeedVersion(receiveData());
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
        // A look, not a wait: the main loop goes on moving and removing aircraft meanwhile.
        if (!acceptClient(std::chrono::milliseconds(0))) return;
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
    if (clientSocket == INVALID_SOCKET) {
        clientConnected = false;
        return false;
    }
    std::size_t sent = 0;
    while (sent < line.size()) {
        const int count = send(clientSocket, line.data() + sent, static_cast<int>(line.size() - sent), 0);
        if (count == SOCKET_ERROR) {
            logLineWhileRunning(
                fmt::format("sendDataPacket to RealTraffic failed: {}", gf_wsaErrorText(WSAGetLastError())));
            clientConnected = false;
            closeSocket(clientSocket);
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
    closeSocket(clientSocket);
    closeSocket(listenSocket);
    listenPort = 0;
    if (winsockStarted) {
        WSACleanup();
        winsockStarted = false;
    }
}

void stopReaders()
{
    trafficReader.stop = true;
    qnhReader.stop = true;
}

void startQnhReader(std::uint16_t port) { std::thread(qnhReaderThread, port).detach(); }
void startTrafficReader(std::uint16_t port) { std::thread(trafficReaderThread, port).detach(); }


} // namespace qtr
