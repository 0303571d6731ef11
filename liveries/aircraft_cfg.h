#pragma once
// The text of one installed aircraft.cfg turned into livery records: the key parsers of its lines,
// the check of its [fltsim.N] numbering, the ICAO type of the file and one record per section.
// Problems go to the scan's lists (liveries/scan_problems.h). Runs in the scan tasks, many files
// at once; everything shared is locked there.
#include "liveries/livery_data_base.h"

#include <cstdint>
#include <list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qtr {

// The lines of a file: views into the file's text, which the reader keeps.
using CfgLines = std::vector<std::string_view>;
using CfgSection = std::span<const std::string_view>;

// The raw value of a "key = value" line: the line must be blanks, the key (letters in any case),
// blanks, '=', blanks, a value ending in a non-blank, blanks; "" when it is not such a line.
std::string_view lf_keyValue(std::string_view line, std::string_view key);

// Each true when the line is a line of its key; the value unquoted as the rules of each say.
bool lf_parseTitle(std::string_view line, std::string& title);
bool lf_parseIcaoAirline(std::string_view line, std::string& airline);
bool lf_parseAtcParkingTypes(std::string_view line, std::string& parkingTypes);
bool lf_parseAtcId(std::string_view line, std::string& regcode);
bool lf_parseTexture(std::string_view line, std::string& texture);
// The type (first four characters, upper case), "" for another line.
std::string lf_parseIcaoTypeDesignator(std::string_view line);
// The stock model's type of a base_container line, "" for another line or another folder.
// Throws std::out_of_range for a value of one or two characters.
std::string lf_parseBaseContainer(std::string_view line);
// The section number of a [fltsim.N] header as text; "10000" for a header without a usable
// number; "" for any other line (also a header commented out with "//").
std::string lf_parseFltsimHeader(std::string_view line);

// The file's [fltsim.N] numbers must run 0, 1, 2, ...; false for an invalid file.
bool lf_checkFltsimSections(const CfgLines& lines, const std::string& filePath);
// The valid (or fixed) ICAO type of the file, "" when it has none.
std::string lf_modelOfAircraftCfg(const std::string& filePath, const CfgLines& lines);
// One section (its header line first) into at most one record appended to out.
void lf_procesFltSimSection(std::list<LiveryRecord>& out, std::uint32_t folderNumber, CfgSection section,
                            const std::string& icaoType, const std::string& filePath, const std::string& folderPath);
// The section without its trailing empty lines and lines beginning with "//".
CfgSection lf_trimSection(CfgSection section);

// The type of a file from a code found in it: the code when valid, its fix from the data base
// (noted in codeFixes), else "" (noted in invalidModelCodes).
std::string lf_checkedType(const std::string& code, const std::string& filePath);

// The file's path up to its last backslash: the model's folder.
std::string lf_folderOfFile(const std::string& filePath);

} // namespace qtr
