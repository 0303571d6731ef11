#pragma once
// Every setting of the program, one global object per key of "parameters.xml", declared from its
// row in setting_rows.h. Built before the entry with its default; loadParameters reads them at
// each start of the worker.
#include "foundation/parameters/parameter.h"
#include "foundation/parameters/parameter_control.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace qtr {

#define QM_BOOL(name, ...) extern BoolParameter name;
#define QM_BOX(name, ...) extern CheckBoxParameter name;
#define QM_INT(name, ...) extern IntParameter name;
#define QM_EDIT(name, ...) extern IntEditParameter name;
#define QM_FLOAT(name, ...) extern FloatEditParameter name;
#define QM_TEXT(name, ...) extern TextBoxParameter name;
#define QM_BUTTON(name, ...) extern ButtonParameter name;
#define QM_STRING(name, ...) extern StringParameter name;
#include "foundation/parameters/setting_rows.h"
#include "foundation/parameters/setting_rows_end.h"

// Every setting, in the rows' order.
const std::vector<Parameter*>& allParameters();
// Every control of the main window's parameter band, in the order of creation.
const std::vector<ParameterControl*>& allControls();
// The control with that command id, or null.
ParameterControl* controlWithId(std::uint16_t id);
// Every value back to its row's default (tests start from a known state; the file is untouched).
void resetParametersToDefaults();

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
