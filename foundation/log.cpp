#include "foundation/log.h"

#include "foundation/time_text.h"
#include "foundation/version.h"
#include "foundation/run_control.h"

#include <fmt/format.h>

#include <stdexcept>

namespace qtr {

std::ofstream logFile;
std::mutex logMutex;

namespace {

void writeLine(std::string_view prefix, std::string_view text)
{
    if (!logFile.is_open()) return;
    std::lock_guard lock(logMutex);
    logFile << prefix << text << '\n';
    logFile.flush();
}

// Copies over an existing target (the mingw library refuses to overwrite with copy_file).
void copyOver(const std::filesystem::path& from, const std::filesystem::path& to)
{
    std::filesystem::remove(to);
    std::filesystem::copy_file(from, to);
}

} // namespace

void gf_backupFile(const std::filesystem::path& path)
{
    // The extension of the file's own name: a dot in a folder name is no extension.
    // Cut in the path's own characters, so that no name needs converting.
    using Text = std::filesystem::path::string_type;
    const Text name = path.filename().native();
    const auto dot = name.rfind(std::filesystem::path::value_type('.'));
    if (dot == Text::npos) return;
    const std::filesystem::path folder = path.parent_path();
    const auto numbered = [&](const char* digits) {
        std::filesystem::path numberedName = name.substr(0, dot);
        numberedName += digits;
        numberedName += name.substr(dot);
        return folder / numberedName;
    };
    const std::filesystem::path first = numbered("0");
    const std::filesystem::path second = numbered("00");
    if (std::filesystem::exists(first))
        copyOver(first, second);
    if (std::filesystem::exists(path))
        copyOver(path, first);
}

void gf_startLog()
{
    const std::filesystem::path path(logFileName);
    gf_backupFile(path);
    logFile.open(path, std::ios::out | std::ios::trunc);
    if (!logFile.is_open()) {
        logFile.clear();
        throw std::runtime_error(std::string("Failed to write file ") + logFileName);
    }
    std::lock_guard lock(logMutex);
    logFile << fmt::format("{} (utc) {} version {} for {}", timeToText(nowUtcSeconds()), programName,
                           programVersion().toString(), "MSFS 2020/2024")
            << '\n';
    logFile.flush();
}

void closeLog()
{
    std::lock_guard lock(logMutex);
    if (logFile.is_open()) logFile.close();
}

void logLine(std::string_view text) { writeLine({}, text); }
void logMarked(std::string_view text) { writeLine("===> ", text); }
void logIndented(std::string_view text) { writeLine("          ", text); }

void logLineWhileRunning(const std::string& text)
{
    if (stopRequested.load() || windowClosed.load()) return;
    writeLine({}, text);
}

} // namespace qtr
