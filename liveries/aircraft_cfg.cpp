#include "liveries/aircraft_cfg.h"

#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "liveries/regcodes.h"
#include "liveries/scan_problems.h"
#include "liveries/stock_models.h"
#include "liveries/type_queries.h"
#include "foundation/flight_record.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <stdexcept>

namespace qtr {

namespace {

// The \s of the patterns.
bool lf_isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

char lf_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::size_t lf_skipBlanks(std::string_view line, std::size_t i)
{
    while (i < line.size() && lf_isBlank(line[i])) ++i;
    return i;
}

// The text at i begins with the word, letters in any case.
bool lf_wordAt(std::string_view line, std::size_t i, std::string_view word)
{
    if (line.size() - i < word.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k)
        if (lf_lower(line[i + k]) != lf_lower(word[k])) return false;
    return true;
}

std::string lf_upper(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool lf_contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// The working values of one section and the record it may yield.
struct Section {
    std::string title, airline, parkingTypes, regcode;
    const std::string& folderPath;
    const std::string& filePath;
    const std::string header;
    bool dropped = false;

    void incomplete(const std::string& what)
    {
        incompleteSections.add(fmt::format("{} {} ", folderPath, header) + what);
        dropped = true;
    }
};

// The atc_id value: one registration of at most 12 bytes without wild cards, else none.
void lf_readAtcId(Section& s, const std::string& value)
{
    const std::string cut = value.substr(0, value.find(';'));
    const std::vector<std::string> items = gf_splitUntrimmed(cut, ',');
    if (items.empty()) {
        logLine(fmt::format("invalid atc_id={} ==> in: {}", cut, s.title));
        return;
    }
    for (const std::string& item : items) {
        std::string failure;
        if (item.empty())
            logLine(fmt::format("empty regcode in {} {}", s.title, value));
        else if (item == " ")
            logLine(fmt::format("regcode is a space char? {} {}", s.title, value));
        else if (item.size() > 12)
            logLine(
                fmt::format("regcode: {}, has more than 12 chars or contains UTF16 chars in \"{}\"?", item, s.title));
        else if (lf_contains(item, "*"))
            logMarked(fmt::format("{} {} wild cards no longer supported, atc_id skipped ", s.title, item));
        else
            continue;
        s.regcode.clear();
        return;
    }
    s.regcode = items.size() == 1 ? items.front() : std::string();
}

void lf_readAirline(Section& s, std::string code)
{
    gf_normaliseCommaList(code);
    if (code.size() == 4 && (code.back() == 'X' || code.back() == 'C')) code.pop_back();
    if (isIcaoAirline(code)) {
        s.airline = code;
        return;
    }
    if (code == "RFO") {
        s.dropped = true;
        return;
    }
    lf_addProblemLine(code, s.filePath, s.header);
    s.airline.clear();
}

bool lf_droppedTitle(const std::string& title)
{
    return lf_contains(title, "FenixA320") || lf_contains(title, "PMDG 737") ||
           (SUPPRESS_STUB.value() && title.ends_with("-STUB"));
}

// One line of the section, by the first rule that applies.
void lf_sectionLine(Section& s, std::string_view line)
{
    std::string value;
    if (s.title.empty() && lf_parseTitle(line, value)) {
        s.title = gf_trim(value);
        if (lf_droppedTitle(s.title)) s.dropped = true;
        return;
    }
    if (!s.title.empty() && lf_parseTitle(line, value)) return s.incomplete("has more than one title key");
    if (!s.airline.empty() && lf_contains(line, "icao_airline"))
        return s.incomplete(std::string("has more than one ") + "icao_airline" + " key");
    if (s.airline.empty() && lf_parseIcaoAirline(line, value)) return lf_readAirline(s, value);
    if (!s.parkingTypes.empty() && lf_contains(line, "atc_parking_types"))
        return s.incomplete("has more than one atc_parking_types key");
    if (s.parkingTypes.empty() && lf_parseAtcParkingTypes(line, value)) {
        gf_normaliseCommaList(value);
        s.parkingTypes = lf_upper(value);
        return;
    }
    if (!s.regcode.empty()) {
        if (lf_contains(line, "atc_id=")) {
            incompleteSections.add(fmt::format("{}, {}, has more than one atc_id key", s.folderPath, s.header));
            s.dropped = true;
        }
        return;
    }
    if (lf_parseAtcId(line, value)) lf_readAtcId(s, value);
}

// The airline of a section without icao_airline: its regcode's, else a private one, except for
// airliners, whose liveries without airline are of no use.
bool lf_airlineOfUnnamed(Section& s, const std::string& icaoType)
{
    const std::uint32_t category = categoryOfType(icaoType);
    const bool airliner = category == categoryLarge || category == categoryHeavy;
    if (!s.regcode.empty()) {
        std::optional<RegistrationInfo> info;
        for (const std::string& form : registrationVariants(s.regcode)) {
            // A record without an airline knows no more than no record.
            if (!findRegistrationInfo(info, form) || info->airline.empty()) continue;
            s.airline = info->airline;
            return true;
        }
        if (airliner) {
            incompleteSections.add(
                fmt::format("\"{}\" \"{}\" has no airline and its regcode is not in my dbase (very old liv?)",
                            s.folderPath, s.header));
            return false;
        }
        s.airline = "PVT";
        return true;
    }
    if (airliner) {
        incompleteSections.add(fmt::format("\"{}\" \"{}\" has no airline and no regcode info", s.folderPath, s.header));
        return false;
    }
    s.airline = "PVT";
    s.regcode = privateRegistrationIn(s.title);
    return true;
}

} // namespace

std::string_view lf_keyValue(std::string_view line, std::string_view key)
{
    std::size_t i = lf_skipBlanks(line, 0);
    if (!lf_wordAt(line, i, key)) return {};
    i = lf_skipBlanks(line, i + key.size());
    if (i >= line.size() || line[i] != '=') return {};
    i = lf_skipBlanks(line, i + 1);
    std::size_t end = line.size();
    while (end > i && lf_isBlank(line[end - 1])) --end;
    if (end == i) return {};
    const std::string_view value = line.substr(i, end - i);
    // The value's pattern matches no line break inside it.
    if (value.find_first_of("\r\n") != std::string_view::npos) return {};
    return value;
}

bool lf_parseTitle(std::string_view line, std::string& title)
{
    const std::string_view raw = lf_keyValue(line, "title");
    if (raw.empty()) return false;
    if (std::string value = gf_unquote(raw); !value.empty()) title = std::move(value);
    return true;
}

bool lf_parseIcaoAirline(std::string_view line, std::string& airline)
{
    const std::string_view raw = lf_keyValue(line, "icao_airline");
    if (raw.empty()) return false;
    const std::string value = gf_unquote(raw);
    airline = (value.empty() || value == "ZZZZ") ? "ZZZ" : lf_upper(value);
    return true;
}

bool lf_parseAtcParkingTypes(std::string_view line, std::string& parkingTypes)
{
    std::string value = gf_unquote(lf_keyValue(line, "atc_parking_types"));
    if (value.empty()) return false;
    parkingTypes = std::move(value);
    return true;
}

bool lf_parseAtcId(std::string_view line, std::string& regcode)
{
    std::string value = gf_unquote(lf_keyValue(line, "atc_id"));
    if (value.size() < 5) return false;
    regcode = std::move(value);
    return true;
}

bool lf_parseTexture(std::string_view line, std::string& texture)
{
    std::string value = gf_unquote(lf_keyValue(line, "texture"));
    if (value.empty()) return false;
    texture = std::move(value);
    return true;
}

std::string lf_parseIcaoTypeDesignator(std::string_view line)
{
    const std::string_view raw = lf_keyValue(line, "icao_type_designator");
    if (raw.empty()) return {};
    return lf_upper(gf_unquote(raw).substr(0, 4));
}

std::string lf_parseBaseContainer(std::string_view line)
{
    const std::string_view raw = lf_keyValue(line, "base_container");
    if (raw.empty()) return {};
    // "..\Asobo_A320_NEO": the two dots and the backslash go.
    const std::string value = gf_unquote(raw);
    if (value.size() < 3) throw std::out_of_range(fmt::format("base_container value \"{}\" too short", value));
    return lf_upper(stockModelType(std::string_view(value).substr(3)));
}

std::string lf_parseFltsimHeader(std::string_view line)
{
    if (line.size() >= 2 && line.starts_with("//")) return {};
    std::size_t i = lf_skipBlanks(line, 0);
    if (lf_wordAt(line, i, "[fltsim.")) {
        const std::size_t digits = i + 8;
        std::size_t end = digits;
        while (end < line.size() && line[end] >= '0' && line[end] <= '9') ++end;
        if (end > digits && end < line.size() && line[end] == ']' && lf_skipBlanks(line, end + 1) == line.size())
            return std::string(line.substr(digits, end - digits));
    }
    if (lf_contains(line, "[fltsim.") || lf_contains(line, "[FLTSIM.")) return "10000";
    return {};
}

// The type of a file from a code found in it: valid, fixed, or reported.
std::string lf_checkedType(const std::string& code, const std::string& filePath)
{
    if (isValidType(code)) return code;
    if (const auto fix = typeFixes.find(code); fix != typeFixes.end()) {
        codeFixes.add(fmt::format("Model fix: {} found in {} changed into {}", code, filePath, fix->second));
        return fix->second;
    }
    lf_addInvalidModel(code, filePath);
    return {};
}

std::string lf_folderOfFile(const std::string& filePath)
{
    // Either separator, as in the model-folder patterns of the IVAO packages.
    const std::size_t slash = filePath.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : filePath.substr(0, slash);
}

bool lf_checkFltsimSections(const CfgLines& lines, const std::string& filePath)
{
    std::vector<std::int32_t> numbers;
    for (const std::string_view line : lines) {
        const std::string digits = lf_parseFltsimHeader(line);
        if (digits.empty()) {
            // A header in other letters that is no [fltsim.N] one (say [FltSim.-1]) ends the
            // section before it, and its own lines are not read: the report says so.
            if (lf_wordAt(line, lf_skipBlanks(line, 0), "[fltsim.") && !line.starts_with("//"))
                incompleteSections.add(fmt::format("{} {} is no [fltsim.N] header, its section is not read",
                                                   lf_folderOfFile(filePath), line));
            continue;
        }
        std::int32_t n = 0;
        const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (result.ec != std::errc() || result.ptr != digits.data() + digits.size()) {
            logMarked(fmt::format("fltsim num {} incorrect", line));
            invalidCfgFiles.add(fmt::format("{} contains a [fltsim.x] number out of range: {}", filePath, line));
            return false;
        }
        numbers.push_back(n);
    }
    if (numbers.empty()) {
        emptyCfgFiles.add(filePath);
        return true;
    }
    std::sort(numbers.begin(), numbers.end());
    for (std::size_t expected = 0; expected < numbers.size(); ++expected) {
        const std::int32_t n = numbers[expected];
        if (n == static_cast<std::int32_t>(expected)) continue;
        invalidCfgFiles.add(filePath + " contains " +
                            (n == 10000 ? std::string("a [fltsim.] section without a number")
                                        : fmt::format("non-consecutive [fltsim.x] numbers at .x={}", n)));
        return false;
    }
    return true;
}

std::string lf_modelOfAircraftCfg(const std::string& filePath, const CfgLines& lines)
{
    for (const std::string_view line : lines)
        if (std::string code = lf_parseIcaoTypeDesignator(line); !code.empty()) return lf_checkedType(code, filePath);
    for (const std::string_view line : lines)
        if (std::string code = lf_parseBaseContainer(line); !code.empty()) return lf_checkedType(code, filePath);
    if (!lf_contains(filePath, "pmdg-aircraft-7") && !lf_contains(filePath, "fnx-aircraft-3"))
        invalidCfgFiles.add("Line icao_type_designator= is missing in [General] section of " + filePath);
    return {};
}

CfgSection lf_trimSection(CfgSection section)
{
    while (!section.empty() && (section.back().empty() || section.back().starts_with("//")))
        section = section.first(section.size() - 1);
    return section;
}

void lf_procesFltSimSection(std::list<LiveryRecord>& out, std::uint32_t folderNumber, CfgSection section,
                            const std::string& icaoType, const std::string& filePath, const std::string& folderPath)
{
    try {
        const CfgSection lines = lf_trimSection(section);
        if (lines.empty()) return;
        Section s{{}, {}, {}, {}, folderPath, filePath, std::string(lines.front())};
        for (const std::string_view line : lines) {
            lf_sectionLine(s, line);
            if (s.dropped) return;
        }
        if (s.title.empty()) return s.incomplete("misses title");
        if (isDontUseTitle(s.title)) return;
        if (s.airline == "ZZZ") s.regcode.clear();
        if (s.airline.empty() && !lf_airlineOfUnnamed(s, icaoType)) return;
        const bool cargo = lf_contains(s.parkingTypes, "CARGO") && !lf_contains(s.parkingTypes, "GATE");
        if (!lf_takeTitle(s.title)) {
            incompleteSections.add(fmt::format("{} {} title \"{}\" already exists", folderPath, s.header, s.title));
            return;
        }
        out.push_back(LiveryRecord{s.airline, icaoType, s.title, s.regcode, folderNumber, cargo});
    } catch (const std::exception& e) {
        logLine(fmt::format("exception in lf_procesFltSimSection: {}, file: {}", e.what(), filePath));
        throw;
    }
}

} // namespace qtr
