#include "foundation/parameters/parameter_table.h"

#include <pugixml.hpp>

#include "foundation/indicators.h"
#include "foundation/parameters/parameters_file.h"
#include "foundation/version.h"

#include <vector>

namespace qtr {

CheckBoxParameter TELLMOOR("TELLMOOR", false, 32775, 203);
CheckBoxParameter MSFS_2020("MSFS_2020", true, 32790, 119);
CheckBoxParameter CALLSIGN_OBJECTIDS("CALLSIGN_OBJECTIDS", false, 32822, 231);
CheckBoxParameter COLLISION_USER_AIR("COLLISION_USER_AIR", true, 32833, 287);
CheckBoxParameter COLLISION_USER_GND("COLLISION_USER_GND", true, 32834, 287);
CheckBoxParameter COLLISION_LIVE_PARKED_GND("COLLISION_LIVE_PARKED_GND", false, 32835, 287);
CheckBoxParameter SUPPRESS_STUB("SUPPRESS_STUB", true, 32801, 147);
CheckBoxParameter LOG("LOG", true, 32779, 147);
CheckBoxParameter ALWAYS_ON_TOP("ALWAYS_ON_TOP", false, 32771, 147);
CheckBoxParameter SCAN_LIVERIES("SCAN_LIVERIES", true, 32797, 147);
CheckBoxParameter LIG_AUTOMATIC("LIG_AUTOMATIC", true, 32798, 147);
CheckBoxParameter LIG_PRIORITIZE("LIG_PRIORITIZE", false, 32799, 147);
CheckBoxParameter SCAN_AIRPORTS("SCAN_AIRPORTS", true, 32802, 175);
CheckBoxParameter LIGHT_AIRCRAFT("LIGHT_AIRCRAFT", true, 32809, 203);
CheckBoxParameter HELICOPTERS("HELICOPTERS", true, 32810, 203);
CheckBoxParameter HIGH_PERF_AIRCRAFT("HIGH_PERF_AIRCRAFT", true, 32811, 203);
CheckBoxParameter NAV_LIGHTS_WHILE_PARKED("NAV_LIGHTS_WHILE_PARKED", true, 32778, 175);
CheckBoxParameter AUTO_RANGE("AUTO_RANGE", true, 32819, 231);
CheckBoxParameter LEARN_SOFT("LEARN_SOFT", true, 32777, 175);
CheckBoxParameter STRAIGHT_PBS_ONLY("STRAIGHT_PBS_ONLY", false, 32856, 315);
CheckBoxParameter PARK_SOFT("PARK_SOFT", true, 32851, 371);
CheckBoxParameter PARK_FAKE("PARK_FAKE", false, 32852, 371);
CheckBoxParameter WEEK("WEEK", false, 32854, 371);
CheckBoxParameter INITIAL_LOAD_ONLY("INITIAL_LOAD_ONLY", false, 32850, 371);
CheckBoxParameter GUID_CHANGES("GUID_CHANGES", true, 32773, 203);

IntEditParameter MATCHING_DEPTH("MATCHING_DEPTH", 4, 1, 4, 32808, 203);
IntEditParameter LATERAL_RANGE("LATERAL_RANGE", 40, 2, 100, 32818, 231);
IntEditParameter MAX_FIT("MAX_FIT", 47, 0, 47, 32853, 371);
IntEditParameter AUTO_RANGE_ABOVE_HEIGHT("AUTO_RANGE_ABOVE_HEIGHT", 49000, 18000, 49000, 32820, 231);
IntEditParameter MAX_LIVE("MAX_LIVE", -1, -1, 300, 32821, 315);
IntEditParameter AIRPORT_RANGE("AIRPORT_RANGE", 20, 8, 30, 32841, 343);
IntEditParameter AIRPORT_HEIGHT("AIRPORT_HEIGHT", 18000, 2000, 45000, 32842, 343);
IntEditParameter CUSTOM_MAX_PARK("CUSTOM_MAX_PARK", -1, -1, 500, 32865, 315);
IntEditParameter AI_PACKAGE_ORDER("AI_PACKAGE_ORDER", 1, 1, 6, 32800, 147);
IntEditParameter parking_percentage("parking_percentage", 30, 0, 100, 32848, 371);

FloatEditParameter MAX_FIT_FL("MAX_FIT_FL", 24.0f, 0.5f, 24.0f, 32855, 371);

TextBoxParameter ALL_INSTALL_PATH("ALL_INSTALL_PATH", "", 32788, 119);
TextBoxParameter BLOCK_CALLSIGN("BLOCK_CALLSIGN", "", 32828, 259);
TextBoxParameter CALLSIGN_2_OBJECTID("CALLSIGN_2_OBJECTID", "", 32774, 259);
TextBoxParameter DESTINATION("DESTINATION", "", 32840, 343);

ButtonParameter unblockButton("Unblock", 32829, 257);
ButtonParameter rereadButton("Re-read", 32838, 341);
ButtonParameter flushStaticButton("Flush static", 32858, 369);

IntParameter CUSTOM_PARKING_PERCENTAGE("CUSTOM_PARKING_PERCENTAGE", -1, -1, 100);
// The main window's last position (screen pixels), restored at the next start.
IntParameter MAIN_WINDOW_X("MAIN_WINDOW_X", 400, -30000, 30000);
IntParameter MAIN_WINDOW_Y("MAIN_WINDOW_Y", 20, -30000, 30000);
IntParameter LAST_EPOCH_TIME("LAST_EPOCH_TIME", 0, 0, 2147483647);
IntParameter HOLDING_THRESHOLD_METERS("HOLDING_THRESHOLD_METERS", 250, 10, 4000);
IntParameter MAX_HOLDING_MINUTES("MAX_HOLDING_MINUTES", 20, 1, 60);

BoolParameter RANDOM("RANDOM", true);

StringParameter PROGRAM_VERSION("PROGRAM_VERSION", "");
StringParameter MSFS_INSTALL_PATH("MSFS_INSTALL_PATH", "");
StringParameter PORT_NUMBER("PORT_NUMBER", "10747");
StringParameter lfolder0("lfolder0", "");
StringParameter lfolder1("lfolder1", "");
StringParameter lfolder2("lfolder2", "");
StringParameter lfolder3("lfolder3", "");
StringParameter lfolder4("lfolder4", "");
StringParameter lfolder5("lfolder5", "");
StringParameter lfolder6("lfolder6", "");
StringParameter lfolder7("lfolder7", "");
StringParameter lfolder8("lfolder8", "");
StringParameter lfolder9("lfolder9", "");
StringParameter PROGRAM_INSTALL_PATH("PROGRAM_INSTALL_PATH", "");
StringParameter MYVENDRAKE24_VERSION("MYVENDRAKE24_VERSION", "");
StringParameter MSFS_2024_INSTALL_PATH("MSFS_2024_INSTALL_PATH", "");
StringParameter DOWNLOAD_SITE("DOWNLOAD_SITE", "https://downloads.quillmarsh.example/");

// Copied from the parameters above, which this file constructs first.
const std::string lateralRangeKey = LATERAL_RANGE.name;
const std::string autoRangeKey = AUTO_RANGE.name;
const std::string initialLoadOnlyKey = INITIAL_LOAD_ONLY.name;
const std::string parkSoftKey = PARK_SOFT.name;
const std::string parkFakeKey = PARK_FAKE.name;
const std::string parkingPercentageKey = parking_percentage.name;
const std::string maxFitKey = MAX_FIT.name;
const std::string weekKey = WEEK.name;
const std::string learnSoftKey = LEARN_SOFT.name;
const std::string maxLiveKey = MAX_LIVE.name;

std::atomic<double> lateralRangeNm{static_cast<double>(LATERAL_RANGE.value())};
std::atomic<std::int32_t> lateralRangeMetres{LATERAL_RANGE.value() * 1852};

void loadParameters()
{
    // The members' order is the order of a new file and of the log. Two keys stand in two
    // lists each (COLLISION_LIVE_PARKED_GND, CUSTOM_MAX_PARK) and are walked once per list.
    const std::vector<BoolParameter*> bools{&RANDOM, &COLLISION_LIVE_PARKED_GND};
    const std::vector<CheckBoxParameter*> boxes{
        &TELLMOOR,        &MSFS_2020,           &CALLSIGN_OBJECTIDS, &COLLISION_USER_AIR,
        &COLLISION_USER_GND, &COLLISION_LIVE_PARKED_GND, &SUPPRESS_STUB, &LOG,
        &ALWAYS_ON_TOP,   &SCAN_LIVERIES,       &LIG_AUTOMATIC,      &LIG_PRIORITIZE,
        &SCAN_AIRPORTS,   &LIGHT_AIRCRAFT,      &HELICOPTERS,        &HIGH_PERF_AIRCRAFT,
        &NAV_LIGHTS_WHILE_PARKED, &AUTO_RANGE,  &LEARN_SOFT,         &STRAIGHT_PBS_ONLY,
        &PARK_SOFT,       &PARK_FAKE,           &WEEK,               &INITIAL_LOAD_ONLY,
        &GUID_CHANGES};
    const std::vector<IntParameter*> ints{&CUSTOM_PARKING_PERCENTAGE, &CUSTOM_MAX_PARK, &MAIN_WINDOW_X,
                                          &MAIN_WINDOW_Y,        &LAST_EPOCH_TIME, &HOLDING_THRESHOLD_METERS,
                                          &MAX_HOLDING_MINUTES};
    const std::vector<IntEditParameter*> edits{&MATCHING_DEPTH, &LATERAL_RANGE,  &MAX_FIT,
                                               &AUTO_RANGE_ABOVE_HEIGHT, &MAX_LIVE, &AIRPORT_RANGE,
                                               &AIRPORT_HEIGHT, &CUSTOM_MAX_PARK, &AI_PACKAGE_ORDER};
    const std::vector<StringParameter*> strings{
        &PROGRAM_VERSION, &MSFS_INSTALL_PATH, &PORT_NUMBER, &lfolder0, &lfolder1, &lfolder2,
        &lfolder3,        &lfolder4,          &lfolder5,    &lfolder6, &lfolder7, &lfolder8,
        &lfolder9,        &PROGRAM_INSTALL_PATH, &MYVENDRAKE24_VERSION, &MSFS_2024_INSTALL_PATH, &DESTINATION};
    const std::vector<TextBoxParameter*> texts{&BLOCK_CALLSIGN};

    readParametersXml(bools, boxes, ints, edits, strings, texts);
    {
        pugi::xml_document doc;
        loadParametersDocument(doc);
        DOWNLOAD_SITE.read(doc);
    }
    checkProgramVersion();

    const std::int32_t range = LATERAL_RANGE.clamp(LATERAL_RANGE.value());
    LATERAL_RANGE.setValue(range);
    lateralRangeNm.store(static_cast<double>(range));
    lateralRangeMetres.store(range * 1852);
}

} // namespace qtr
