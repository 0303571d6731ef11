#include "liveries/livery_folder_walk.h"

#include "foundation/entered_folders.h"
#include "foundation/log.h"
#include "foundation/os_files.h"
#include "foundation/run_control.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/scan_problems.h"

#include <fmt/format.h>

#include <condition_variable>
#include <deque>
#include <fstream>
#include <iterator>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace qtr {

std::atomic<std::uint64_t> largestAircraftCfgBytes{64ull << 20};

namespace {

// Path words of folders that hold no AI liveries (airports, scenery and their makers).
constexpr std::string_view excludedWords[] = {"airport",   "lvfr",     "mkstudios", "simwings", "fsdreamteam",
                                              "navigraph", "flytampa", "inibuilds", "_CVT_"};
constexpr std::size_t longestPath = 250;

// The limit counts what the system counts: UTF-16 units, where the UTF-8 text of an accented
// letter takes two bytes.
bool pathTooLong(const std::filesystem::path& folder) { return folder.native().size() >= longestPath; }

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

bool lf_isAircraftCfg(const std::filesystem::path& name)
{
    const auto upper = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text;
    };
    return upper(pathToUtf8(name.extension())) == ".CFG" && upper(pathToUtf8(name.stem())) == "AIRCRAFT";
}

// Below the scanned root only: the user's own install folder decides nothing.
bool lf_notDescended(std::string_view relative)
{
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

// The file's lines, or nothing when it cannot be read, which is reported unless the file is gone.
std::optional<CfgText> lf_readReported(const std::filesystem::path& file, const std::string& filePath)
{
    try {
        if (auto text = lf_readCfgText(file)) return text;
        std::error_code ec;
        if (std::filesystem::exists(file, ec) || ec) invalidCfgFiles.add(filePath + " could not be read");
    } catch (const CfgFileTooLarge& e) {
        invalidCfgFiles.add(filePath + " skipped: " + e.what());
    } catch (const std::exception& e) {
        invalidCfgFiles.add(filePath + " could not be read as text: " + e.what());
    }
    return std::nullopt;
}

// Lines split at line feeds, a carriage return before one dropped; no empty last line.
CfgLines lf_splitLines(std::string_view text)
{
    CfgLines lines;
    lines.reserve(text.size() / 24 + 1);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos) end = text.size();
        if (end > start && text[end - 1] == '\r') --end;
        lines.push_back(text.substr(start, end - start));
        start = next;
    }
    return lines;
}

std::string lf_utf16ToUtf8(std::string_view bytes, bool bigEndian)
{
    if (bytes.size() % 2 != 0) throw std::runtime_error("odd number of bytes in UTF-16 text");
    std::wstring wide(bytes.size() / 2, L'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const auto lo = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 1 : 0)]);
        const auto hi = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 0 : 1)]);
        wide[i] = static_cast<wchar_t>(lo | (hi << 8));
    }
    return utf16ToUtf8(wide);
}

void lf_processCollected(SectionSplit& state)
{
    if (state.end <= state.first) return;
    const CfgSection section(state.lines.data() + state.first, state.end - state.first);
    if (state.ivao) {
        LiveryRecord record =
            lf_parseFltsimSections(state.folderNumber, section, state.icaoType, state.filePath, state.folderPath);
        if (!record.airline.empty()) state.out.push_back(std::move(record));
    } else {
        lf_procesFltSimSection(state.out, state.folderNumber, section, state.icaoType, state.filePath,
                               state.folderPath);
    }
    state.first = state.end;
}

std::list<LiveryRecord> lf_splitSections(std::uint32_t folderNumber, const CfgLines& lines, const std::string& icaoType,
                                         const std::string& filePath, bool ivao)
{
    std::list<LiveryRecord> out;
    const std::string folderPath = lf_folderOfFile(filePath);
    SectionSplit state{out, folderNumber, icaoType, filePath, folderPath, lines};
    state.ivao = ivao;
    for (std::size_t k = 0; k < lines.size(); ++k) lf_sectionLineStep(state, k);
    lf_closeSection(state);
    return out;
}

} // namespace

void lf_sectionLineStep(SectionSplit& state, std::size_t k)
{
    const std::string_view line = state.lines[k];
    if (!lf_parseFltsimHeader(line).empty()) {
        state.inSection = true;
        lf_processCollected(state);
        state.first = k;
        state.end = k + 1;
        return;
    }
    const std::size_t bracket = line.find('[');
    const bool otherHeader = bracket != std::string_view::npos && (state.ivao || bracket < 6);
    if (otherHeader) {
        if (state.inSection) lf_processCollected(state);
        state.inSection = false;
        return;
    }
    if (state.inSection) state.end = k + 1;
}

std::optional<CfgText> lf_readCfgText(const std::filesystem::path& file)
{
    // Opened once: under Wine an open costs as much as reading the whole file.
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in.is_open()) return std::nullopt;
    const std::streamoff size = in.tellg();
    if (size < 0) throw std::runtime_error("its size cannot be told");
    if (static_cast<std::uint64_t>(size) > largestAircraftCfgBytes.load())
        throw CfgFileTooLarge(fmt::format("{} bytes, far more than an aircraft.cfg holds (at most {} bytes are read)",
                                          size, largestAircraftCfgBytes.load()));
    // One allocation of the file's size: under Wine the heap is shared by all tasks behind a lock.
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    // A read that stops short (a drive gone, a file being replaced) would pass for a file
    // without keys.
    if (in.gcount() != size)
        throw std::runtime_error(fmt::format("only {} of its {} bytes could be read", in.gcount(), size));
    const std::string_view head(bytes.data(), std::min<std::size_t>(bytes.size(), 2));
    if (head == "\xFF\xFE" || head == "\xFE\xFF")
        bytes = lf_utf16ToUtf8(std::string_view(bytes).substr(2), head == "\xFE\xFF");
    else if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.erase(0, 3);
    CfgText result{std::make_unique<std::string>(std::move(bytes)), {}};
    result.lines = lf_splitLines(*result.text);
    return result;
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
        const auto text = lf_readReported(file, filePath);
        if (!text || !lf_checkFltsimSections(text->lines, filePath)) return {};
        const std::string icaoType = lf_modelOfAircraftCfg(filePath, text->lines);
        if (icaoType.empty()) return {};
        return lf_splitSections(folderNumber, text->lines, icaoType, filePath, false);
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
    const auto text = lf_readReported(file, filePath);
    if (!text) logMarked(fmt::format("no character set found for {}", filePath));
    if (!text || !lf_checkFltsimSections(text->lines, filePath)) return {};
    return lf_splitSections(folderNumber, text->lines, icaoType, filePath, true);
}

