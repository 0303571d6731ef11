#pragma once
// Every setting of the program, one global object per key of "parameters.xml" (the window
// position, MAIN_WINDOW_X and MAIN_WINDOW_Y, belongs to mainWindow). Built before the entry
// with its default; loadParameters reads them at each start of the worker.
#include "foundation/parameters/parameter.h"
#include "foundation/parameters/parameter_control.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace qtr {

// Check boxes.
extern CheckBoxParameter TELLMOOR;
extern CheckBoxParameter MSFS_2020;
extern CheckBoxParameter CALLSIGN_OBJECTIDS;
extern CheckBoxParameter COLLISION_USER_AIR;
extern CheckBoxParameter COLLISION_USER_GND;
extern CheckBoxParameter COLLISION_LIVE_PARKED_GND;
extern CheckBoxParameter SUPPRESS_STUB;
extern CheckBoxParameter LOG;
extern CheckBoxParameter ALWAYS_ON_TOP;
extern CheckBoxParameter SCAN_LIVERIES;
extern CheckBoxParameter LIG_AUTOMATIC;
extern CheckBoxParameter LIG_PRIORITIZE;
extern CheckBoxParameter SCAN_AIRPORTS;
extern CheckBoxParameter LIGHT_AIRCRAFT;
extern CheckBoxParameter HELICOPTERS;
extern CheckBoxParameter HIGH_PERF_AIRCRAFT;
extern CheckBoxParameter NAV_LIGHTS_WHILE_PARKED;
extern CheckBoxParameter AUTO_RANGE;
extern CheckBoxParameter LEARN_SOFT;
extern CheckBoxParameter STRAIGHT_PBS_ONLY;
extern CheckBoxParameter PARK_SOFT;
extern CheckBoxParameter PARK_FAKE;
extern CheckBoxParameter WEEK;
extern CheckBoxParameter INITIAL_LOAD_ONLY;
extern CheckBoxParameter GUID_CHANGES;

// Integer edits. MAX_FIT has no control of its own: it is edited in hours through MAX_FIT_FL.
// parking_percentage is never stored.
extern IntEditParameter MATCHING_DEPTH;
extern IntEditParameter LATERAL_RANGE;
extern IntEditParameter MAX_FIT;
extern IntEditParameter AUTO_RANGE_ABOVE_HEIGHT;
extern IntEditParameter MAX_LIVE;
extern IntEditParameter AIRPORT_RANGE;
extern IntEditParameter AIRPORT_HEIGHT;
extern IntEditParameter CUSTOM_MAX_PARK;
extern IntEditParameter AI_PACKAGE_ORDER;
extern IntEditParameter parking_percentage;

// The hours view of MAX_FIT (MAX_FIT * 0.5 + 0.5); never stored.
extern FloatEditParameter MAX_FIT_FL;

// Text boxes. ALL_INSTALL_PATH and CALLSIGN_2_OBJECTID are never stored; DESTINATION is
// stored with the plain strings.
extern TextBoxParameter ALL_INSTALL_PATH;
extern TextBoxParameter BLOCK_CALLSIGN;
extern TextBoxParameter CALLSIGN_2_OBJECTID;
extern TextBoxParameter DESTINATION;

// Push buttons (the name is the caption; never stored).
extern ButtonParameter unblockButton;
extern ButtonParameter rereadButton;
extern ButtonParameter flushStaticButton;

// Integers without a control.
extern IntParameter CUSTOM_PARKING_PERCENTAGE;
extern IntParameter MAIN_WINDOW_X;
extern IntParameter MAIN_WINDOW_Y;
extern IntParameter LAST_EPOCH_TIME;
extern IntParameter HOLDING_THRESHOLD_METERS;
extern IntParameter MAX_HOLDING_MINUTES;

// The only bool without a control.
extern BoolParameter RANDOM;

// Strings.
extern StringParameter PROGRAM_VERSION;
extern StringParameter MSFS_INSTALL_PATH;
extern StringParameter PORT_NUMBER;
extern StringParameter lfolder0;
extern StringParameter lfolder1;
extern StringParameter lfolder2;
extern StringParameter lfolder3;
extern StringParameter lfolder4;
extern StringParameter lfolder5;
extern StringParameter lfolder6;
extern StringParameter lfolder7;
extern StringParameter lfolder8;
extern StringParameter lfolder9;
extern StringParameter PROGRAM_INSTALL_PATH;
extern StringParameter MYVENDRAKE24_VERSION;
extern StringParameter MSFS_2024_INSTALL_PATH;
// The download site's root address (ends with '/'), see tools/httpd/SITE_LAYOUT.md. Read from
// "parameters.xml" when the user put it there; never written into a new file.
extern StringParameter DOWNLOAD_SITE;

// The keys of the settings that airport park-position files store per airport.
extern const std::string lateralRangeKey;
extern const std::string autoRangeKey;
extern const std::string initialLoadOnlyKey;
extern const std::string parkSoftKey;
extern const std::string parkFakeKey;
extern const std::string parkingPercentageKey;
extern const std::string maxFitKey;
extern const std::string weekKey;
extern const std::string learnSoftKey;
extern const std::string maxLiveKey;

// The injection radius, kept in step with LATERAL_RANGE: nm, and whole metres (nm * 1852).
extern std::atomic<double> lateralRangeNm;
extern std::atomic<std::int32_t> lateralRangeMetres;

// Reads every parameter from "parameters.xml" (at each start of the worker), completes and
// saves the file, checks for a version change and settles the injection radius.
void loadParameters();

} // namespace qtr
