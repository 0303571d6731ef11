#include "links/udp_receiver.h"

#include "foundation/indicators.h"
#include "foundation/log.h"
#include "foundation/os_sockets.h"
#include "links/feed.h"
#include "foundation/run_control.h"

#include <fmt/format.h>

#include <stdexcept>

namespace qtr {

namespace {

// Where the reader listens: the test's override, the loopback while RealTraffic runs on this PC,
// else every address (RealTraffic on another PC of the network sends to this one).
std::uint32_t receiverAddress(const UdpReceiver& reader)
{
    if (!reader.bindAddressOverride.empty()) return parseIpv4(reader.bindAddressOverride).value_or(0);
    return feedOnThisPc ? loopbackAddress : 0;
}

Socket openReceiverSocket(UdpReceiver& reader, std::uint16_t port)
{
    Socket socket = Socket::open(SocketKind::datagram);
    if (!socket.isOpen())
        throw std::runtime_error(
            fmt::format("failed to create the socket, error: {}", socketErrorText(lastSocketError())));
    if (!socket.bind({receiverAddress(reader), port}))
        throw std::runtime_error(
            fmt::format("bind to stream socket failed, error: {}", socketErrorText(lastSocketError())));
    if (const auto bound = socket.localPort()) reader.boundPort.store(*bound);
    return socket;
}

// Receives until a stop is asked for; the socket is closed before the reader hears of the end.
void runReceiveLoop(UdpReceiver& reader, Socket& socket)
{
    const bool feedLocal = feedOnThisPc;
    while (!reader.stop.load()) {
        const Readiness readiness = socket.waitReadable(std::chrono::seconds(1));
        if (readiness == Readiness::failed)
            throw std::runtime_error(fmt::format("receive error: {}", socketErrorText(lastSocketError())));
        if (readiness == Readiness::timedOut) continue;
        const long count = socket.receiveDatagram(reader.buffer.data(), receiveBufferSize);
        if (count < 0) {
            const int error = lastSocketError();
            // A datagram larger than the buffer is an overrun like one that fills it: any host
            // may send one, so it is skipped rather than ending the reader.
            if (isMessageTooLong(error)) {
                reader.datagramLog.write("buffer overrun", fmt::format("buffer overrun: {} bytes", "more than 16384"),
                                         true);
                continue;
            }
            throw std::runtime_error(fmt::format("receive error: {}", socketErrorText(error)));
        }
        if (count == 0) continue;
        if (count >= static_cast<long>(receiveBufferSize)) {
            reader.datagramLog.write("buffer overrun", fmt::format("buffer overrun: {} bytes", count), true);
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
    socket.close();
    reader.onStopped();
}

} // namespace

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
        // Declared first, so that the socket is closed before the library's cleanup.
        const SocketLibraryUse library;
        Socket socket = openReceiverSocket(reader, port);
        if (started) started();
        logReaderConnected(name);
        runReceiveLoop(reader, socket);
    } catch (const std::exception& e) {
        readerStopped(name, e.what());
    } catch (...) {
        readerStopped(name, "unknown exception");
    }
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
