// rtpeer: plays RealTraffic toward Quillmarsh on this PC.
//
//   rtpeer play <recording> [--speed S] [--loop] [--host A] [--traffic-port P] [--qnh-port P]
//                           [--feed-port P | --no-feed] [--level 1|2] [--version TEXT]
//                           [--reply json|split|invalid|silent] [--log FILE]
//   rtpeer convert <capture of 15-field lines> <recording> [--max N]
#include "rtpeer.h"

#include <fmt/format.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>

namespace {

int usage()
{
    std::fputs("usage: rtpeer play <recording> [--speed S] [--loop] [--host A] [--traffic-port P]\n"
               "                   [--qnh-port P] [--feed-port P | --no-feed] [--level 1|2] [--version TEXT]\n"
               "                   [--reply json|split|invalid|silent] [--log FILE]\n"
               "       rtpeer convert <capture> <recording> [--max N]\n",
               stderr);
    return 2;
}

std::uint16_t portOf(const std::string& text) { return static_cast<std::uint16_t>(std::stoi(text)); }

int convert(int argc, char** argv)
{
    if (argc < 4) return usage();
    std::size_t max = 0;
    for (int i = 4; i + 1 < argc; i += 2)
        if (std::string(argv[i]) == "--max") max = static_cast<std::size_t>(std::stoul(argv[i + 1]));
    const std::size_t written = rtpeer::convertCaptureFile(argv[2], argv[3], max);
    std::printf("%zu datagrams written to %s\n", written, argv[3]);
    return 0;
}

int play(int argc, char** argv)
{
    if (argc < 3) return usage();
    rtpeer::PlayOptions play;
    rtpeer::FeedClientOptions feed;
    bool withFeed = true;
    std::string logPath;
    for (int i = 3; i < argc; ++i) {
        const std::string option = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) throw std::runtime_error("missing value after " + option);
            return argv[++i];
        };
        if (option == "--speed")
            play.speed = std::stod(next());
        else if (option == "--loop")
            play.loop = true;
        else if (option == "--host")
            play.host = feed.host = next();
        else if (option == "--traffic-port")
            play.trafficPort = portOf(next());
        else if (option == "--qnh-port")
            play.qnhPort = portOf(next());
        else if (option == "--feed-port")
            feed.port = portOf(next());
        else if (option == "--no-feed")
            withFeed = false;
        else if (option == "--level")
            feed.level = std::stoi(next());
        else if (option == "--version")
            feed.version = next();
        else if (option == "--reply") {
            const std::string mode = next();
            feed.reply = mode == "split"     ? rtpeer::ReplyMode::Split
                         : mode == "invalid" ? rtpeer::ReplyMode::Invalid
                         : mode == "silent"  ? rtpeer::ReplyMode::Silent
                                             : rtpeer::ReplyMode::Json;
        } else if (option == "--log")
            logPath = next();
        else
            return usage();
    }
    std::mutex logMutex;
    std::ofstream logFile;
    if (!logPath.empty()) logFile.open(logPath, std::ios::app);
    auto log = [&](const std::string& line) {
        std::lock_guard lock(logMutex);
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        if (logFile) logFile << line << "\n" << std::flush;
    };
    const auto recording = rtpeer::loadRecording(argv[2]);
    log(fmt::format("playing {} datagrams from {} at speed {}{}", recording.size(), argv[2], play.speed,
                    play.loop ? ", looping" : ""));
    rtpeer::FeedClient client(feed, log);
    if (withFeed) client.start();
    std::atomic<bool> stop{false};
    const std::size_t sent = rtpeer::play(recording, play, stop, log);
    log(fmt::format("{} datagrams sent", sent));
    client.stop();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        if (argc < 2) return usage();
        const std::string command = argv[1];
        if (command == "convert") return convert(argc, argv);
        if (command == "play") return play(argc, argv);
        return usage();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rtpeer: %s\n", e.what());
        return 1;
    }
}
