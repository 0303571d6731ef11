#pragma once
// Shared by the airport-file tests: a fresh program folder with the airport folders as working
// folder, its own log, the traffic tables emptied and the park airport set; the parking settings
// that learned files carry are put back afterwards. Plus small builders of stands and options.
#include "airports/airport_file_reader.h"
#include "airports/airport_file_writer.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "liveries/type_data_base.h"
#include "liveries/type_queries.h"
#include "support/test_support.h"
#include "traffic/run/range.h"
#include "traffic/state/traffic_state.h"

#include "http_server.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace qtest {

// Puts the parameters that reading a learned file sets back to their defaults.
inline void resetParkingSettings()
{
    using namespace qtr;
    for (CheckBoxParameter* p : {&LEARN_SOFT, &AUTO_RANGE, &PARK_FAKE, &WEEK, &PARK_SOFT, &INITIAL_LOAD_ONLY})
        p->setValue(p->defaultValue());
    for (IntEditParameter* p : {&MAX_LIVE, &MAX_FIT, &parking_percentage}) p->setValue(p->defaultValue());
    setRangeNm(LATERAL_RANGE.defaultValue());
    manualRadius = LATERAL_RANGE.defaultValue();
    MSFS_2020.setValue(true);
}

class AirportFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Every download goes to a site of our own on 127.0.0.1 (nothing there until a test
        // puts it there).
        ASSERT_TRUE(server.start());
        qtr::DOWNLOAD_SITE.setValue(server.baseUrl());
        folder = freshFolder("airport-files");
        cwd.emplace(folder);
        for (const auto* sub : {&qtr::myThirdpartyFolder, &qtr::myVendrakeFolder, &qtr::learnedStockFolder,
                                &qtr::learnedVendrakeFolder, &qtr::learnedThirdpartyFolder})
            std::filesystem::create_directories(*sub);
        qtr::gf_startLog();
        qtr::resetTrafficManager();
        qtr::clearTypeDataBase();
        qtr::parkHandmade = false;
        qtr::parkTrafficWeek = 0;
        qtr::parkAirportIcao = "EGLL";
        resetParkingSettings();
    }

    void TearDown() override
    {
        qtr::closeLog();
        cwd.reset();
        server.stop();
        qtr::DOWNLOAD_SITE.setValue(qtr::DOWNLOAD_SITE.defaultValue());
        qtr::resetTrafficManager();
        qtr::clearTypeDataBase();
        resetParkingSettings();
    }

    // The log so far, without carriage returns.
    std::string log() const
    {
        std::string out;
        for (char c : readFile(folder / "Log.txt"))
            if (c != '\r') out += c;
        return out;
    }

    // Whether the site was asked for the path ("/MSFS/archive/stock/EGLL.xml").
    bool requested(const std::string& path) const
    {
        for (const auto& request : server.requests())
            if (request.path == path) return true;
        return false;
    }

    qmhttp::Server server;
    std::filesystem::path folder;
    std::optional<ScopedCwd> cwd;
};

// The text of an airport file with a complete meta block.
inline std::string apfText(const std::string& parameters, const std::string& parkpositions)
{
    return "<?xml version=\"1.0\"?>\n<meta><info name=\"author\" value=\"someone\"/><info name=\"date\" "
           "value=\"today\"/>"
           "<info name=\"version\" value=\"1.0.0\"/></meta>\n<parameters>" +
           parameters + "</parameters>\n<parkpositions>" + parkpositions + "</parkpositions>\n";
}

inline std::string parameter(const std::string& name, const std::string& value)
{
    return "<parameter name=\"" + name + "\" value=\"" + value + "\"/>";
}

struct StandSpec {
    std::string name;
    double lat = 0, lon = 0;
    double headingDeg = 0;
    double radiusMetres = 20;
    bool cargo = false, ramp = false, heli = false;
};

inline qtr::Stand makeStand(const StandSpec& spec)
{
    qtr::Stand s;
    s.name = spec.name;
    s.lat = spec.lat;
    s.lon = spec.lon;
    s.heading = spec.headingDeg * 0.017453292519943295;
    s.radius = spec.radiusMetres * 0.0005399568034557236;
    s.cargo = spec.cargo;
    s.ramp = spec.ramp;
    s.heli = spec.heli;
    return s;
}

inline qtr::StandOption makeOption(std::string reg, std::string airline, std::string type, std::uint32_t day,
                                   std::vector<std::size_t> slots, std::uint32_t kind = qtr::optionReal,
                                   std::string cs = "", std::string cs2 = "", std::uint32_t id = 1)
{
    qtr::StandOption o;
    o.reg = std::move(reg);
    o.airline = std::move(airline);
    o.type = std::move(type);
    o.day = day;
    for (std::size_t slot : slots) o.slots.set(slot);
    o.kind = kind;
    o.cs = std::move(cs);
    o.cs2 = std::move(cs2);
    o.id = id;
    return o;
}

// The stand list's meaningful content as text, one line per stand and option, for comparisons
// that show what differs (positions to the file's precision).
inline std::string describeStands(const std::vector<qtr::Stand>& list)
{
    std::string text;
    for (const qtr::Stand& s : list) {
        text += fmt::format("{} {:.6f},{:.6f} h{:.1f} r{:.1f}{}{}{}{}{}{}\n", s.name, s.lat, s.lon,
                            s.heading * 57.29577951308232, s.radius * 1852.0, s.cargo ? " cargo" : "",
                            s.ramp ? " ramp" : "", s.heli ? " heli" : "", s.manual ? " manual" : "",
                            s.radius_change ? " radius_change" : "", s.cargo_change ? " cargo_change" : "");
        for (const qtr::StandOption& o : s.options)
            if (o.id != 0)
                text += fmt::format("  {}/{}/{} day{} {} {} cs={}:{}\n", o.reg, o.airline, o.type, o.day,
                                    o.slots.to_string(), o.kind == qtr::optionSoft ? "soft" : "real", o.cs, o.cs2);
    }
    return text;
}

} // namespace qtest
