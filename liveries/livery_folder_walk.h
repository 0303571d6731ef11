#pragma once
// The walk of one liveries folder: every aircraft.cfg below it is scanned by a task of its own
// (at most as many at once as the machine has hardware threads), and the records come back in
// the order the walk met the files. Files of the IVAO model packages have a task of their own.
#include "liveries/aircraft_cfg.h"
#include "liveries/livery_data_base.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qtr {

// Appends the liveries of every aircraft.cfg below the folder to result, in walk order.
void lf_searchLiveriesInFolder(std::uint32_t folderNumber, const std::filesystem::path& folder,
                               std::list<LiveryRecord>& result);

// The task bodies (they take a scan-worker slot's release on every path).
std::list<LiveryRecord> lf_searchLiveriesinFile(std::uint32_t folderNumber, const std::filesystem::path& file);
std::list<LiveryRecord> lf_searchLiveriesInIvaoFile(std::uint32_t folderNumber, const std::filesystem::path& file);

// The text of an aircraft.cfg as UTF-8 and its lines (without line ends) as views into it. The
// text is held on the heap, so that the views stay valid when the record moves.
struct CfgText {
    std::unique_ptr<std::string> text;
    CfgLines lines;
};
// The largest aircraft.cfg the scan reads. The largest real ones (masters of some hundred
// liveries) hold a few MB; a file far beyond that is no aircraft.cfg, and reading it whole would
// take its size in memory. Tests lower it.
extern std::atomic<std::uint64_t> largestAircraftCfgBytes;
// Thrown for a file beyond largestAircraftCfgBytes, which is not read.
struct CfgFileTooLarge : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// The file read once, its encoding told by its first two bytes (UTF-16 either way, UTF-8 with or
// without byte-order mark, else 8-bit text as it stands). Throws CfgFileTooLarge for a file too
// large, std::runtime_error for UTF-16 that does not convert and for a file that opens but cannot
// be read to its end; nothing when the file does not open.
std::optional<CfgText> lf_readCfgText(const std::filesystem::path& file);

// The section splitter's state and one step of it (line = index into the file's lines).
struct SectionSplit {
    std::list<LiveryRecord>& out;
    std::uint32_t folderNumber;
    const std::string& icaoType;
    const std::string& filePath;
    const std::string& folderPath;
    const CfgLines& lines;
    std::size_t first = 0; // the collected section: lines [first, end)
    std::size_t end = 0;
    bool inSection = false;
    bool ivao = false; // any '[' ends an IVAO section, not only one in the first six characters
};
void lf_sectionLineStep(SectionSplit& state, std::size_t line);
// After the last line: the open section.
void lf_closeSection(SectionSplit& state);

// The IVAO parts (their own rules for the type and the airline).
std::string lf_modelOfIvaoPath(const std::string& filePath);
LiveryRecord lf_parseFltsimSections(std::uint32_t folderNumber, CfgSection section, const std::string& icaoType,
                                    const std::string& filePath, const std::string& folderPath);
LiveryRecord lf_addLivery(std::uint32_t folderNumber, const std::string& airline, const std::string& icaoType,
                          bool passenger, const std::string& title, const std::string& regcode);

} // namespace qtr
