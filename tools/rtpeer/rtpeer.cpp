// The peer's sockets: UDP datagrams toward the readers, and the client of the feed server.
#include "rtpeer.h"

#include <fmt/format.h>

#include <stdexcept>

namespace rtpeer {

namespace {

double epochNow()
{
    using namespace std::chrono;
    return duration_cast<duration<double>>(system_clock::now().time_since_epoch()).count();
}

std::uint32_t addressOf(const std::string& host)
{
    const auto address = qtr::parseIpv4(host);
    if (!address) throw std::runtime_error("bad address " + host);
    return *address;
}

} // namespace

UdpSender::UdpSender(const std::string& host)
    : address_(addressOf(host)), socket_(qtr::Socket::open(qtr::SocketKind::datagram))
{
    if (!socket_.isOpen()) throw std::runtime_error("cannot create a UDP socket");
    // Room for the largest datagrams the tests send.
    socket_.setSendBufferBytes(1 << 17);
}

bool UdpSender::send(std::uint16_t port, std::string_view datagram)
{
    const long sent = socket_.sendTo({address_, port}, datagram.data(), datagram.size());
    return sent == static_cast<long>(datagram.size());
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
    const qtr::SocketLibraryUse library;
    const qtr::Ipv4Endpoint server{addressOf(options_.host), options_.port};
    while (!stop_.load()) {
        if (away_.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        const qtr::Socket s = qtr::Socket::open(qtr::SocketKind::stream);
        if (!s.isOpen() || !s.connect(server)) {
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
                s.setResetOnClose();
                if (log_) log_("dropped the connection");
                break;
            }
            if (s.waitReadable(std::chrono::milliseconds(20)) != qtr::Readiness::ready) continue;
            char buffer[4096];
            const long count = s.receive(buffer, sizeof buffer);
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
                        s.send(reply.data(), reply.size());
                        break;
                    case ReplyMode::Split: {
                        const std::size_t half = reply.size() / 2;
                        s.send(reply.data(), half);
                        std::this_thread::sleep_for(std::chrono::milliseconds(200));
                        s.send(reply.data() + half, reply.size() - half);
                        break;
                    }
                    case ReplyMode::SplitAfterLineFeed: {
                        const std::string first = fmt::format("{{ \"version\":\"{}\",\n", options_.version);
                        const std::string second = fmt::format("  \"level\": {} }}", options_.level);
                        s.send(first.data(), first.size());
                        std::this_thread::sleep_for(std::chrono::milliseconds(200));
                        s.send(second.data(), second.size());
                        break;
                    }
                    case ReplyMode::Invalid: {
                        const std::string junk = "version 10 level 2\r\n";
                        s.send(junk.data(), junk.size());
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
        if (!options_.reconnect) break;
    }
}

} // namespace rtpeer
