#include "http_server.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qmhttp {

namespace {

constexpr std::size_t maxRequestBytes = 64 * 1024;
// How long a wait for a connection or for a request's bytes lasts before it looks whether the
// server stops. Neither a blocked accept nor a blocked receive is ended by another thread
// without closing the socket under it (a shutdown does not end them under Wine), so the
// waits are cut into slices, and each socket is closed only by the thread that waits on it.
constexpr std::chrono::milliseconds stopLookInterval{20};

std::string reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

bool sendAll(const qtr::Socket& socket, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const long n = socket.send(bytes.data() + sent, bytes.size() - sent);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string normalisePath(const std::string& path)
{
    if (path.empty() || path.front() != '/') return "/" + path;
    return path;
}

// Request line and User-Agent of a request head; false when it is no GET request line.
bool parseHead(const std::string& head, Request& request)
{
    std::istringstream lines(head);
    std::string line;
    if (!std::getline(lines, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream first(line);
    std::string method, target, version;
    first >> method >> target >> version;
    if (method != "GET" || target.empty()) return false;
    request.path = target;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        if (lowerCase(line.substr(0, colon)) != "user-agent") continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        request.userAgent = value;
    }
    return true;
}

bool readFileBytes(const std::filesystem::path& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream out;
    out << in.rdbuf();
    bytes = out.str();
    return true;
}

} // namespace

Route Route::ok(std::string body)
{
    Route route;
    route.body = std::move(body);
    return route;
}

Route Route::status404()
{
    Route route;
    route.status = 404;
    route.body = "not found\n";
    return route;
}

Route Route::garbage()
{
    Route route;
    route.kind = Kind::Garbage;
    route.body = std::string("\x00\xff\x13garbage, not HTTP\r\n\r\n", 24);
    return route;
}

Route Route::redirect(std::string location)
{
    Route route;
    route.kind = Kind::Redirect;
    route.status = 302;
    route.location = std::move(location);
    route.body = "moved\n";
    return route;
}

Route Route::stall(std::string bodyPrefix)
{
    Route route;
    route.kind = Kind::Stall;
    route.body = std::move(bodyPrefix);
    return route;
}

Route Route::silent()
{
    Route route;
    route.delayMs = -1;
    return route;
}

Route Route::drip(std::string body, std::size_t pieceBytes, int intervalMs)
{
    Route route;
    route.kind = Kind::Drip;
    route.body = std::move(body);
    route.pieceBytes = std::max<std::size_t>(pieceBytes, 1);
    route.intervalMs = intervalMs;
    return route;
}

Route Route::endless(std::string piece)
{
    Route route;
    route.kind = Kind::Endless;
    route.body = piece.empty() ? std::string("x") : std::move(piece);
    return route;
}

Server::Server()
{
    try {
        library_.emplace();
    } catch (const std::runtime_error&) {
        // No socket library: start() refuses, as a server that cannot listen.
    }
}

Server::~Server() { stop(); }

bool Server::start(std::uint16_t port)
{
    if (!library_ || acceptThread_.joinable()) return false;
    qtr::Socket listener = qtr::Socket::open(qtr::SocketKind::stream);
    if (!listener.isOpen() || !listener.bind({qtr::loopbackAddress, port}) || !listener.listen()) return false;
    port_ = listener.localPort().value_or(0);
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    acceptThread_ = std::thread([this, listener = std::move(listener)] { acceptLoop(listener); });
    return true;
}

void Server::stop()
{
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        // No answer goes out after the stop.
        for (const qtr::Socket& client : openClients_) client.shutdown(qtr::ShutdownSide::both);
    }
    changed_.notify_all();
    if (acceptThread_.joinable()) acceptThread_.join();
    {
        std::lock_guard lock(mutex_);
        threads.swap(connectionThreads_);
    }
    for (auto& thread : threads) thread.join();
}

std::string Server::baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

void Server::setRoute(const std::string& path, Route route)
{
    std::lock_guard lock(mutex_);
    routes_[normalisePath(path)] = std::move(route);
}

void Server::clearRoutes()
{
    std::lock_guard lock(mutex_);
    routes_.clear();
}

void Server::setFileRoot(const std::filesystem::path& folder)
{
    std::lock_guard lock(mutex_);
    fileRoot_ = folder;
}

std::vector<Request> Server::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

void Server::clearRequests()
{
    std::lock_guard lock(mutex_);
    requests_.clear();
}

bool Server::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

bool Server::waitForConnections(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return openClients_.size() == count; });
}

void Server::setRequestLogger(std::function<void(const Request&, int)> logger)
{
    std::lock_guard lock(mutex_);
    logger_ = std::move(logger);
}

void Server::acceptLoop(const qtr::Socket& listener)
{
    for (;;) {
        const qtr::Readiness readiness = listener.waitReadable(stopLookInterval);
        qtr::Socket client;
        if (readiness == qtr::Readiness::ready) client = listener.accept();
        std::lock_guard lock(mutex_);
        // A stop or a broken listener: no more connections (one accepted as the server stops
        // closes here, the listener when the thread ends).
        if (stopping_ || readiness == qtr::Readiness::failed) return;
        if (readiness == qtr::Readiness::timedOut) continue;
        if (!client.isOpen()) return;
        const qtr::Socket& served = openClients_.emplace_back(std::move(client));
        connectionThreads_.emplace_back([this, &served] { serve(served); });
        changed_.notify_all();
    }
}

