#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for tests and scripted runs: it answers GET requests from
// a table of routes (and, for runs, from the files below a folder), records the path and the
// User-Agent of every request, and can misbehave on purpose: garbage instead of HTTP, a redirect,
// a delayed answer, a body that stalls half-way, one that drips slowly and one without end.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/os_sockets.h"

namespace qmhttp {

struct Route {
    enum class Kind {
        Normal,   // status line, headers and the whole body
        Garbage,  // bytes that are no HTTP at all, then the connection closes
        Redirect, // a 302 to `location`, with a short body of its own
        Stall,    // headers that announce more than `body`, then `body`, then silence until stop
        Drip,     // headers that announce `body`, then `body` in pieces of `pieceBytes` every `intervalMs`
        Endless,  // headers without a length, then `body` again and again until either side ends
    };
    Kind kind = Kind::Normal;
    int status = 200;
    std::string body;
    // Milliseconds to wait before answering (a stop ends the wait).
    int delayMs = 0;
    std::string location;
    std::size_t pieceBytes = 0;
    int intervalMs = 0;

    static Route ok(std::string body);
    static Route status404();
    static Route garbage();
    static Route redirect(std::string location);
    static Route stall(std::string bodyPrefix);
    // Waits until the server stops before answering anything.
    static Route silent();
    // A whole, announced body that arrives slowly: pieceBytes every intervalMs.
    static Route drip(std::string body, std::size_t pieceBytes, int intervalMs);
    // A body that never ends: piece repeated as fast as the client takes it.
    static Route endless(std::string piece);
};

struct Request {
    std::string path;
    std::string userAgent;
};

class Server {
public:
    Server();
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens on 127.0.0.1 (port 0: an ephemeral port). False when the socket cannot be bound.
    bool start(std::uint16_t port = 0);
    // Closes the listener and every open connection (stalled ones included) and joins all threads.
    void stop();

    std::uint16_t port() const { return port_; }
    // "http://127.0.0.1:<port>/"
    std::string baseUrl() const;

    // Routes are keyed by the request path; a missing leading '/' is added. The route "*" answers
    // every path without a route of its own (a whole site that misbehaves).
    void setRoute(const std::string& path, Route route);
    void clearRoutes();
    // Paths without a route are looked up as files below this folder (none: 404).
    void setFileRoot(const std::filesystem::path& folder);

    std::vector<Request> requests() const;
    void clearRequests();
    // Waits until at least count requests were received; false on time-out.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

    // Waits until exactly count connections are being served; false on time-out.
    bool waitForConnections(std::size_t count, std::chrono::milliseconds timeout) const;

    // Called for each request (for the scripted server's own log); may be empty.
    void setRequestLogger(std::function<void(const Request&, int status)> logger);

private:
    void acceptLoop(const qtr::Socket& listener);
    void serve(const qtr::Socket& client);
    bool waitOrStop(int delayMs);
    // Sends the body of a Drip or Endless route until it is done, the client leaves or the server stops.
    void sendSlowly(const qtr::Socket& client, const Route& route);
    // A receive that ends (-1) when the server stops; otherwise as Socket::receive.
    long receiveUnlessStopped(const qtr::Socket& client, char* into, std::size_t size) const;
    Route lookup(const std::string& path) const;

    // First in, last out: every socket below is closed before the library's use ends.
    std::optional<qtr::SocketLibraryUse> library_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<std::string, Route> routes_;
    std::filesystem::path fileRoot_;
    std::vector<Request> requests_;
    // The connections being served, each removed (and closed) by its own thread; a list, so that
    // a serving thread's socket stays where it is while others come and go.
    std::list<qtr::Socket> openClients_;
    std::vector<std::thread> connectionThreads_;
    std::function<void(const Request&, int)> logger_;
    std::thread acceptThread_;
    std::uint16_t port_ = 0;
    bool stopping_ = false;
};

} // namespace qmhttp
