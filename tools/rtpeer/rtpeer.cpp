// The peer's sockets: UDP datagrams toward the readers, and the client of the feed server.
#include "rtpeer.h"

#include <fmt/format.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <stdexcept>

namespace rtpeer {

namespace {

double epochNow()
{
    using namespace std::chrono;
    return duration_cast<duration<double>>(system_clock::now().time_since_epoch()).count();
}

sockaddr_in addressOf(const std::string& host, std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) throw std::runtime_error("bad address " + host);
    return address;
}

} // namespace

WinsockUser::WinsockUser()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
}

WinsockUser::~WinsockUser() { WSACleanup(); }

UdpSender::UdpSender(std::string host) : host_(std::move(host))
{
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) throw std::runtime_error("cannot create a UDP socket");
    // Room for the largest datagrams the tests send.
    const int size = 1 << 17;
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&size), sizeof size);
    socket_ = static_cast<std::uintptr_t>(s);
}

UdpSender::~UdpSender() { closesocket(static_cast<SOCKET>(socket_)); }

bool UdpSender::send(std::uint16_t port, std::string_view datagram)
{
    const sockaddr_in address = addressOf(host_, port);
    const int sent = sendto(static_cast<SOCKET>(socket_), datagram.data(), static_cast<int>(datagram.size()), 0,
                            reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sent == static_cast<int>(datagram.size());
}

std::size_t play(const std::vector<RecordedDatagram>& recording, const PlayOptions& options,
                 const std::atomic<bool>& stop, const std::function<void(const std::string&)>& log)
{
    UdpSender sender(options.host);
    std::size_t sent = 0;
    const double speed = options.speed > 0 ? options.speed : 1.0;
    do {
        const auto start = std::chrono::steady_clock::now();
        for (const RecordedDatagram& d : recording) {
            const auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                         std::chrono::duration<double>(d.at / speed));
            while (!stop.load() && std::chrono::steady_clock::now() < due)
                std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                    due - std::chrono::steady_clock::now(), std::chrono::milliseconds(50)));
            if (stop.load()) return sent;
            const std::string text = d.qnh ? d.text : restampTraffic(d.text, epochNow());
            if (sender.send(d.qnh ? options.qnhPort : options.trafficPort, text)) ++sent;
            if (log) log(fmt::format("sent {} {}", d.qnh ? "qnh" : "traffic", text));
        }
    } while (options.loop && !stop.load() && !recording.empty());
    return sent;
}

FeedClient::FeedClient(FeedClientOptions options, std::function<void(const std::string&)> log)
    : options_(std::move(options)), log_(std::move(log))
{
}

FeedClient::~FeedClient() { stop(); }

void FeedClient::start()
{
    if (thread_.joinable()) return;
    stop_ = false;
    thread_ = std::thread([this] { run(); });
}

void FeedClient::stop()
{
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

std::vector<std::string> FeedClient::lines()
{
    std::lock_guard lock(mutex_);
    return lines_;
}

bool FeedClient::waitForLines(std::size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return lines_.size() >= count; });
}

bool FeedClient::waitForConnections(int count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return connections_ >= count; });
}

void FeedClient::dropConnection()
{
    away_ = true;
    drop_ = true;
}

void FeedClient::allowReconnect() { away_ = false; }

int FeedClient::connections()
{
    std::lock_guard lock(mutex_);
    return connections_;
}

void FeedClient::received(const std::string& line)
{
    if (log_) log_(fmt::format("received {}", line.substr(0, line.find_last_not_of("\r\n") + 1)));
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
    changed_.notify_all();
}

void FeedClient::run()
{
    WinsockUser winsock;
    while (!stop_.load()) {
        if (away_.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        const sockaddr_in address = addressOf(options_.host, options_.port);
        if (s == INVALID_SOCKET ||
            connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR) {
            if (s != INVALID_SOCKET) closesocket(s);
            std::this_thread::sleep_for(options_.retry);
            continue;
        }
        {
            std::lock_guard lock(mutex_);
            ++connections_;
            changed_.notify_all();
        }
        if (log_) log_(fmt::format("connected to the feed server at port {}", options_.port));
        std::string pending;
        bool open = true;
        while (open && !stop_.load()) {
            if (drop_.exchange(false)) {
                // A reset rather than an orderly close: RealTraffic killed or its PC gone.
                const linger abrupt{1, 0};
                setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abrupt), sizeof abrupt);
                if (log_) log_("dropped the connection");
                break;
            }
            fd_set readSet;
            FD_ZERO(&readSet);
            FD_SET(s, &readSet);
            timeval timeout{0, 20000};
            if (select(0, &readSet, nullptr, nullptr, &timeout) <= 0) continue;
            char buffer[4096];
            const int count = recv(s, buffer, sizeof buffer, 0);
            if (count <= 0) break;
            pending.append(buffer, static_cast<std::size_t>(count));
            for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
                const std::string line = pending.substr(0, end + 1);
                pending.erase(0, end + 1);
                received(line);
                if (line == "Qs999=version\r\n") {
                    const std::string reply =
                        fmt::format("{{ \"version\":\"{}\",\"level\": {} }}", options_.version, options_.level);
                    switch (options_.reply) {
                    case ReplyMode::Json:
                        ::send(s, reply.data(), static_cast<int>(reply.size()), 0);
                        break;
                    case ReplyMode::Split: {
                        const std::size_t half = reply.size() / 2;
                        ::send(s, reply.data(), static_cast<int>(half), 0);
                        std::this_thread::sleep_for(std::chrono::milliseconds(200));
                        ::send(s, reply.data() + half, static_cast<int>(reply.size() - half), 0);
                        break;
                    }
                    case ReplyMode::SplitAfterLineFeed: {
                        const std::string first = fmt::format("{{ \"version\":\"{}\",\n", options_.version);
                        const std::string second = fmt::format("  \"level\": {} }}", options_.level);
                        ::send(s, first.data(), static_cast<int>(first.size()), 0);
                        std::this_thread::sleep_for(std::chrono::milliseconds(200));
                        ::send(s, second.data(), static_cast<int>(second.size()), 0);
                        break;
                    }
                    case ReplyMode::Invalid: {
                        const std::string junk = "version 10 level 2\r\n";
                        ::send(s, junk.data(), static_cast<int>(junk.size()), 0);
                        break;
                    }
                    case ReplyMode::Silent:
                        break;
                    }
                } else if (line == "exit\r\n") {
                    open = false;
                }
            }
        }
        closesocket(s);
        if (!options_.reconnect) break;
    }
}

} // namespace rtpeer
