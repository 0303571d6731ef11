// The socket layer on Winsock (the program) and on POSIX sockets (the native test build). The
// calls are the same BSD calls on both; what differs is gathered in the block below.
#include "foundation/os_sockets.h"

#include <fmt/format.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <unordered_map>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace qtr {

namespace {

#ifdef _WIN32
using SystemSocket = SOCKET;
using SystemLength = int;
constexpr int noSignal = 0;      // Winsock raises no signal on a broken connection
constexpr int noInheritance = 0; // Winsock sockets are not inherited by default
constexpr int shutdownSending = SD_SEND;
constexpr int shutdownBoth = SD_BOTH;
#else
using SystemSocket = int;
using SystemLength = socklen_t;
constexpr int SOCKET_ERROR = -1;
constexpr int noSignal = MSG_NOSIGNAL;
constexpr int noInheritance = SOCK_CLOEXEC;
constexpr int shutdownSending = SHUT_WR;
constexpr int shutdownBoth = SHUT_RDWR;
#endif

// A sized argument of the system's calls: Winsock counts in int, POSIX in size_t.
#ifdef _WIN32
int sizeArgument(std::size_t size) { return static_cast<int>(std::min<std::size_t>(size, 0x7FFFFFFF)); }
#else
std::size_t sizeArgument(std::size_t size) { return size; }
#endif

sockaddr_in toSystem(const Ipv4Endpoint& endpoint)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    address.sin_addr.s_addr = htonl(endpoint.address);
    return address;
}

Ipv4Endpoint fromSystem(const sockaddr_in& address)
{
    return Ipv4Endpoint{ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

template <typename Value>
bool setOption(std::intptr_t handle, int level, int name, const Value& value)
{
    return setsockopt(static_cast<SystemSocket>(handle), level, name, reinterpret_cast<const char*>(&value),
                      sizeof value) != SOCKET_ERROR;
}

} // namespace

#ifdef _WIN32

SocketLibraryUse::SocketLibraryUse()
{
    // Winsock's description of itself is not needed: only the start counts.
    WSADATA wsaData{};
    const int result = WSAStartup(MAKEWORD(2, 2), &wsaData);
    if (result != 0) throw std::runtime_error(fmt::format("WSA startup error: {}", result));
}

SocketLibraryUse::~SocketLibraryUse() { WSACleanup(); }

int lastSocketError() { return WSAGetLastError(); }

std::string socketErrorText(int error) { return gf_wsaErrorText(error); }

bool isMessageTooLong(int error) { return error == WSAEMSGSIZE; }

// The header holds the handle as an integer: it must be as wide as a SOCKET, and INVALID_SOCKET
// must read as -1 in it.
static_assert(sizeof(SOCKET) == sizeof(std::intptr_t));
static_assert(static_cast<std::intptr_t>(INVALID_SOCKET) == -1);

void Socket::close()
{
    if (handle_ != closedHandle) closesocket(static_cast<SOCKET>(handle_));
    handle_ = closedHandle;
}

bool Socket::setBlocking(bool blocking) const
{
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(static_cast<SOCKET>(handle_), FIONBIO, &nonBlocking) != SOCKET_ERROR;
}

bool Socket::setSendTimeout(std::chrono::milliseconds timeout) const
{
    const DWORD ms = static_cast<DWORD>(timeout.count());
    return setOption(handle_, SOL_SOCKET, SO_SNDTIMEO, ms);
}

Readiness Socket::waitReadable(std::chrono::milliseconds wait) const
{
    fd_set readSet;
    FD_ZERO(&readSet);
    FD_SET(static_cast<SOCKET>(handle_), &readSet);
    const auto ms = wait.count();
    timeval timeout{static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
    const int ready = select(0, &readSet, nullptr, nullptr, &timeout);
    if (ready == SOCKET_ERROR) return Readiness::failed;
    return ready > 0 && FD_ISSET(static_cast<SOCKET>(handle_), &readSet) ? Readiness::ready : Readiness::timedOut;
}

long Socket::receiveDatagram(char* into, std::size_t size) const
{
    return recvfrom(static_cast<SOCKET>(handle_), into, sizeArgument(size), 0, nullptr, nullptr);
}

#else

SocketLibraryUse::SocketLibraryUse() = default;
SocketLibraryUse::~SocketLibraryUse() = default;

int lastSocketError() { return errno; }

std::string socketErrorText(int error) { return fmt::format("{} {}", error, std::generic_category().message(error)); }

bool isMessageTooLong(int error) { return error == EMSGSIZE; }

void Socket::close()
{
    if (handle_ != closedHandle) ::close(static_cast<int>(handle_));
    handle_ = closedHandle;
}

bool Socket::setBlocking(bool blocking) const
{
    const int fd = static_cast<int>(handle_);
    const int flags = fcntl(fd, F_GETFL);
    if (flags == -1) return false;
    return fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) != -1;
}

bool Socket::setSendTimeout(std::chrono::milliseconds timeout) const
{
    const auto ms = timeout.count();
    const timeval value{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>((ms % 1000) * 1000)};
    return setOption(handle_, SOL_SOCKET, SO_SNDTIMEO, value);
}

// poll rather than select: a descriptor number above select's fixed set size is no fault here.
Readiness Socket::waitReadable(std::chrono::milliseconds wait) const
{
    pollfd entry{static_cast<int>(handle_), POLLIN, 0};
    const auto ms = std::clamp<std::chrono::milliseconds::rep>(wait.count(), 0, 0x7FFFFFFF);
    const int ready = poll(&entry, 1, static_cast<int>(ms));
    if (ready < 0) return errno == EINTR ? Readiness::timedOut : Readiness::failed;
    return ready > 0 ? Readiness::ready : Readiness::timedOut;
}

// POSIX cuts a datagram to the buffer without a word; asked with MSG_TRUNC it tells the whole
// size, and a datagram that did not fit fails as under Winsock.
long Socket::receiveDatagram(char* into, std::size_t size) const
{
    const long count = recvfrom(static_cast<int>(handle_), into, size, MSG_TRUNC, nullptr, nullptr);
    if (count > static_cast<long>(size)) {
        errno = EMSGSIZE;
        return -1;
    }
    return count;
}

#endif

std::optional<std::uint32_t> parseIpv4(const std::string& text)
{
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1) return std::nullopt;
    return ntohl(address.s_addr);
}

