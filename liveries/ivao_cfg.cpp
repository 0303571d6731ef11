// aircraft.cfg files of the IVAO model packages: the type comes from the model's folder name, the
// airline from the three letters after the type at the start of the title.
#include "foundation/log.h"
#include "foundation/utilities.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/livery_folder_walk.h"
#include "liveries/regcodes.h"
#include "liveries/scan_problems.h"
#include "liveries/type_queries.h"
#include "foundation/win_text.h"

#include <fmt/format.h>

#include <filesystem>
#include <regex>

namespace qtr {

namespace {

// The packages' special models, whose titles carry a "W" after the type.
constexpr std::string_view specialModels[] = {"IVAO_B738WLfa", "IVAO_B739WLfa", "IVAO_A320wCFM", "IVAO_A320wIAE",
                                              "IVAO_A319fIAEw"};

bool lf_contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// An IVAO regcode: one registration of at most 12 bytes, no wild cards, not the packages'
// placeholder G-BAFM; else none.
std::string lf_ivaoRegcode(const std::string& value, const std::string& title)
{
    const std::vector<std::string> items = gf_splitUntrimmed(value, ',');
    for (const std::string& item : items) {
        if (item.empty())
            logLine(fmt::format(" empty regcode in: {}", value));
        else if (item.size() > 12)
            logLine(fmt::format("regcode: {}, has more than 12 chars in title: {}", item, title));
        else if (lf_contains(item, "*"))
            logMarked(fmt::format("{} {} wild cards no longer supported, atc_id skipped ", title, item));
        else if (item != "G-BAFM")
            continue;
        return {};
    }
    return items.size() == 1 ? items.front() : std::string();
}

std::string lf_airlineInTitle(const std::string& title, const std::string& icaoType, bool special)
{
    const std::regex pattern(icaoType + (special ? "W" : "") + "\\s*(\\w\\w\\w).*$", std::regex::icase);
    std::smatch m;
    return std::regex_match(title, m, pattern) ? m[1].str() : std::string();
}

} // namespace

std::string lf_modelOfIvaoPath(const std::string& filePath)
{
    // Either separator: the walk gives the system's own, and a folder typed with forward slashes
    // keeps them on Windows too.
    static const std::regex mtl(R"(.+[\\/]IVAO_MTL[\\/]SimObjects[\\/]Airplanes[\\/]IVAO_(\w+)[\\/]aircraft.cfg$)",
                                std::regex::icase);
    static const std::regex csl(R"(.+[\\/]ivao_x-csl[\\/]SimObjects[\\/]Airplanes[\\/]IVAO_(\w+)[\\/]aircraft.cfg$)",
                                std::regex::icase);
    std::smatch m;
    if (!std::regex_match(filePath, m, mtl) && !std::regex_match(filePath, m, csl)) {
        lf_addInvalidModel("  ", filePath);
        return {};
    }
    std::string model = m[1].str();
    if (model.size() >= 4) model.resize(4);
    return lf_checkedType(model, filePath);
}

LiveryRecord lf_addLivery(std::uint32_t folderNumber, const std::string& airline, const std::string& icaoType,
                          bool passenger, const std::string& title, const std::string& regcode)
{
    if (!lf_takeTitle(title)) return {};
    return LiveryRecord{airline, icaoType, title, regcode, folderNumber, !passenger};
}

LiveryRecord lf_parseFltsimSections(std::uint32_t folderNumber, CfgSection whole, const std::string& icaoType,
                                    const std::string& filePath, const std::string& folderPath)
{
    const CfgSection section = lf_trimSection(whole);
    if (section.empty()) return {};
    const std::string header(section.front());
    const auto incomplete = [&](const std::string& what) {
        incompleteSections.add(folderPath + " " + header + what);
        return LiveryRecord{};
    };
    std::string title, parkingTypes, regcode, texture;
    for (const std::string_view line : section) {
        std::string value;
        if (!title.empty() && lf_parseTitle(line, value)) return incomplete(" has more than one title key");
        if (title.empty() && lf_parseTitle(line, value)) {
            const std::string trimmed = gf_trim(value);
            if (trimmed.size() < value.size())
                logLine(fmt::format("removed spaces around title \"{}\" --> \"{}\"", value, trimmed));
            title = trimmed;
            continue;
        }
        if (!parkingTypes.empty() && lf_contains(line, "atc_parking_types"))
            return incomplete(" has more than one atc_parking_types key");
        if (parkingTypes.empty() && lf_parseAtcParkingTypes(line, value)) {
            parkingTypes = value; // normalised by the regular parser; of no further use here
            continue;
        }
        if (!regcode.empty() && lf_contains(line, "atc_id=")) {
            incompleteSections.add(fmt::format("{}, {}, has more than one atc_id key", folderPath, header));
            return {};
        }
        if (regcode.empty() && lf_parseAtcId(line, value)) {
            regcode = lf_ivaoRegcode(value, title);
            continue;
        }
        if (texture.empty()) lf_parseTexture(line, texture);
    }
    const std::filesystem::path textureFolder = pathFromUtf8(folderPath) / ("texture." + texture);
    if (!std::filesystem::is_directory(textureFolder)) {
        incompleteSections.add(pathToUtf8(textureFolder) + " " + header + " does not exist");
        return {};
    }
    if (title.empty()) return incomplete(" misses title");
    if (isDontUseTitle(title)) return {};
    bool special = false;
    for (const std::string_view model : specialModels) special = special || lf_contains(folderPath, model);
    std::string airline = lf_airlineInTitle(title, icaoType, special);
    if (!airline.empty()) {
        if (!isIcaoAirline(airline)) {
            lf_addProblemLine(airline, filePath, header);
            return {};
        }
        if (airline == "ZZZ") regcode.clear();
    } else {
        if (regcode.empty()) return incomplete(" misses airlinecode in title: " + title + ", and no regcode");
        const auto info = registrationInfo(regcode);
        if (!info) return incomplete(" misses airlinecode in title: " + title + ", and regcode unknown" + regcode);
        // A record without an airline gives a livery without one, which the walk leaves out.
        airline = info->airline;
    }
    LiveryRecord record = lf_addLivery(folderNumber, airline, icaoType, true, title, regcode);
    // Only a taken title comes back without one.
    if (record.title.empty()) incompleteSections.add(folderPath + " " + header + " title already exists: " + title);
    return record;
}

} // namespace qtr
