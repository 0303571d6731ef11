#pragma once
// The few IPv4 socket calls the feed links make, one implementation for Winsock and one for POSIX
// sockets behind the same names, so that the links and their tests need neither the system's
// socket headers nor their differences (handle type, close call, error number, time-outs,
// blocking mode, the wait for data, broken-pipe signals). Every socket has an owner that closes
// it; the calls report failure by their result and leave the reason to lastSocketError().
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace qtr {

// The system's socket library for the object's lifetime: Winsock's start and its cleanup on
// Windows, nothing elsewhere. Winsock counts the starts, so each use cleans up only its own and
// never ends Winsock under another one. Throws std::runtime_error when Winsock cannot start.
class SocketLibraryUse {
public:
    SocketLibraryUse();
    ~SocketLibraryUse();
    SocketLibraryUse(const SocketLibraryUse&) = delete;
    SocketLibraryUse& operator=(const SocketLibraryUse&) = delete;
};

// The error number of this thread's last failed socket call (WSAGetLastError, errno).
int lastSocketError();
// The error as the log shows it: "<number> <text>".
std::string socketErrorText(int error);
// Winsock's error texts by number ("10054 Connection reset by peer").
std::string gf_wsaErrorText(int code);

// An IPv4 address with a port, both in the host's byte order.
struct Ipv4Endpoint {
    std::uint32_t address = 0; // 0: every address of this PC (bind)
    std::uint16_t port = 0;    // 0: any free port (bind)
};
inline constexpr std::uint32_t loopbackAddress = 0x7F000001; // 127.0.0.1

// The address of a dotted text such as "127.0.0.1"; nothing when the text is no such address.
std::optional<std::uint32_t> parseIpv4(const std::string& text);
// The IPv4 stream endpoint of a host and a service (a port number as text, or a service name),
// as the system's name resolution gives it: 0, or the resolver's error number.
int resolveIpv4Stream(const std::string& host, const std::string& service, Ipv4Endpoint& endpoint);

enum class SocketKind { datagram, stream }; // UDP, TCP
enum class Readiness { ready, timedOut, failed };
enum class ShutdownSide { sending, both }; // what a shutdown ends: our sending, or both ways

// One socket, closed when its owner goes (or is given another one).
class Socket {
public:
    Socket() = default;
    ~Socket() { close(); }
    Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, closedHandle)) {}
    Socket& operator=(Socket&& other) noexcept
    {
        if (this != &other) {
            close();
            handle_ = std::exchange(other.handle_, closedHandle);
        }
        return *this;
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // A new IPv4 socket; closed when the system refused one.
    static Socket open(SocketKind kind);

    bool isOpen() const { return handle_ != closedHandle; }
    void close();

    bool bind(const Ipv4Endpoint& endpoint) const;
    bool listen() const;
    // The next waiting connection; closed on failure.
    Socket accept() const;
    bool connect(const Ipv4Endpoint& endpoint) const;
    // The port the socket is bound to; nothing when it cannot be read.
    std::optional<std::uint16_t> localPort() const;

    bool setBlocking(bool blocking) const;
    bool setReuseAddress() const;
    bool setNoDelay() const;
    // How long a send may wait for room before it fails.
    bool setSendTimeout(std::chrono::milliseconds timeout) const;
    bool setSendBufferBytes(int bytes) const;
    // The close resets the connection instead of ending it in order.
    bool setResetOnClose() const;

    // Ends the connection in one or both directions and keeps the socket open: the peer reads
    // the end of the data. A receive already blocked on this socket may go on waiting (Wine).
    bool shutdown(ShutdownSide side) const;

    // Waits at most the given time for data (or a connection to accept, or the peer's close).
    Readiness waitReadable(std::chrono::milliseconds wait) const;

    // The byte counts of these calls, or -1 on failure (lastSocketError() says why).
    // A connection's bytes; 0 when the peer closed it. peek leaves them to be read again.
    long receive(char* into, std::size_t size, bool peek = false) const;
    // One datagram, its sender unread. A datagram larger than size fails with an error for which
    // isMessageTooLong() holds, on every system.
    long receiveDatagram(char* into, std::size_t size) const;
    // Never raises a broken-pipe signal: a connection the peer closed fails like any other.
    long send(const char* data, std::size_t size) const;
    long sendTo(const Ipv4Endpoint& to, const char* data, std::size_t size) const;

private:
    // The system's handle as an integer: a SOCKET on Windows (INVALID_SOCKET is all ones, so -1
    // here), a file descriptor elsewhere.
    using Handle = std::intptr_t;
    static constexpr Handle closedHandle = -1;
    explicit Socket(Handle handle) : handle_(handle) {}

    Handle handle_ = closedHandle;
};

// A receive failed only because the datagram did not fit the buffer.
bool isMessageTooLong(int error);

} // namespace qtr