bool Server::waitOrStop(int delayMs)
{
    std::unique_lock lock(mutex_);
    if (delayMs < 0) {
        changed_.wait(lock, [this] { return stopping_; });
        return false;
    }
    return !changed_.wait_for(lock, std::chrono::milliseconds(delayMs), [this] { return stopping_; });
}

long Server::receiveUnlessStopped(const qtr::Socket& client, char* into, std::size_t size) const
{
    // A shutdown does not end a receive that is already blocked (not under Wine at least), so a
    // client that never finishes its request would hold the stop for ever: the wait is cut into
    // slices with a look at the stop in between.
    for (;;) {
        const qtr::Readiness readiness = client.waitReadable(stopLookInterval);
        if (readiness == qtr::Readiness::failed) return -1;
        if (readiness == qtr::Readiness::ready) return client.receive(into, size);
        std::lock_guard lock(mutex_);
        if (stopping_) return -1;
    }
}

Route Server::lookup(const std::string& path) const
{
    std::lock_guard lock(mutex_);
    if (auto it = routes_.find(path); it != routes_.end()) return it->second;
    if (auto it = routes_.find("/*"); it != routes_.end()) return it->second;
    if (!fileRoot_.empty()) {
        // Only plain names below the root: no "..", no drive or backslash tricks.
        std::string relative =
            path.substr(1, path.find('?') == std::string::npos ? std::string::npos : path.find('?') - 1);
        const bool safe = relative.find("..") == std::string::npos && relative.find('\\') == std::string::npos &&
                          relative.find(':') == std::string::npos && !relative.empty();
        std::string bytes;
        if (safe && std::filesystem::is_regular_file(fileRoot_ / std::filesystem::u8path(relative)) &&
            readFileBytes(fileRoot_ / std::filesystem::u8path(relative), bytes))
            return Route::ok(std::move(bytes));
    }
    return Route::status404();
}

void Server::sendSlowly(const qtr::Socket& client, const Route& route)
{
    const bool endless = route.kind == Route::Kind::Endless;
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n";
    // Without a length the body ends only when the connection closes.
    head += endless ? std::string("Connection: close\r\n\r\n")
                    : "Content-Length: " + std::to_string(route.body.size()) + "\r\nConnection: close\r\n\r\n";
    if (!sendAll(client, head)) return;
    if (endless) {
        // In blocks of many pieces, so that a short piece does not cost a send each.
        std::string block;
        while (block.size() < 65536) block += route.body;
        // A failed send: the client has gone; the stop shuts the socket down, which fails it too.
        while (sendAll(client, block)) {
        }
        return;
    }
    for (std::size_t at = 0; at < route.body.size(); at += route.pieceBytes) {
        if (at > 0 && !waitOrStop(route.intervalMs)) return;
        if (!sendAll(client, route.body.substr(at, route.pieceBytes))) return;
    }
}

void Server::serve(const qtr::Socket& client)
{
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < maxRequestBytes) {
        const long n = receiveUnlessStopped(client, buffer, sizeof buffer);
        if (n <= 0) break;
        head.append(buffer, static_cast<std::size_t>(n));
    }
    Request request;
    if (parseHead(head, request)) {
        const Route route = lookup(normalisePath(request.path));
        std::function<void(const Request&, int)> logger;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            logger = logger_;
        }
        changed_.notify_all();
        if (logger) logger(request, route.status);
        if (route.delayMs == 0 || waitOrStop(route.delayMs)) {
            std::string reply;
            switch (route.kind) {
            case Route::Kind::Garbage:
                sendAll(client, route.body);
                break;
            case Route::Kind::Stall:
                reply = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                        std::to_string(route.body.size() + 1000000) + "\r\n\r\n" + route.body;
                if (sendAll(client, reply)) waitOrStop(-1);
                break;
            case Route::Kind::Drip:
            case Route::Kind::Endless:
                sendSlowly(client, route);
                break;
            case Route::Kind::Redirect:
            case Route::Kind::Normal:
                reply = "HTTP/1.1 " + std::to_string(route.status) + " " + reasonPhrase(route.status) + "\r\n";
                if (route.kind == Route::Kind::Redirect) reply += "Location: " + route.location + "\r\n";
                reply += "Content-Type: application/octet-stream\r\nContent-Length: " +
                         std::to_string(route.body.size()) + "\r\nConnection: close\r\n\r\n" + route.body;
                sendAll(client, reply);
                break;
            }
        }
    }
    client.shutdown(qtr::ShutdownSide::sending);
    {
        std::lock_guard lock(mutex_);
        openClients_.remove_if([&client](const qtr::Socket& open) { return &open == &client; });
    }
    changed_.notify_all();
}

} // namespace qmhttp
