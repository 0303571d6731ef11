#include "links/flight_plan.h"

#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/text_files.h"
#include "foundation/flight_record.h"

#include <fmt/format.h>

#include <fstream>
#include <system_error>

namespace qtr {

namespace fs = std::filesystem;

fs::path flightPlanFolder;

namespace {

// Throws when the folder is missing and cannot be made, or when something else holds its name.
void ensureFolder(const fs::path& folder)
{
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return;
    fs::create_directory(folder, ec);
    if (ec) throw fs::filesystem_error("create_directory", folder, ec);
    if (!fs::is_directory(folder, ec)) throw fs::filesystem_error("is_directory", folder, ec);
}

// IFR for the jets and airliners, VFR for light aircraft, fast military types and rotorcraft.
const char* planType(std::uint32_t category) { return category >= 1 && category <= 3 ? "IFR" : "VFR"; }

} // namespace

bool createFlightPlanFolders()
{
    flightPlanFolder.clear();
    const fs::path folder = dataFolder() / "orig_dest";
    try {
        ensureFolder(dataFolder());
        ensureFolder(folder);
    } catch (const fs::filesystem_error& e) {
        // A settings folder that cannot be written costs the flight plans, not the run. The
        // folder stays unnamed, so that nothing is written there and the exit removes nothing.
        logMarked(fmt::format("No flight plans in this run, their folder cannot be made: {}", e.what()));
        return false;
    }
    flightPlanFolder = folder;
    return true;
}

fs::path flightPlanPath(std::uint32_t objectId) { return fs::path(fmt::format("{}.pln", objectId)); }

bool writeFlightPlanFile(const fs::path& path, const FlightRecord& record)
{
    const std::string text = fmt::format("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                         "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\"\n"
                                         "<FlightPlan.FlightPlan>\n"
                                         "<FPType>{}</FPType>\n"
                                         "<DepartureID>{}</DepartureID>\n"
                                         "<DestinationID>{}</DestinationID>\n"
                                         "</FlightPlan.FlightPlan>\n"
                                         "</SimBase.Document>\n",
                                         planType(record.category), record.origin, record.destination);
    return gf_writeReplacing(text, path);
}

void gf_removeFlightPlanFolder()
{
    try {
        if (!flightPlanFolder.empty() && fs::exists(flightPlanFolder)) fs::remove_all(flightPlanFolder);
    } catch (const std::exception& e) {
        logLine(fmt::format("gf_removeFlightPlanFolder: {}", e.what()));
    }
}

bool isFlightPlanAirportCode(const std::string& code)
{
    if (code.size() < 2 || code.size() > 8) return false;
    for (char c : code)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

} // namespace qtr
