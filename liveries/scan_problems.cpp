#include "liveries/scan_problems.h"

#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/text_files.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"
#include "liveries/regcodes.h"
#include "liveries/type_queries.h"

#include <fmt/format.h>

#include <array>
#include <unordered_set>

namespace qtr {

ProblemList<std::list<std::string>> emptyCfgFiles;
ProblemList<std::list<std::string>> invalidCfgFiles;
ProblemList<std::list<std::string>> incompleteSections;
ProblemList<std::list<std::string>> invalidAirlineCodes;
ProblemList<std::list<std::string>> invalidModelCodes;
ProblemList<std::vector<std::string>> codeFixes;
std::vector<std::string> dbaseConversions;

namespace {

// The titles taken in this scan, in shards by hash, each under its own mutex: every section of
// every task claims its title here, and one lock for all of them made the tasks wait in turn.
struct TitleShard {
    std::mutex mutex;
    std::unordered_set<std::string, Fnv1aHash, std::equal_to<>> titles; // guarded by mutex
};
std::array<TitleShard, 64> seenTitles;

const char* lf_boolText(bool b) { return b ? "true" : "false"; }

template <class Container>
std::vector<std::string> lf_vectorOf(const Container& lines)
{
    return std::vector<std::string>(lines.begin(), lines.end());
}

// Writes a non-empty list to its report file in the errors folder (sorted when asked) and logs
// the count line that countLine makes of the number of lines and the path.
template <class Container, class CountLine>
void lf_reportErrors(Container& lines, bool sort, const std::filesystem::path& path, CountLine countLine)
{
    if (lines.empty()) return;
    if constexpr (requires { lines.sort(); }) {
        if (sort) lines.sort();
    }
    if (!std::filesystem::exists(errorsFolder)) std::filesystem::create_directory(errorsFolder);
    gf_writeLines(lf_vectorOf(lines), path);
    logLine(countLine(lines.size(), pathToUtf8(path)));
}

} // namespace

bool lf_takeTitle(const std::string& title)
{
    TitleShard& shard = seenTitles[Fnv1aHash()(title) % seenTitles.size()];
    std::lock_guard lock(shard.mutex);
    return shard.titles.insert(title).second;
}

void clearSeenTitles()
{
    for (TitleShard& shard : seenTitles) {
        std::lock_guard lock(shard.mutex);
        shard.titles.clear();
    }
}

void lf_addProblemLine(const std::string& code, const std::string& filePath, const std::string& header)
{
    invalidAirlineCodes.add(fmt::format("{:12} in {} ", code, filePath) + header);
}

void lf_addInvalidModel(const std::string& code, const std::string& filePath)
{
    invalidModelCodes.add(fmt::format("{:16} in {}", code, filePath));
}

void lf_removeOldReports()
{
    try {
        for (const auto* path : {&aircraftCfgWithNoFltsimSectionPath, &liveriesSkippedOnPriorityPath,
                                 &inlineRegcodesPath, &invalidAirlineCodesPath, &invalidAircraftCodesPath, &fixesPath,
                                 &invalidAircraftCfgFilesPath, &incompleteFltsimSectionsPath})
            gf_removeIfExists(*path);
        if (std::filesystem::exists(errorsFolder)) std::filesystem::remove(errorsFolder);
    } catch (const std::exception& e) {
        logLine(fmt::format("problems with removing previous files: {}", e.what()));
    }
}

void lf_applyDbaseData(LiveryRecord& livery)
{
    if (livery.regcode.empty()) return;
    const auto info = registrationInfo(livery.regcode);
    if (!info) return;
    if (info->cargo != livery.cargo) {
        dbaseConversions.push_back(fmt::format("{:80} {} cargo {} => {}", livery.title, livery.regcode,
                                               lf_boolText(livery.cargo), lf_boolText(info->cargo)));
        livery.cargo = info->cargo;
    }
    // An empty field of the record is an unknown: the livery keeps its own airline and type.
    const std::string airline = flyingAirline(*info);
    if (!airline.empty() && airline != livery.airline) {
        dbaseConversions.push_back(
            fmt::format("{:80} {} airl {} => {}", livery.title, livery.regcode, livery.airline, airline));
        livery.airline = airline;
    }
    if (!info->type.empty() && info->type != livery.icaoType) {
        dbaseConversions.push_back(
            fmt::format("{:80} {} model {} => {}", livery.title, livery.regcode, livery.icaoType, info->type));
        livery.icaoType = info->type;
    }
}

void lf_writeScanSummary()
{
    try {
        const bool none = invalidAirlineCodes.lines().empty() && invalidModelCodes.lines().empty() &&
                          codeFixes.lines().empty() && invalidCfgFiles.lines().empty() &&
                          incompleteSections.lines().empty();
        logLine(none ? "\nNo errors" : "\nErrors:");
        lf_reportErrors(invalidAirlineCodes.lines(), true, invalidAirlineCodesPath,
                        [](std::size_t n, const std::string& p) {
                            return fmt::format("{} invalid airline code{}, see {}", n, pluralS(n), p);
                        });
        lf_reportErrors(invalidModelCodes.lines(), true, invalidAircraftCodesPath,
                        [](std::size_t n, const std::string& p) {
                            return fmt::format("{} invalid model code{}, see {}", n, pluralS(n), p);
                        });
        lf_reportErrors(codeFixes.lines(), false, fixesPath,
                        [](std::size_t n, const std::string& p) { return fmt::format("{} code fixes, see {}", n, p); });
        lf_reportErrors(invalidCfgFiles.lines(), true, invalidAircraftCfgFilesPath,
                        [](std::size_t n, const std::string& p) {
                            return fmt::format("{} invalid aircraft.cfg files, see {}", n, p);
                        });
        lf_reportErrors(incompleteSections.lines(), true, incompleteFltsimSectionsPath,
                        [](std::size_t n, const std::string& p) {
                            return fmt::format("{} incomplete [fltsim.x] sections, see {}", n, p);
                        });
        logLine("\nInformation:");
        auto& empty = emptyCfgFiles.lines();
        if (!empty.empty()) {
            empty.sort();
            gf_writeLines(lf_vectorOf(empty), aircraftCfgWithNoFltsimSectionPath);
            logLine(fmt::format("{} empty aircraft.cfg files, see {}", empty.size(),
                                pathToUtf8(aircraftCfgWithNoFltsimSectionPath)));
        }
        if (!dbaseConversions.empty()) {
            gf_writeLines(dbaseConversions, airlineModelConversionsPath);
            logLine(fmt::format("{} liveries updated with real live data from dbase, see {}", dbaseConversions.size(),
                                pathToUtf8(airlineModelConversionsPath)));
        }
    } catch (const std::exception&) {
        // A report folder that cannot be made ends the reports, not the scan.
    }
}

void lf_clearScannedLiveries()
{
    dbaseConversions.clear();
    emptyCfgFiles.clear();
    invalidCfgFiles.clear();
    incompleteSections.clear();
    invalidAirlineCodes.clear();
    invalidModelCodes.clear();
    codeFixes.clear();
    clearSeenTitles();
    dontUseTitles.clear();
    gf_indexDontUseTitles();
}

} // namespace qtr
