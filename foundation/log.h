#pragma once
// The program-wide log "Log.txt" in the working folder. Any thread may write whole lines;
// before the log is open (or when it failed to open) every writer does nothing.
#include <filesystem>
#include <fstream>
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

} // namespace qtr
