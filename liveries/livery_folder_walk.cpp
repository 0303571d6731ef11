#include "liveries/livery_folder_walk.h"

#include "foundation/log.h"
#include "foundation/text_files.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/scan_problems.h"

#include <fmt/format.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace qtr {

namespace {

// Path words of folders that hold no AI liveries (airports, scenery and their makers).
constexpr std::string_view excludedWords[] = {"airport", "lvfr",      "mkstudios", "simwings", "fsdreamteam",
                                              "navigraph", "flytampa", "inibuilds", "_CVT_"};
constexpr std::size_t longestPath = 250;

// Gives the task's scan-worker slot back when the task ends, on every path.
struct SlotRelease {
    ~SlotRelease() { gf_releaseWorkerSlot(); }
};

// The threads that run the scan tasks of one walk: as many as there are scan-worker slots, so
// that a task starts as soon as its slot is free, without a thread of its own being made.
class ScanTaskPool {
public:
    explicit ScanTaskPool(std::size_t threads)
    {
        for (std::size_t k = 0; k < threads; ++k) threads_.emplace_back([this] { serve(); });
    }
    ~ScanTaskPool()
    {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_) t.join();
    }
    std::future<std::list<LiveryRecord>> start(std::function<std::list<LiveryRecord>()> body)
    {
        std::packaged_task<std::list<LiveryRecord>()> task(std::move(body));
        auto future = task.get_future();
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(task));
        }
        wake_.notify_one();
        return future;
    }

private:
    void serve()
    {
        while (true) {
            std::packaged_task<std::list<LiveryRecord>()> task;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return closing_ || !queue_.empty(); });
                if (queue_.empty()) return;
                task = std::move(queue_.front());
                queue_.pop_front();
            }
            task();
        }
    }

    std::mutex mutex_; // guards queue_ and closing_
    std::condition_variable wake_;
    std::deque<std::packaged_task<std::list<LiveryRecord>()>> queue_;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

struct PendingFile {
    std::string path;
    std::future<std::list<LiveryRecord>> records;
};

bool lf_isAircraftCfg(const std::filesystem::directory_entry& entry)
{
    if (!entry.is_regular_file()) return false;
    const auto upper = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text;
    };
    return upper(pathToUtf8(entry.path().extension())) == ".CFG" && upper(pathToUtf8(entry.path().stem())) == "AIRCRAFT";
}

// Below the scanned root only: the user's own install folder decides nothing.
bool lf_notDescended(std::string_view relative)
{
    if (relative.size() >= longestPath) return true;
    for (const std::string_view word : excludedWords)
        if (relative.find(word) != std::string_view::npos) return true;
    return false;
}

// Waits for a task and moves its records to the end of the result. A task that failed costs its
// file, which is reported, not the scan.
void lf_collect(PendingFile& pending, std::list<LiveryRecord>& result, bool duringWalk)
{
    if (!pending.records.valid()) {
        logLine(duringWalk ? "futs #1 not yet valid ? ..." : "futs #1 not yet valid ...");
        return;
    }
    try {
        result.splice(result.end(), pending.records.get());
    } catch (const std::exception& e) {
        logMarked(fmt::format("liveries search aborted, futs {}, {}", duringWalk ? "inner" : "outer", e.what()));
        invalidCfgFiles.add(fmt::format("{} could not be scanned: {}", pending.path, e.what()));
    }
}

// The lines of a file as UTF-8 without line ends, or nothing when it cannot be read; either
// failure is reported.
std::optional<std::vector<std::string>> lf_readCfgLines(const std::filesystem::path& file, const std::string& filePath)
{
    const TextEncoding encoding = gf_detectEncoding(file);
    if (encoding == cannotOpenFile) {
        invalidCfgFiles.add(filePath + " could not be read");
        return std::nullopt;
    }
    std::vector<std::string> lines;
    lines.reserve(4048);
    if (!gf_readTextFile(encoding, file, lines)) {
        invalidCfgFiles.add(filePath + " could not be read as text");
        return std::nullopt;
    }
    // UTF-16 lines keep the carriage return of their line end.
    for (std::string& line : lines)
        if (!line.empty() && line.back() == '\r') line.pop_back();
    return lines;
}

void lf_processCollected(SectionSplit& state)
{
    if (state.section.empty()) return;
    if (state.ivao) {
        LiveryRecord record = lf_parseFltsimSections(state.folderNumber, std::move(state.section), state.icaoType,
                                                     state.filePath, state.folderPath);
        if (!record.airline.empty()) state.out.push_back(std::move(record));
    } else {
        lf_procesFltSimSection(state.out, state.folderNumber, std::move(state.section), state.icaoType, state.filePath,
                               state.folderPath);
    }
    state.section.clear();
}

