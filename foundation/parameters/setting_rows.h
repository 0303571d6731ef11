// One row per setting of the program: its key (the variable's name), default, range, the load
// lists of "parameters.xml" it is stored in, and for a setting with a control of the main window
// that control: command id, row (y), column (x), width, place in the order of creation, and its
// label (text, x, colouring). Declarations, definitions, load lists, controls, labels and the
// reset to defaults all come from these rows (parameter_table.h, parameter_table.cpp).
//
// Included with the row macros defined (and undefined again after). Within each load list the
// rows' order is the order of a new file. A tab of 0 is no control of its own.
//
// QM_BOOL(name, default, lists)
// QM_BOX(name, default, lists, id, y, x, tab, label, labelX, labelStyle)
// QM_INT(name, default, minimum, maximum, lists)
// QM_EDIT(name, default, minimum, maximum, lists, id, y, x, width, tab, label, labelX, labelStyle)
// QM_FLOAT(name, default, minimum, maximum, id, y, x, width, tab, label, labelX, labelStyle)
// QM_TEXT(name, lists, id, y, x, width, tab, label, labelX, labelStyle)
// QM_BUTTON(name, caption, id, y, x, width, tab)
// QM_STRING(name, default, lists)

QM_BOOL(RANDOM, true, boolsList)
QM_BOX(TELLMOOR, false, boxesList, 32775, 203, 652, 17, "Tellmoor", 672, yellowWhenOn)
QM_BOX(MSFS_2020, true, boxesList, 32790, 119, 5, 1, nullptr, 0, plain)
QM_BOX(CALLSIGN_OBJECTIDS, false, boxesList, 32822, 231, 748, 22, nullptr, 0, plain)
QM_BOX(COLLISION_USER_AIR, true, boxesList, 32833, 287, 323, 24, "User air", 343, plain)
QM_BOX(COLLISION_USER_GND, true, boxesList, 32834, 287, 217, 23, "User ground", 237, plain)
QM_BOX(COLLISION_LIVE_PARKED_GND, false, boolsList | boxesList, 32835, 287, 430, 25, "Live X parked", 450, plain)
QM_BOX(SUPPRESS_STUB, true, boxesList, 32801, 147, 536, 7, "Stub", 556, plain)
QM_BOX(LOG, true, boxesList, 32779, 147, 652, 8, "Log", 672, plain)
QM_BOX(ALWAYS_ON_TOP, false, boxesList, 32771, 147, 748, 9, "Stay on top", 768, yellowWhenOn)
QM_BOX(SCAN_LIVERIES, true, boxesList, 32797, 147, 5, 3, "Scan for liveries", 25, yellowWhenOn)
QM_BOX(LIG_AUTOMATIC, true, boxesList, 32798, 147, 217, 4, "Automatic, selector:", 237, plain)
QM_BOX(LIG_PRIORITIZE, false, boxesList, 32799, 147, 430, 6, "Prioritize", 450, plain)
QM_BOX(SCAN_AIRPORTS, true, boxesList, 32802, 175, 5, 10, "Scan for addon airports", 25, yellowWhenOn)
QM_BOX(LIGHT_AIRCRAFT, true, boxesList, 32809, 203, 323, 14, "Light aircraft", 343, greyWhenDisabled)
QM_BOX(HELICOPTERS, true, boxesList, 32810, 203, 430, 15, "Helicopters", 450, greyWhenDisabled)
QM_BOX(HIGH_PERF_AIRCRAFT, true, boxesList, 32811, 203, 536, 16, "FighterJets", 556, greyWhenDisabled)
QM_BOX(NAV_LIGHTS_WHILE_PARKED, true, boxesList, 32778, 175, 652, 11, "Nav lights", 672, plain)
QM_BOX(AUTO_RANGE, true, boxesList, 32819, 231, 323, 20, "auto range", 343, plain)
QM_BOX(LEARN_SOFT, true, boxesList, 32777, 175, 748, 12, "Learn Soft", 768, plain)
QM_BOX(STRAIGHT_PBS_ONLY, false, boxesList, 32856, 315, 652, 34, "Straight push backs only", 672, greyWhenOff)
QM_BOX(PARK_SOFT, true, boxesList, 32851, 371, 151, 37, "Soft", 171, plain)
QM_BOX(PARK_FAKE, false, boxesList, 32852, 371, 5, 35, "Fake", 25, plain)
QM_BOX(WEEK, false, boxesList, 32854, 371, 71, 36, "Week", 91, plain)
QM_BOX(INITIAL_LOAD_ONLY, false, boxesList, 32850, 371, 430, 39, "ILO", 450, yellowWhenOn)
QM_BOX(GUID_CHANGES, true, boxesList, 32773, 203, 748, 18, "GUID changes", 768, yellowWhenOff)

