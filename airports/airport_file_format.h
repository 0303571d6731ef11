#pragma once
// The airport file: the stands (parking positions) of one airport in an XML document of three
// top-level elements, `meta`, `parameters` (`parameter` name/value entries) and `parkpositions`
// (one `parkpos` per stand, each with `opt` children: who used the stand on which weekday in
// which half-hour slots). Archived, generated, learned and handmade files share it; this file
// holds what every reader needs: the stand and option readers and the format's fixed texts.
// See docs/dev/airport_files.md for the four kinds of file and how they combine.
#include "airports/stand_records.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
class xml_node;
}

namespace qtr {

// Element and parameter names of the format.
inline constexpr const char* apfParameters = "parameters";
inline constexpr const char* apfParkPositions = "parkpositions";
inline constexpr const char* apfParkPos = "parkpos";
inline constexpr const char* apfOption = "opt";
inline const std::string apfAirportName{"airport_name"};
inline const std::string apfPublisher{"publisher"};
inline const std::string apfHandmade{"handmade"};
inline const std::string apfAltitude{"altitude"};
inline const std::string apfNumParkPos{"num_parkpos"};
inline const std::string apfQfReal{"Qf_real"};
inline const std::string apfQfSoft{"Qf_soft"};
inline const std::string apfBglPath{"BGLpath"};
inline const std::string apfManufacturer{"manufacturer"};
inline const std::string apfCreator{"creator"};
inline const std::string apfTrafficWeek{"RT_traffic_week"};

// Stand radii are metres in the file and nautical miles in a Stand.
inline constexpr double metresToNm = 0.0005399568034557236;
inline constexpr double nmToMetres = 1852.0;

// True when the text begins with '1', 't', 'T', 'y' or 'Y' (the format's booleans).
bool gf_isTrueText(std::string_view text);

// The two callsign keys of an `opt` element's `cs`: the text before the first ':' and the text
// after it up to a second ':' (the whole text and "" when it has no ':').
struct CallsignKeys {
    std::string first;
    std::string second;
};
CallsignKeys splitCallsignKeys(std::string_view cs);

// The texts of an `opt` element: airline and type code (from the type data base's record of its
// `reg` when there is one, else from `airl` and `type`) and the two callsign keys.
struct OptionTexts {
    std::string airline;
    std::string type;
    CallsignKeys callsigns;
};
OptionTexts parseStandOptions(const pugi::xml_node& opt);

// One stand option from an `opt` element with the given option id and source tag; nothing
// (logged, naming context) when its `day` is not a number.
std::optional<StandOption> readStandOption(const pugi::xml_node& opt, std::uint32_t id, std::uint32_t sourceTag,
                                           const std::string& context);

// The stand reader: appends the stand of a `parkpos` element, named name (its `id`), with its
// options (numbered 1, 2, ... in file order, each with sourceTag) to list. A stand at 0,0 (or
// without position), a position off the globe, a radius below 0 or above
// largestStandRadiusMetres and an attribute that is not a number are skipped with a log line
// naming fileText; false then. A heading outside 0...360 degrees is brought into it.
inline constexpr double largestStandRadiusMetres = 200.0;

// The most stands an airport file may hold: the largest airports have a few thousand. A file
// with more is refused before its stands are read (each takes room for its options) or linked.
inline constexpr std::size_t maximumStands = 10000;
std::string tooManyStandsText(std::size_t count);
// Throws UserErrorException 94 (tooManyStandsText) when the element holds more than
// maximumStands `parkpos` children.
void refuseTooManyStands(const pugi::xml_node& parkpositions);
bool readStands(const pugi::xml_node& parkpos, const std::string& name, std::uint32_t sourceTag,
                std::vector<Stand>& list, const std::string& fileText);

} // namespace qtr
