#pragma once
// A stand-in for RealTraffic toward Quillmarsh: it sends traffic datagrams (one aircraft per
// datagram) and QNH datagrams from a recording, and connects to the feed server as its client,
// answering the version question and keeping every line it receives.
#include "foundation/os_sockets.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace rtpeer {

// One datagram of a recording: seconds after the start, its kind and its text.
struct RecordedDatagram {
    double at = 0.0;
    bool qnh = false; // QNH datagram (port 49004), else traffic (port 49005)
    std::string text;
};

// Recording text: one datagram per line, "<seconds> traffic <datagram>" or
// "<seconds> qnh <json>"; blank lines and lines starting with '#' are skipped. Throws
// std::runtime_error naming the line for anything else.
std::vector<RecordedDatagram> parseRecording(const std::string& text);
std::vector<RecordedDatagram> loadRecording(const std::string& path);
std::string formatRecording(const std::vector<RecordedDatagram>& datagrams, const std::string& comment);

// Lays one line of the older 15-field format ("AITFC,...") into the field positions of the
// newer format (43 fields); empty when the line is not such a line.
std::optional<std::string> convertAitfcLine(std::string_view line);
// Converts a capture of older lines (weather JSON lines mixed in, "<epoch> : " prefixes
// allowed; a line without its own time stamp takes its prefix's) into a recording in time
// order, relative to its earliest time stamp; at most maxTraffic traffic datagrams (0: all).
std::vector<RecordedDatagram> convertCapture(const std::string& capture, std::size_t maxTraffic);
// Converts a capture file into a recording file; the datagrams written. Throws
// std::runtime_error when the capture cannot be read, holds no traffic line with a time, or the
// recording cannot be written.
std::size_t convertCaptureFile(const std::string& capturePath, const std::string& recordingPath,
                               std::size_t maxTraffic);

// The traffic datagram with its time stamp (field 14) set to the given time.
std::string restampTraffic(std::string_view datagram, double epochSeconds);

class UdpSender {
public:
    explicit UdpSender(const std::string& host = "127.0.0.1");
    // True when the whole datagram went out.
    bool send(std::uint16_t port, std::string_view datagram);

private:
    // Declared first: the socket closes before the library's cleanup.
    qtr::SocketLibraryUse library_;
    std::uint32_t address_;
    qtr::Socket socket_;
};

struct PlayOptions {
    std::string host = "127.0.0.1";
    std::uint16_t trafficPort = 49005;
    std::uint16_t qnhPort = 49004;
    double speed = 1.0; // 2.0 plays twice as fast
    bool loop = false;
};

// Sends the datagrams in time order; traffic time stamps become the time of sending. Returns
// the number sent; ends early when stop is set.
std::size_t play(const std::vector<RecordedDatagram>& recording, const PlayOptions& options,
                 const std::atomic<bool>& stop, const std::function<void(const std::string&)>& log = {});

enum class ReplyMode {
    Json,               // the reply in one piece
    Split,              // the same reply in two pieces
    SplitAfterLineFeed, // the reply written over two lines, sent in two pieces split after the first line
    Invalid,            // a reply that is not JSON
    Silent,             // no reply at all
};

struct FeedClientOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 10747;
    std::string version = "10.0.240";
    int level = 2;
    ReplyMode reply = ReplyMode::Json;
    bool reconnect = true; // connect again after the server closed or "exit"
    std::chrono::milliseconds retry{200};
};

// The feed server's client, on a thread of its own.
class FeedClient {
public:
    explicit FeedClient(FeedClientOptions options, std::function<void(const std::string&)> log = {});
    ~FeedClient();
    FeedClient(const FeedClient&) = delete;
    FeedClient& operator=(const FeedClient&) = delete;

    void start();
    void stop();
    // Every line received, in order, with its line end as sent.
    std::vector<std::string> lines();
    // Waits until at least count lines arrived; false after the time-out.
    bool waitForLines(std::size_t count, std::chrono::milliseconds timeout);
    // Waits until the given number of connections were made; false after the time-out.
    bool waitForConnections(int count, std::chrono::milliseconds timeout);
    // Drops the current connection abruptly (a reset) and stays away until allowReconnect.
    void dropConnection();
    void allowReconnect();
    int connections();

private:
    void run();
    void received(const std::string& line);

    FeedClientOptions options_;
    std::function<void(const std::string&)> log_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> drop_{false};
    std::atomic<bool> away_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    int connections_ = 0;
};

} // namespace rtpeer
