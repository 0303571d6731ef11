#pragma once
// The program-wide log "Log.txt" in the working folder. Any thread may write whole lines;
// before the log is open (or when it failed to open) every writer does nothing.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace qtr {

extern std::ofstream logFile;
extern std::mutex logMutex;

inline constexpr const char* logFileName = "Log.txt";

// Refreshes the two backup generations of the log, opens it afresh and writes the banner.
// Throws std::runtime_error("Failed to write file Log.txt") when the file cannot be opened.
void gf_startLog();
// Copies name0.ext over name00.ext, then the file over name0.ext (for a name with a '.').
void gf_backupFile(const std::filesystem::path& path);
// Closes the log (the last step of the program).
void closeLog();

void logLine(std::string_view text);
void logMarked(std::string_view text);   // "===> " + text
void logIndented(std::string_view text); // ten blanks + text
// As logLine, but silent once a stop was requested or the window closed.
void logLineWhileRunning(const std::string& text);

// Bytes from outside (a datagram, a field of one) as they may go into the log: at most maxChars
// of them, control characters, quotes' escape and bytes above 126 written as \xNN (so that no
// line end can forge a log line), and " ... (N bytes)" when they were cut.
std::string gf_logExcerpt(std::string_view bytes, std::size_t maxChars = 200);

// Lines of one kind (the readers' "buffer overrun", "no QNH", ...) that any host may provoke at
// any rate: at most one a second reaches the log, and the next one
// written tells how many of its kind were left out meanwhile. Any thread; time from the
// program's clock.
class RepeatLimitedLog {
public:
    // Written with logLine, as the lines of its kind are; onlyWhileRunning writes through
    // logLineWhileRunning instead, for the kinds that nothing may log after a stop.
    void write(std::string_view kind, const std::string& line, bool onlyWhileRunning = false);

private:
    struct Kind {
        std::chrono::steady_clock::time_point written{};
        std::uint64_t leftOut = 0;
        bool ever = false;
    };
    std::mutex mutex_; // guards kinds_
    std::map<std::string, Kind, std::less<>> kinds_;
};

} // namespace qtr