std::list<LiveryRecord> lf_splitSections(std::uint32_t folderNumber, const std::vector<std::string>& lines,
                                         const std::string& icaoType, const std::string& filePath, bool ivao)
{
    std::list<LiveryRecord> out;
    const std::string folderPath = lf_folderOfFile(filePath);
    SectionSplit state{out, folderNumber, icaoType, filePath, folderPath, {}, false, ivao};
    for (const std::string& line : lines) lf_sectionLineStep(state, line);
    lf_closeSection(state);
    return out;
}

} // namespace

void lf_sectionLineStep(SectionSplit& state, const std::string& line)
{
    if (!lf_parseFltsimHeader(line).empty()) {
        state.inSection = true;
        lf_processCollected(state);
        state.section.push_back(line);
        return;
    }
    const std::size_t bracket = line.find('[');
    const bool otherHeader = bracket != std::string::npos && (state.ivao || bracket < 6);
    if (otherHeader) {
        if (state.inSection) lf_processCollected(state);
        state.inSection = false;
        return;
    }
    if (state.inSection) state.section.push_back(line);
}

void lf_closeSection(SectionSplit& state)
{
    if (!state.inSection) return;
    state.inSection = false;
    lf_processCollected(state);
}

std::list<LiveryRecord> lf_searchLiveriesinFile(std::uint32_t folderNumber, const std::filesystem::path& file)
{
    SlotRelease release;
    const std::string filePath = pathToUtf8(file);
    try {
        if (!std::filesystem::exists(file)) return {};
        const auto lines = lf_readCfgLines(file, filePath);
        if (!lines || !lf_checkFltsimSections(*lines, filePath)) return {};
        const std::string icaoType = lf_modelOfAircraftCfg(filePath, *lines);
        if (icaoType.empty()) return {};
        return lf_splitSections(folderNumber, *lines, icaoType, filePath, false);
    } catch (const std::exception& e) {
        logLine(fmt::format("exception in lf_searchLiveriesinFile {}: {}", filePath, e.what()));
        throw;
    }
}

std::list<LiveryRecord> lf_searchLiveriesInIvaoFile(std::uint32_t folderNumber, const std::filesystem::path& file)
{
    SlotRelease release;
    const std::string filePath = pathToUtf8(file);
    const std::string icaoType = lf_modelOfIvaoPath(filePath);
    if (icaoType.empty()) return {};
    if (gf_detectEncoding(file) == cannotOpenFile) {
        logMarked(fmt::format("no character set found for {}", filePath));
        invalidCfgFiles.add(filePath + " could not be read");
        return {};
    }
    const auto lines = lf_readCfgLines(file, filePath);
    if (!lines || !lf_checkFltsimSections(*lines, filePath)) return {};
    return lf_splitSections(folderNumber, *lines, icaoType, filePath, true);
}

void lf_searchLiveriesInFolder(std::uint32_t folderNumber, const std::filesystem::path& folder,
                               std::list<LiveryRecord>& result)
{
    const std::filesystem::path root = std::filesystem::path(folder).make_preferred();
    const std::string rootText = pathToUtf8(root);
    const std::size_t limit = static_cast<std::size_t>(std::max(1, scanTasksMaximum.load()));
    ScanTaskPool pool(limit);
    std::deque<PendingFile> pending;
    try {
        for (auto it = std::filesystem::recursive_directory_iterator(root); it != std::filesystem::recursive_directory_iterator();
             ++it) {
            const std::filesystem::directory_entry& entry = *it;
            const std::string path = pathToUtf8(entry.path());
            try {
                const std::string_view relative = std::string_view(path).substr(std::min(path.size(), rootText.size()));
                if (lf_notDescended(relative)) it.disable_recursion_pending();
                if (!lf_isAircraftCfg(entry)) continue;
                gf_waitForWorkerSlot();
                const bool ivao = path.find("ivao_x-csl") != std::string::npos || path.find("IVAO_MTL") != std::string::npos;
                auto body = ivao ? lf_searchLiveriesInIvaoFile : lf_searchLiveriesinFile;
                ++scanTasksRunning;
                pending.push_back(PendingFile{path, pool.start([=, file = entry.path()] { return body(folderNumber, file); })});
            } catch (const std::exception& e) {
                logMarked(fmt::format("liveries search in {} aborted, cause: {}", path, e.what()));
            }
            if (pending.size() > limit) {
                lf_collect(pending.front(), result, true);
                pending.pop_front();
            }
        }
    } catch (const std::exception& e) {
        logMarked(fmt::format("liveries search in folder {} aborted because of iterator problem: {}", rootText, e.what()));
    }
    // Every started task is waited for, also after an error of the walk: none may still run when
    // the scan's lists are emptied.
    for (PendingFile& p : pending) lf_collect(p, result, false);
}

} // namespace qtr
