#include "liveries/regcodes.h"

#include "foundation/indicators.h"
#include "foundation/download.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/text_files.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"
#include "liveries/code_unscrambler.h"
#include "liveries/data_text.h"
#include "liveries/type_queries.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <unordered_set>

namespace qtr {

FnvMap<TitleView> regcodeTitles;
std::vector<std::string> dontUseTitles;
std::vector<std::string> regcodeReportLines;

namespace {

// Views of dontUseTitles; rebuilt whenever the list changes (worker thread, before the scan).
std::unordered_set<std::string_view, Fnv1aHash> dontUseIndex;

struct MergeCounters {
    std::uint32_t added = 0;
    std::uint32_t replaced = 0;
    std::uint32_t special = 0;
};

bool lf_isTxtFile(const std::filesystem::directory_entry& entry)
{
    if (!entry.is_regular_file()) return false;
    std::string extension = pathToUtf8(entry.path().extension());
    for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return extension == ".TXT";
}

bool lf_validCodeLength(const std::string& code) { return code.size() >= 3 && code.size() <= 12; }

void lf_mergeRegcode(MergeCounters& counters, TitleView title, const std::string& code)
{
    const auto [it, inserted] = regcodeTitles.emplace(code, title);
    if (inserted) {
        ++counters.added;
        return;
    }
    if (it->second == title) return;
    regcodeReportLines.push_back(
        fmt::format("   regcode {} for \"{}\", instead of the same for \"{}\"", code, title, it->second));
    it->second = title;
    ++counters.replaced;
}

void lf_processRegcodeFile(const std::filesystem::path& path)
{
    regcodeReportLines.push_back("Processing file " + pathToUtf8(path));
    std::vector<RegcodeEntry> entries;
    if (!readAigRegcodes(path, entries))
        regcodeReportLines.push_back(fmt::format(
            "There were errors in processing the AIG-regcode file \"{}\", see the Log.txt", pathToUtf8(path)));
    lf_mergeRegcodes(std::move(entries));
}

void lf_processRegcodeFolder()
{
    if (gf_countFiles(myRegcodesFolder) < 1) return;
    const std::string folder = pathToUtf8(myRegcodesFolder);
    regcodeReportLines.push_back("Processing files in " + folder);
    std::vector<RegcodeEntry> entries;
    if (!readRegcodeFiles(myRegcodesFolder, entries))
        setStatus(
            fmt::format("There were errors in processing the regcode files in folder \"{}\", see the Log.txt", folder),
            true);
    lf_mergeRegcodes(std::move(entries));
}

void lf_checkInlineRegcode(std::vector<std::string>& clashes, const LiveryRecord& livery)
{
    const TitleView title = gf_findTitleOwner(livery.title);
    if (title.empty()) {
        clashes.push_back(fmt::format("==> [{:3} {:4}] {} \"{}\" not available, system error, should not happen?",
                                      livery.airline, livery.icaoType, livery.regcode, livery.title));
        return;
    }
    const auto [it, inserted] = regcodeTitles.emplace(livery.regcode, title);
    if (!inserted && it->second != title)
        clashes.push_back(
            fmt::format("{} \"{}\" => already in use by \"{}\"", livery.regcode, livery.title, it->second));
}

// The titles of the entries without any code.
std::size_t lf_appendDontUseTitles(const std::vector<RegcodeEntry>& entries)
{
    std::size_t n = 0;
    for (const RegcodeEntry& e : entries) {
        if (!e.regs.empty()) continue;
        dontUseTitles.push_back(e.title);
        ++n;
    }
    gf_indexDontUseTitles();
    return n;
}

} // namespace

void parseRegcodeLine(RegcodeLineContext& context, const std::string& line)
{
    if (line.empty()) return;
    const std::vector<std::string> fields = gf_splitUntrimmed(line, ';');
    const std::string file = pathToUtf8(context.file);
    if (fields.size() >= 4) {
        context.ok = false;
        logMarked(fmt::format("{}: wrong format \"{}\"", file, line));
        return;
    }
    if (fields.size() == 1) {
        if (!fields[0].empty()) context.entries.push_back(RegcodeEntry{fields[0], {}, false});
        return;
    }
    const std::set<std::string> codes = gf_splitCommaToSortedSet(fields[1]);
    if (codes.empty()) return;
    std::vector<std::string> kept;
    for (const std::string& code : codes) {
        if (lf_validCodeLength(code)) {
            kept.push_back(code);
            continue;
        }
        logMarked(fmt::format("wrong regcode length \"{}\" in {}", code, file));
        context.ok = false;
    }
    // One code makes the entry special whatever the third field says.
    if (codes.size() == 1) {
        if (!kept.empty()) context.entries.push_back(RegcodeEntry{fields[0], kept, true});
        return;
    }
    if (kept.empty()) {
        logMarked(fmt::format("{} ; regs empty? ", file));
        return;
    }
    const bool special = fields.size() == 3 && fields[2] == "#";
    context.entries.push_back(RegcodeEntry{fields[0], std::move(kept), special});
}

bool readRegcodeFiles(const std::filesystem::path& folder, std::vector<RegcodeEntry>& entries)
{
    bool ok = true;
    try {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (!lf_isTxtFile(entry)) continue;
            logLine(fmt::format("Processing regcodes file \"{}\"", pathToUtf8(entry.path())));
            RegcodeLineContext context{entry.path(), entries, ok};
            if (const auto lines = gf_readLines(entry.path()))
                for (const std::string& line : *lines) parseRegcodeLine(context, line);
        }
    } catch (const std::exception& e) {
        logMarked(fmt::format("Error in reading regcode file {}, what: {}", pathToUtf8(folder), e.what()));
        return false;
    }
    logLine(fmt::format("{} liverie{} read", entries.size(), pluralS(entries.size())));
    return ok;
}