namespace {

// One walk of a liveries folder: its root, the folders already entered (links back into the tree
// are not walked again), and the tasks started for its files, oldest first.
struct LiveryWalk {
    std::uint32_t folderNumber;
    std::string rootText;
    std::size_t limit;
    ScanTaskPool& pool;
    std::list<LiveryRecord>& result;
    EnteredFolders entered;
    std::deque<PendingFile> pending;
};

void lf_startFileTask(LiveryWalk& walk, const FolderEntry& entry, const std::string& path)
{
    // While every slot is taken, wait for the oldest task: that wait ends when a task ends, where
    // polling for a slot would sleep whole milliseconds at a time.
    while (scanTasksRunning.load() >= scanTasksMaximum.load() && !walk.pending.empty()) {
        lf_collect(walk.pending.front(), walk.result, true);
        walk.pending.pop_front();
    }
    gf_waitForWorkerSlot();
    const bool ivao = path.find("ivao_x-csl") != std::string::npos || path.find("IVAO_MTL") != std::string::npos;
    auto body = ivao ? lf_searchLiveriesInIvaoFile : lf_searchLiveriesinFile;
    ++scanTasksRunning;
    const std::uint32_t folderNumber = walk.folderNumber;
    walk.pending.push_back(
        PendingFile{path, walk.pool.start([=, file = entry.path] { return body(folderNumber, file); })});
}

// Where the folder is when the walk enters it: not when its path is too long for the system or
// names a package of no liveries, nor when a link leads back to a folder already entered (reported).
std::optional<std::filesystem::path> lf_enters(LiveryWalk& walk, const std::filesystem::path& location,
                                               const FolderEntry& entry, const std::string& path)
{
    if (pathTooLong(entry.path)) {
        invalidCfgFiles.add(path + " skipped: path too long");
        return std::nullopt;
    }
    if (lf_notDescended(std::string_view(path).substr(std::min(path.size(), walk.rootText.size()))))
        return std::nullopt;
    auto inside = walk.entered.enter(location, entry);
    if (!inside) invalidCfgFiles.add(path + " skipped: it leads to a folder already scanned");
    return inside;
}

// The folder's entries; none, reported, when it cannot be listed.
std::vector<FolderEntry> lf_listReported(const std::filesystem::path& folder, const std::string& path)
{
    try {
        return gf_listFolder(folder);
    } catch (const std::exception& e) {
        invalidCfgFiles.add(fmt::format("{} could not be scanned: {}", path, e.what()));
        return {};
    }
}

// One folder, entries in the order the file system gives them, each subfolder walked where it
// stands. A folder that cannot be listed and an entry that fails are reported and passed over.
void lf_walkLiveryFolder(LiveryWalk& walk, const std::vector<FolderEntry>& entries,
                         const std::filesystem::path& location)
{
    for (const FolderEntry& entry : entries) {
        // A stop ends the walk here; the tasks already started are still waited for.
        if (stopRequested.load() || windowClosed.load()) return;
        std::string path;
        try {
            path = pathToUtf8(entry.path);
            if (entry.isFolder) {
                if (const auto inside = lf_enters(walk, location, entry, path))
                    lf_walkLiveryFolder(walk, lf_listReported(entry.path, path), *inside);
            } else if (lf_isAircraftCfg(entry.name)) {
                lf_startFileTask(walk, entry, path);
            }
        } catch (const std::exception& e) {
            logMarked(fmt::format("liveries search in {} aborted, cause: {}", path, e.what()));
            invalidCfgFiles.add(fmt::format("{} could not be scanned: {}", path, e.what()));
        }
        if (walk.pending.size() > walk.limit) {
            lf_collect(walk.pending.front(), walk.result, true);
            walk.pending.pop_front();
        }
    }
}

} // namespace

void lf_searchLiveriesInFolder(std::uint32_t folderNumber, const std::filesystem::path& folder,
                               std::list<LiveryRecord>& result)
{
    const std::filesystem::path root = std::filesystem::path(folder).make_preferred();
    const std::size_t limit = static_cast<std::size_t>(std::max(1, scanTasksMaximum.load()));
    ScanTaskPool pool(limit);
    LiveryWalk walk{folderNumber, pathToUtf8(root), limit, pool, result, EnteredFolders(root), {}};
    try {
        lf_walkLiveryFolder(walk, gf_listFolder(root), walk.entered.rootLocation());
    } catch (const std::exception& e) {
        logMarked(fmt::format("liveries search in folder {} aborted because of iterator problem: {}", walk.rootText,
                              e.what()));
    }
    // Every started task is waited for, also after an error of the walk: none may still run when
    // the scan's lists are emptied.
    for (PendingFile& p : walk.pending) lf_collect(p, result, false);
}

} // namespace qtr