QM_INT(CUSTOM_PARKING_PERCENTAGE, -1, -1, 100, intsList)
QM_EDIT(MATCHING_DEPTH, 4, 1, 4, editsList, 32808, 203, 217, 24, 13, "Max aircraft matching depth", 5, plain)
QM_EDIT(LATERAL_RANGE, 40, 2, 100, editsList, 32818, 231, 217, 34, 19, "radius:", 167, plain)
// Edited in hours through MAX_FIT_FL: no control of its own.
QM_EDIT(MAX_FIT, 47, 0, 47, editsList, 32853, 371, 0, 0, 0, nullptr, 0, plain)
QM_EDIT(AUTO_RANGE_ABOVE_HEIGHT, 49000, 18000, 49000, editsList, 32820, 231, 455, 50, 21, nullptr, 0, plain)
QM_EDIT(MAX_LIVE, -1, -1, 300, editsList, 32821, 315, 601, 34, 30, "max live:", 536, yellowWhenChanged)
QM_EDIT(AIRPORT_RANGE, 20, 8, 30, editsList, 32841, 343, 353, 34, 32, "range:", 303, plain)
QM_EDIT(AIRPORT_HEIGHT, 18000, 2000, 45000, editsList, 32842, 343, 566, 50, 33, "height above gnd:", 440, plain)
QM_EDIT(CUSTOM_MAX_PARK, -1, -1, 500, intsList | editsList, 32865, 315, 353, 34, 29, "generic max park:", 217,
        yellowWhenChanged)
QM_EDIT(AI_PACKAGE_ORDER, 1, 1, 6, editsList, 32800, 147, 368, 24, 5, nullptr, 0, plain)
// Belongs to the park airport's file, never to "parameters.xml".
QM_EDIT(parking_percentage, 30, 0, 100, notStored, 32848, 371, 323, 34, 38, "wanted: ", 264, plain)
// The hours view of MAX_FIT (MAX_FIT * 0.5 + 0.5).
QM_FLOAT(MAX_FIT_FL, 24.0f, 0.5f, 24.0f, 32855, 371, 566, 34, 40, "Max fit:", 506, plain)

// The main window's last position (screen pixels), restored at the next start.
QM_INT(MAIN_WINDOW_X, 400, -30000, 30000, intsList)
QM_INT(MAIN_WINDOW_Y, 20, -30000, 30000, intsList)
QM_INT(LAST_EPOCH_TIME, 0, 0, 2147483647, intsList)
QM_INT(HOLDING_THRESHOLD_METERS, 250, 10, 4000, intsList)
QM_INT(MAX_HOLDING_MINUTES, 20, 1, 60, intsList)

// The selected simulator's install path, shown and typed; never stored itself.
QM_TEXT(ALL_INSTALL_PATH, notStored, 32788, 119, 111, 1200, 2, "Install path:", 25, plain)
QM_TEXT(BLOCK_CALLSIGN, textsList, 32828, 259, 217, 100, 26, "block:", 172, plain)
QM_TEXT(CALLSIGN_2_OBJECTID, notStored, 32774, 259, 460, 95, 28, "oid:", 430, plain)

QM_BUTTON(unblockButton, "Unblock", 32829, 257, 323, 70, 27)
QM_BUTTON(rereadButton, "Re-read", 32838, 341, 758, 90, 41)
QM_BUTTON(flushStaticButton, "Flush static", 32858, 369, 758, 90, 42)

QM_STRING(PROGRAM_VERSION, "", stringsList)
QM_STRING(MSFS_INSTALL_PATH, "", stringsList)
QM_STRING(PORT_NUMBER, "10747", stringsList)
QM_STRING(lfolder0, "", stringsList)
QM_STRING(lfolder1, "", stringsList)
QM_STRING(lfolder2, "", stringsList)
QM_STRING(lfolder3, "", stringsList)
QM_STRING(lfolder4, "", stringsList)
QM_STRING(lfolder5, "", stringsList)
QM_STRING(lfolder6, "", stringsList)
QM_STRING(lfolder7, "", stringsList)
QM_STRING(lfolder8, "", stringsList)
QM_STRING(lfolder9, "", stringsList)
QM_STRING(PROGRAM_INSTALL_PATH, "", stringsList)
QM_STRING(MYVENDRAKE24_VERSION, "", stringsList)
QM_STRING(MSFS_2024_INSTALL_PATH, "", stringsList)
// Stored with the plain strings, so the load does not write it into its edit.
QM_TEXT(DESTINATION, stringsList, 32840, 343, 217, 50, 31, "destination:", 139, plain)
// The download site's root address (ends with '/'), see tools/httpd/SITE_LAYOUT.md. Read from
// "parameters.xml" when the user put it there; never written into a new file.
QM_STRING(DOWNLOAD_SITE, "https://downloads.quillmarsh.example/", notStored)
