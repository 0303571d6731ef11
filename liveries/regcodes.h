#pragma once
// Registration codes: which installed livery carries which real registration, from the liveries'
// own atc_id (in-line), the published "AIG-regcodes.xml" and the user's text files in
// "input/my_regcodes" (later sources win). Also the liveries declared special and the titles
// that the scan must skip (entries without any code).
//
// Ownership: all of it is written and read on the worker thread. regcodeTitles holds views into
// the livery data base and is emptied with it; dontUseTitles is complete before the scan tasks
// start and only read by them.
#include "liveries/fnv_hash.h"
#include "liveries/livery_data_base.h"

#include <filesystem>
#include <string>
#include <vector>

namespace qtr {

struct RegcodeEntry {
    std::string title;
    std::vector<std::string> regs; // sorted, no repeats; may be empty
    bool special = false;
};

extern FnvMap<TitleView> regcodeTitles;
extern std::vector<std::string> dontUseTitles;
extern std::vector<std::string> regcodeReportLines;

inline const std::filesystem::path aigRegcodesZipName{"AIG-regcodes.zip"};
inline const std::filesystem::path aigRegcodesPath = std::filesystem::path("input") / "AIG-regcodes.xml";
inline const std::filesystem::path offlineRegcodesPath =
    std::filesystem::path("output") / "info" / "OfflineRegcodes.txt";

// One line of a regcode text file: the file it came from, where entries go, and whether every
// line so far was sound.
struct RegcodeLineContext {
    std::filesystem::path file;
    std::vector<RegcodeEntry>& entries;
    bool& ok;
};

bool readRegcodeFiles(const std::filesystem::path& folder, std::vector<RegcodeEntry>& entries);
void parseRegcodeLine(RegcodeLineContext& context, const std::string& line);
bool readAigRegcodes(const std::filesystem::path& path, std::vector<RegcodeEntry>& entries);
void lf_mergeRegcodes(std::vector<RegcodeEntry> entries);
void lf_processRegcodes();
void lf_reportRegcodeClashes();
void lf_readDontUseTitles(const std::filesystem::path& path);
void lf_readDontUseTitlesFromFolder();

// The scan's test of a section's title against dontUseTitles, by a hash index of the list; the
// readers of the titles rebuild it, code that fills the list itself calls gf_indexDontUseTitles.
bool isDontUseTitle(std::string_view title);
void gf_indexDontUseTitles();

// The title of the livery painted with the registration, in any of its lookup forms; empty
// when none.
TitleView gf_regcodeTitle(const std::string& registration);

} // namespace qtr