int resolveIpv4Stream(const std::string& host, const std::string& service, Ipv4Endpoint& endpoint)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    const int resolved = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    if (resolved != 0) return resolved;
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owned(list, &freeaddrinfo);
    endpoint = fromSystem(*reinterpret_cast<const sockaddr_in*>(list->ai_addr));
    return 0;
}

Socket Socket::open(SocketKind kind)
{
    const bool datagram = kind == SocketKind::datagram;
    const SystemSocket s =
        ::socket(AF_INET, (datagram ? SOCK_DGRAM : SOCK_STREAM) | noInheritance, datagram ? IPPROTO_UDP : IPPROTO_TCP);
    return Socket(static_cast<Handle>(s));
}

bool Socket::bind(const Ipv4Endpoint& endpoint) const
{
    const sockaddr_in address = toSystem(endpoint);
    return ::bind(static_cast<SystemSocket>(handle_), reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
           SOCKET_ERROR;
}

bool Socket::listen() const { return ::listen(static_cast<SystemSocket>(handle_), SOMAXCONN) != SOCKET_ERROR; }

Socket Socket::accept() const
{
    return Socket(static_cast<Handle>(::accept(static_cast<SystemSocket>(handle_), nullptr, nullptr)));
}

bool Socket::connect(const Ipv4Endpoint& endpoint) const
{
    const sockaddr_in address = toSystem(endpoint);
    return ::connect(static_cast<SystemSocket>(handle_), reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
           SOCKET_ERROR;
}

std::optional<std::uint16_t> Socket::localPort() const
{
    sockaddr_in bound{};
    SystemLength length = sizeof bound;
    if (getsockname(static_cast<SystemSocket>(handle_), reinterpret_cast<sockaddr*>(&bound), &length) != 0)
        return std::nullopt;
    return fromSystem(bound).port;
}

bool Socket::setReuseAddress() const
{
#ifdef _WIN32
    const BOOL reuse = TRUE;
#else
    const int reuse = 1;
#endif
    return setOption(handle_, SOL_SOCKET, SO_REUSEADDR, reuse);
}

bool Socket::setNoDelay() const
{
#ifdef _WIN32
    // Winsock takes the flag as one byte.
    const char noDelay = 1;
#else
    const int noDelay = 1;
#endif
    return setOption(handle_, IPPROTO_TCP, TCP_NODELAY, noDelay);
}

bool Socket::setSendBufferBytes(int bytes) const { return setOption(handle_, SOL_SOCKET, SO_SNDBUF, bytes); }

bool Socket::setResetOnClose() const
{
    const linger abrupt{1, 0};
    return setOption(handle_, SOL_SOCKET, SO_LINGER, abrupt);
}

bool Socket::shutdown(ShutdownSide side) const
{
    return ::shutdown(static_cast<SystemSocket>(handle_),
                      side == ShutdownSide::both ? shutdownBoth : shutdownSending) != SOCKET_ERROR;
}

long Socket::receive(char* into, std::size_t size, bool peek) const
{
    return recv(static_cast<SystemSocket>(handle_), into, sizeArgument(size), peek ? MSG_PEEK : 0);
}

long Socket::send(const char* data, std::size_t size) const
{
    return ::send(static_cast<SystemSocket>(handle_), data, sizeArgument(size), noSignal);
}

long Socket::sendTo(const Ipv4Endpoint& to, const char* data, std::size_t size) const
{
    const sockaddr_in address = toSystem(to);
    return sendto(static_cast<SystemSocket>(handle_), data, sizeArgument(size), noSignal,
                  reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

std::string gf_wsaErrorText(int code)
{
    static const std::unordered_map<int, const char*> texts{
        {10004, "Interrupted system call"},
        {10009, "Bad file number"},
        {10013, "Permission denied"},
        {10014, "Bad address"},
        {10022, "Invalid argument"},
        {10024, "Too many open sockets"},
        {10035, "Operation would block"},
        {10036, "Operation now in progress"},
        {10037, "Operation already in progress"},
        {10038, "Socket operation on non-socket"},
        {10039, "Destination address required"},
        {10040, "Messenger too long"},
        {10041, "Protocol wrong type for socket"},
        {10042, "Bad protocol option"},
        {10043, "Protocol not supported"},
        {10044, "Socket type not supported"},
        {10045, "Operation not supported on socket"},
        {10046, "Protocol family not supported"},
        {10047, "Address family not supported"},
        {10048, "Address already in use"},
        {10049, "Can't assign requested address"},
        {10050, "Network is down"},
        {10051, "Network is unreachable"},
        {10052, "Net connection reset"},
        {10053, "Software caused connection abort"},
        {10054, "Connection reset by peer"},
        {10055, "No buffer space available"},
        {10056, "Socket is already connected"},
        {10057, "Socket is not connected"},
        {10058, "Can't send numLines socket shutdown"},
        {10059, "Too many references, can't splice"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10062, "Too many levels of symbolic links"},
        {10063, "File name too long"},
        {10064, "Host is down"},
        {10065, "No route to host"},
        {10066, "Directory not empty"},
        {10067, "Too many processes"},
        {10068, "Too many users"},
        {10069, "Disc quota exceeded"},
        {10070, "Stale NFS file handle"},
        {10071, "Too many levels of remote in path"},
        {10091, "Network system is unavailable"},
        {10092, "Winsock version out of range"},
        {10093, "WSAStartup not yet called"},
        {10101, "Graceful shutdown in progress"},
        {11001, "Host not found"},
        {11004, "No host data of that type was found"},
    };
    const auto it = texts.find(code);
    return fmt::format("{} ", code) + (it == texts.end() ? "Unknown errror code" : it->second);
}

} // namespace qtr