bool readAigRegcodes(const std::filesystem::path& path, std::vector<RegcodeEntry>& entries)
{
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) {
        logMarked(fmt::format("Failed to load {}", pathToUtf8(path)));
        return false;
    }
    for (const pugi::xml_node livery : doc.child("AIG-regcodes").children("livery")) {
        RegcodeEntry entry;
        entry.title = livery.attribute("title").value();
        if (entry.title.empty()) continue;
        for (const std::string& code : gf_splitCommaToSortedSet(livery.attribute("reg").value())) {
            if (code.empty()) continue; // "a,,b": no code between the commas
            // One code that does not unscramble costs that code, not the file.
            try {
                entry.regs.push_back(decryptText(code));
            } catch (const std::exception& e) {
                logMarked(fmt::format("regcode \"{}\" of \"{}\" skipped: {}", code, entry.title, e.what()));
            }
        }
        entry.special = gf_textIsTrue(livery.attribute("special").value());
        entries.push_back(std::move(entry));
    }
    gf_backupFile(path);
    logLine(fmt::format("{} liverie{} read from {}", entries.size(), pluralS(entries.size()), pathToUtf8(path)));
    return true;
}

void lf_mergeRegcodes(std::vector<RegcodeEntry> entries)
{
    MergeCounters counters;
    for (const RegcodeEntry& entry : entries) {
        const TitleView title = gf_findTitleOwner(entry.title);
        if (title.empty()) continue;
        for (const std::string& code : entry.regs) lf_mergeRegcode(counters, title, code);
        if (entry.special) {
            specialTitles.push_back(title);
            ++counters.special;
        }
    }
    std::string line =
        fmt::format("{} new regcode{} added", counters.added, gf_plural(static_cast<std::int64_t>(counters.added)));
    if (counters.replaced >= 1)
        line += fmt::format(", {} regcode{} replaced", counters.replaced,
                            gf_plural(static_cast<std::int64_t>(counters.replaced)));
    if (counters.special >= 1)
        line += fmt::format(", {} regcode{} defined as special", counters.special,
                            gf_plural(static_cast<std::int64_t>(counters.special)));
    regcodeReportLines.push_back(line);
}

void lf_processRegcodes()
{
    regcodeReportLines.clear();
    if (downloadAndUnzip(aigRegcodesZipName, aigRegcodesPath)) {
        lf_processRegcodeFile(aigRegcodesPath);
        gf_removeIfExists(aigRegcodesPath);
    } else {
        logMarked("reading AIG-regcodes failed?");
    }
    lf_processRegcodeFolder();
    gf_removeIfExists(offlineRegcodesPath);
    if (regcodeReportLines.empty()) return;
    gf_writeLines(regcodeReportLines, offlineRegcodesPath);
    logLine(fmt::format("Offline regcode files processed, results can be found in \"{}\"",
                        pathToUtf8(offlineRegcodesPath)));
    if (!specialTitles.empty()) logLine(fmt::format("{} special liveries", specialTitles.size()));
}

void lf_reportRegcodeClashes()
{
    std::vector<std::string> clashes;
    for (const LiveryRecord& livery : scannedLiveries)
        if (!livery.regcode.empty()) lf_checkInlineRegcode(clashes, livery);
    if (clashes.empty()) return;
    std::filesystem::create_directories(errorsFolder);
    gf_writeLines(clashes, inlineRegcodesPath);
    logLine(fmt::format("{} in-line regcode clashes, see \"{}\"", clashes.size(), pathToUtf8(inlineRegcodesPath)));
}

void lf_readDontUseTitles(const std::filesystem::path& path)
{
    std::vector<RegcodeEntry> entries;
    if (!readAigRegcodes(path, entries))
        regcodeReportLines.push_back(
            fmt::format("There were errors in processing the file \"{}\", see the Log.txt", pathToUtf8(path)));
    const std::size_t n = lf_appendDontUseTitles(entries);
    logLine(fmt::format("{} don't use title{} read", n, pluralS(n)));
}

void lf_readDontUseTitlesFromFolder()
{
    std::vector<RegcodeEntry> entries;
    const std::string folder = pathToUtf8(myRegcodesFolder);
    if (!readRegcodeFiles(myRegcodesFolder, entries))
        regcodeReportLines.push_back(
            fmt::format("There were errors in processing the regcode files in folder \"{}\", see the Log.txt", folder));
    const std::size_t n = lf_appendDontUseTitles(entries);
    logLine(fmt::format("{} don't use title{} read from files in {}", n, pluralS(n), folder));
}

bool isDontUseTitle(std::string_view title) { return dontUseIndex.count(title) != 0; }

void gf_indexDontUseTitles()
{
    dontUseIndex.clear();
    for (const std::string& title : dontUseTitles) dontUseIndex.insert(title);
}

TitleView gf_regcodeTitle(const std::string& registration)
{
    if (registration.empty()) return {};
    for (const std::string& form : registrationVariants(registration))
        if (const auto it = regcodeTitles.find(form); it != regcodeTitles.end()) return it->second;
    return {};
}

} // namespace qtr
