#include "links/udp_receiver.h"

#include "foundation/indicators.h"
#include "foundation/log.h"
#include "links/feed.h"
#include "foundation/geometry.h"
#include "foundation/utilities.h"
#include "foundation/run_control.h"

#include <fmt/format.h>

#include <ws2tcpip.h>

#include <type_traits>

#include <cstring>
#include <stdexcept>

namespace qtr {

namespace {

void closeReceiverSocket(UdpReceiver& reader)
{
    if (reader.socket != INVALID_SOCKET) {
        closesocket(reader.socket);
        reader.socket = INVALID_SOCKET;
    }
}

// One start of Winsock for a reader's run, cleaned up exactly once when the run ends, and only
// when the start succeeded: a cleanup without its start would count off a start of the feed
// server or of the other reader and could end Winsock under them.
class WinsockUse {
public:
    WinsockUse()
    {
        // Winsock's description of itself is not needed: only the start counts.
        WSADATA wsaData{};
        const int result = WSAStartup(MAKEWORD(2, 2), &wsaData);
        if (result != 0) throw std::runtime_error(fmt::format("WSA startup error: {}", result));
    }
    ~WinsockUse() { WSACleanup(); }
    WinsockUse(const WinsockUse&) = delete;
    WinsockUse& operator=(const WinsockUse&) = delete;
};

// The reader's socket, closed when the run ends however it ends (before Winsock's cleanup).
class ReceiverSocketUse {
public:
    explicit ReceiverSocketUse(UdpReceiver& reader) : reader_(reader) {}
    ~ReceiverSocketUse() { closeReceiverSocket(reader_); }
    ReceiverSocketUse(const ReceiverSocketUse&) = delete;
    ReceiverSocketUse& operator=(const ReceiverSocketUse&) = delete;

private:
    UdpReceiver& reader_;
};

} // namespace

// The header holds the socket as a plain integer; it must be the very type of a SOCKET.
static_assert(std::is_same_v<SOCKET, std::uintptr_t> && INVALID_SOCKET == noSocket);

void createReceiverSocket(UdpReceiver& reader)
{
    reader.socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (reader.socket == INVALID_SOCKET)
        throw std::runtime_error(
            fmt::format("failed to create the socket, error: {}", gf_wsaErrorText(WSAGetLastError())));
}

void bindReceiver(UdpReceiver& reader, std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (!reader.bindAddressOverride.empty()) {
        inet_pton(AF_INET, reader.bindAddressOverride.c_str(), &address.sin_addr);
    } else if (feedOnThisPc) {
        inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    } else {
        address.sin_addr.s_addr = htonl(INADDR_ANY);
    }
    if (bind(reader.socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR)
        throw std::runtime_error(
            fmt::format("bind to stream socket failed, error: {}", gf_wsaErrorText(WSAGetLastError())));
    sockaddr_in bound{};
    int length = sizeof bound;
    if (getsockname(reader.socket, reinterpret_cast<sockaddr*>(&bound), &length) == 0)
        reader.boundPort.store(ntohs(bound.sin_port));
}

void runReceiveLoop(UdpReceiver& reader)
{
    const bool feedLocal = feedOnThisPc;
    while (!reader.stop.load()) {
        fd_set readSet;
        FD_ZERO(&readSet);
        FD_SET(reader.socket, &readSet);
        timeval timeout{1, 0};
        const int ready = select(0, &readSet, nullptr, nullptr, &timeout);
        if (ready == SOCKET_ERROR)
            throw std::runtime_error(fmt::format("receive error: {}", gf_wsaErrorText(WSAGetLastError())));
        if (ready == 0 || !FD_ISSET(reader.socket, &readSet)) continue;
        const int count =
            recvfrom(reader.socket, reader.buffer.data(), static_cast<int>(receiveBufferSize), 0, nullptr, nullptr);
        if (count == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            // A datagram larger than the buffer is an overrun like one that fills it: any host
            // may send one, so it is skipped rather than ending the reader.
            if (error == WSAEMSGSIZE) {
                reader.datagramLog.write("buffer overrun", fmt::format("buffer overrun: {} bytes", "more than 16384"));
                continue;
            }
            throw std::runtime_error(fmt::format("receive error: {}", gf_wsaErrorText(error)));
        }
        if (count == 0) continue;
        if (count >= static_cast<int>(receiveBufferSize)) {
            reader.datagramLog.write("buffer overrun", fmt::format("buffer overrun: {} bytes", count));
            continue;
        }
        reader.buffer[static_cast<std::size_t>(count)] = '\0';
        reader.data = std::string_view(reader.buffer.data(), static_cast<std::size_t>(count));
        reader.packets.fetch_add(1);
        if (!feedLocal) {
            // A feed from another PC may repeat a datagram; only the one just before counts.
            if (reader.data == reader.previousDatagram) continue;
            reader.previousDatagram.assign(reader.data);
        }
        reader.onPacket();
    }
    closeReceiverSocket(reader);
    reader.onStopped();
}

void logReaderConnected(const std::string& name) { logIndented(fmt::format("{} connected", name)); }
void logReaderDisconnected(const std::string& name) { logIndented(fmt::format("{} disconnected", name)); }

bool readerStopped(const std::string& name, const std::string& text)
{
    setStatus(fmt::format("The {} has stopped with error: {}", name, text), true);
    if (stopRequested.load()) return true;
    return !requestStop(ExitCode::ReaderError, 15);
}

void runReaderThread(UdpReceiver& reader, const std::string& name, std::uint16_t port,
                     const std::function<void()>& started)
{
    try {
        const WinsockUse winsock;
        const ReceiverSocketUse socket(reader);
        createReceiverSocket(reader);
        bindReceiver(reader, port);
        if (started) started();
        logReaderConnected(name);
        runReceiveLoop(reader);
    } catch (const std::exception& e) {
        readerStopped(name, e.what());
    } catch (...) {
        readerStopped(name, "unknown exception");
    }
    reader.socket = INVALID_SOCKET;
    logReaderDisconnected(name);
}

void trafficReaderThread(std::uint16_t port)
{
    runReaderThread(trafficReader, "Traffic Reader", port, [] {
        indicators.trafficLamp = 1;
        indicators.weatherLamp = 1;
        indicators.invalidate(Band::links);
    });
}

void qnhReaderThread(std::uint16_t port)
{
    runReaderThread(qnhReader, "QNH Reader", port, [] {
        indicators.weatherLamp = 1;
        indicators.invalidate(Band::links);
    });
}

} // namespace qtr
