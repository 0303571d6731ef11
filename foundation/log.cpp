#include "foundation/log.h"

#include "foundation/clock.h"
#include "foundation/time_text.h"
#include "foundation/version.h"
#include "foundation/run_control.h"

#include <fmt/format.h>

#include <stdexcept>
#include <utility>

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
    if (std::filesystem::exists(first)) copyOver(first, second);
    if (std::filesystem::exists(path)) copyOver(path, first);
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

std::string gf_logExcerpt(std::string_view bytes, std::size_t maxChars)
{
    std::string text;
    std::size_t used = 0;
    for (; used < bytes.size(); ++used) {
        const auto c = static_cast<unsigned char>(bytes[used]);
        const bool plain = c >= 0x20 && c < 0x7F && c != '\\';
        const std::size_t width = plain ? 1 : 4;
        if (text.size() + width > maxChars) break;
        if (plain)
            text += static_cast<char>(c);
        else
            text += fmt::format("\\x{:02X}", c);
    }
    if (used < bytes.size()) text += fmt::format(" ... ({} bytes)", bytes.size());
    return text;
}

void RepeatLimitedLog::write(std::string_view kind, const std::string& line, bool onlyWhileRunning)
{
    const auto now = clock().steadyNow();
    std::uint64_t leftOut = 0;
    {
        std::lock_guard lock(mutex_);
        auto it = kinds_.find(kind);
        if (it == kinds_.end()) it = kinds_.emplace(std::string(kind), Kind{}).first;
        Kind& k = it->second;
        if (k.ever && now - k.written < std::chrono::seconds(1)) {
            ++k.leftOut;
            return;
        }
        leftOut = std::exchange(k.leftOut, 0);
        k.written = now;
        k.ever = true;
    }
    const auto write = [onlyWhileRunning](const std::string& text) {
        if (onlyWhileRunning)
            logLineWhileRunning(text);
        else
            logLine(text);
    };
    write(line);
    if (leftOut > 0) write(fmt::format("          ({} more \"{}\" lines left out)", leftOut, kind));
}

} // namespace qtr
