#include "app/controls.h"

#include "app/main_window.h"
#include "app/parameter_display.h"
#include "app/window.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "foundation/version.h"
#include "foundation/win_text.h"
#include "traffic/callsigns.h"
#include "traffic/data_cycle.h"
#include "traffic/range.h"
#include "foundation/run_control.h"

#include <fmt/format.h>

#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace qtr {

namespace {

// The text of an edit could not be read as UTF-8; already logged, the Enter does nothing.
class UnreadableEditText : public std::runtime_error {
public:
    UnreadableEditText() : std::runtime_error("unreadable edit text") {}
};

// Runs what Enter does in an edit; nothing may escape a window procedure.
template <class Apply>
void guardedApply(const char* name, Apply&& apply)
{
    try {
        apply();
    } catch (const UnreadableEditText&) {
    } catch (const std::exception& e) {
        logMarked(fmt::format("{} exception {}", name, e.what()));
    }
}

bool isEnter(UINT message, WPARAM wParam) { return message == WM_CHAR && wParam == 13; }

LRESULT passOn(const ParameterControl& control, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcW(previousEditProc(control), window, message, wParam, lParam);
}

bool standsLoaded() { return indicators.parkAirportLoaded.load(); }

// What an applied integer changes beyond its value.
void afterIntApplied(IntEditParameter& parameter, std::int32_t before)
{
    if (&parameter == &CUSTOM_MAX_PARK || &parameter == &parking_percentage) {
        settingsChangeNotice();
    } else if (&parameter == &LATERAL_RANGE) {
        setRangeNm(LATERAL_RANGE.value());
        reevaluationRequest = true;
    } else if (&parameter == &MAX_LIVE) {
        if (!standsLoaded()) userMaxLive = MAX_LIVE.value();
        else reevaluationRequest = true;
        enforceMaxLiveRequest = true;
    } else if (&parameter == &MATCHING_DEPTH) {
        if (MATCHING_DEPTH.value() > before) clearNoMatchRequest = true;
    }
}

void applyCallsignLookup(const std::string& typed)
{
    if (typed.empty()) {
        if (!CALLSIGN_2_OBJECTID.value().empty()) {
            CALLSIGN_2_OBJECTID.setValue("");
            showTextParameter(CALLSIGN_2_OBJECTID);
        }
        return;
    }
    CALLSIGN_2_OBJECTID.setValue(gf_toUpperAscii(typed));
    showTextParameter(CALLSIGN_2_OBJECTID);
    callsignResolveRequest = true;
}

void restartForNewSimPath()
{
    setStatus(fmt::format("Community path found, {} will restart ...", programName), true);
    requestStop(ExitCode::NewSettings, 3);
}

// The typed folder without separators at its end ("D:\MSFS\Community\" names "Community").
std::filesystem::path typedFolder(const std::string& text)
{
    std::wstring wide = pathFromUtf8(text).native();
    while (wide.size() > 3 && (wide.back() == L'\\' || wide.back() == L'/')) wide.pop_back();
    return std::filesystem::path(wide);
}

LRESULT CALLBACK installPathEditProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return textEditProc(ALL_INSTALL_PATH, w, m, wp, lp); }
LRESULT CALLBACK aiPackageOrderEditProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return intEditProc(AI_PACKAGE_ORDER, w, m, wp, lp); }
LRESULT CALLBACK matchingDepthEditProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return intEditProc(MATCHING_DEPTH, w, m, wp, lp); }
LRESULT CALLBACK lateralRangeEditProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return intEditProc(LATERAL_RANGE, w, m, wp, lp); }
LRESULT CALLBACK autoRangeAboveHeightEditProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return intEditProc(AUTO_RANGE_ABOVE_HEIGHT, w, m, wp, lp); }
LRESULT CALLBACK blockCallsignEditProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return textEditProc(BLOCK_CALLSIGN, w, m, wp, lp); }
LRESULT CALLBACK callsign2ObjectIdEditProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return textEditProc(CALLSIGN_2_OBJECTID, w, m, wp, lp); }
LRESULT CALLBACK customMaxParkEditProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return intEditProc(CUSTOM_MAX_PARK, w, m, wp, lp); }
LRESULT CALLBACK maxLiveEditProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return intEditProc(MAX_LIVE, w, m, wp, lp); }
LRESULT CALLBACK destinationEditProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return textEditProc(DESTINATION, w, m, wp, lp); }
LRESULT CALLBACK airportRangeEditProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return intEditProc(AIRPORT_RANGE, w, m, wp, lp); }
LRESULT CALLBACK airportHeightEditProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return intEditProc(AIRPORT_HEIGHT, w, m, wp, lp); }
LRESULT CALLBACK parkingPercentageEditProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return intEditProc(parking_percentage, w, m, wp, lp); }

// One control of the parameter band: its kind, left edge, width and edit procedure.
struct ControlPlace {
    enum Kind { checkBox, edit, button } kind;
    ParameterControl* control;
    int x;
    int width;
    WNDPROC proc;
};

// In the order of creation (which is also the order of the tab and of the z order).
const std::vector<ControlPlace>& controlPlaces()
{
    using K = ControlPlace;
    static const std::vector<ControlPlace> places{
        {K::checkBox, &MSFS_2020, 5, 0, nullptr},
        {K::edit, &ALL_INSTALL_PATH, 111, 1200, installPathEditProc},
        {K::checkBox, &SCAN_LIVERIES, 5, 0, nullptr},
        {K::checkBox, &LIG_AUTOMATIC, 217, 0, nullptr},
        {K::edit, &AI_PACKAGE_ORDER, 368, 24, aiPackageOrderEditProc},
        {K::checkBox, &LIG_PRIORITIZE, 430, 0, nullptr},
        {K::checkBox, &SUPPRESS_STUB, 536, 0, nullptr},
        {K::checkBox, &LOG, 652, 0, nullptr},
        {K::checkBox, &ALWAYS_ON_TOP, 748, 0, nullptr},
        {K::checkBox, &SCAN_AIRPORTS, 5, 0, nullptr},
        {K::checkBox, &NAV_LIGHTS_WHILE_PARKED, 652, 0, nullptr},
        {K::checkBox, &LEARN_SOFT, 748, 0, nullptr},
        {K::edit, &MATCHING_DEPTH, 217, 24, matchingDepthEditProc},
        {K::checkBox, &LIGHT_AIRCRAFT, 323, 0, nullptr},
        {K::checkBox, &HELICOPTERS, 430, 0, nullptr},
        {K::checkBox, &HIGH_PERF_AIRCRAFT, 536, 0, nullptr},
        {K::checkBox, &TELLMOOR, 652, 0, nullptr},
        {K::checkBox, &GUID_CHANGES, 748, 0, nullptr},
        {K::edit, &LATERAL_RANGE, 217, 34, lateralRangeEditProc},
        {K::checkBox, &AUTO_RANGE, 323, 0, nullptr},
        {K::edit, &AUTO_RANGE_ABOVE_HEIGHT, 455, 50, autoRangeAboveHeightEditProc},
        {K::checkBox, &CALLSIGN_OBJECTIDS, 748, 0, nullptr},
        {K::checkBox, &COLLISION_USER_GND, 217, 0, nullptr},
        {K::checkBox, &COLLISION_USER_AIR, 323, 0, nullptr},
        {K::checkBox, &COLLISION_LIVE_PARKED_GND, 430, 0, nullptr},
        {K::edit, &BLOCK_CALLSIGN, 217, 100, blockCallsignEditProc},
        {K::button, &unblockButton, 323, 70, nullptr},
        {K::edit, &CALLSIGN_2_OBJECTID, 460, 95, callsign2ObjectIdEditProc},
        {K::edit, &CUSTOM_MAX_PARK, 353, 34, customMaxParkEditProc},
        {K::edit, &MAX_LIVE, 601, 34, maxLiveEditProc},
        {K::edit, &DESTINATION, 217, 50, destinationEditProc},
        {K::edit, &AIRPORT_RANGE, 353, 34, airportRangeEditProc},
        {K::edit, &AIRPORT_HEIGHT, 566, 50, airportHeightEditProc},
        {K::checkBox, &STRAIGHT_PBS_ONLY, 652, 0, nullptr},
        {K::checkBox, &PARK_FAKE, 5, 0, nullptr},
        {K::checkBox, &WEEK, 71, 0, nullptr},
        {K::checkBox, &PARK_SOFT, 151, 0, nullptr},
        {K::edit, &parking_percentage, 323, 34, parkingPercentageEditProc},
        {K::checkBox, &INITIAL_LOAD_ONLY, 430, 0, nullptr},
        {K::edit, &MAX_FIT_FL, 566, 34, floatEditProc},
        {K::button, &rereadButton, 758, 90, nullptr},
        {K::button, &flushStaticButton, 758, 90, nullptr},
    };
    return places;
}

} // namespace

void createControls(HWND window, const CREATESTRUCTW* create)
{
    for (const ControlPlace& place : controlPlaces()) {
        switch (place.kind) {
        case ControlPlace::checkBox:
            createParameterCheckBox(dynamic_cast<CheckBoxParameter&>(*place.control), window, create, place.x);
            break;
        case ControlPlace::edit:
            createParameterEdit(*place.control, window, create, place.x, place.width, 0, place.proc);
            break;
        case ControlPlace::button:
            createParameterButton(dynamic_cast<ButtonParameter&>(*place.control), window, create, place.x, place.width);
            break;
        }
        HWND control = controlWindow(*place.control);
        if (control == nullptr) continue;
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(mainWindow.textFont), FALSE);
        // Narrow margins: "49000" fits the 50 pixels of its edit.
        if (place.kind == ControlPlace::edit) SendMessageW(control, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(2, 2));
    }
    InvalidateRect(window, &parametersBand, TRUE);
}

std::string lf_getTextFromId(std::uint16_t controlId)
{
    wchar_t buffer[1024] = {};
    const int length = GetDlgItemTextW(currentWindow, controlId, buffer, 1024);
    try {
        return utf16ToUtf8(std::wstring_view(buffer, static_cast<std::size_t>(std::max(length, 0))));
    } catch (const std::exception& e) {
        logMarked(fmt::format("{} {}", "lf_getTextFromId", e.what()));
        throw UnreadableEditText();
    }
}

bool lf_processTbInt(IntEditParameter& parameter)
{
    const std::string text = lf_getTextFromId(parameter.id);
    // parking_percentage belongs to the park airport's file, never to "parameters.xml".
    const bool stored = &parameter != &parking_percentage;
    std::int32_t value = 0;
    if (text.empty()) {
        value = stored ? parameter.clamp(parameter.defaultValue()) : 0;
    } else {
        int number = 0;
        try {
            number = std::stoi(text);
        } catch (const std::invalid_argument&) {
            setStatus(fmt::format("invalid input: {}", text), true);
            return false;
        } catch (const std::exception& e) {
            logMarked(fmt::format("{}: {}, h={} ", "lf_processTbInt", e.what(), text));
            return false;
        }
        if (number == parameter.value()) {
            setStatus(fmt::format("Same {} value {}, no changes made", parameter.name, number), true);
            showIntParameter(parameter);
            return false;
        }
        value = parameter.clamp(number);
    }
    parameter.setValue(value);
    if (stored) parameter.save();
    setStatus(fmt::format("The new {} is {}", parameter.name, value), false);
    showIntParameter(parameter);
    return true;
}

bool lf_processTbFloat(FloatEditParameter& parameter)
{
    const std::string text = lf_getTextFromId(parameter.id);
    if (text.empty()) {
        parameter.setValue(parameter.clamp(parameter.defaultValue()));
        MAX_FIT.setValue(MAX_FIT.clamp(MAX_FIT.defaultValue()));
        MAX_FIT.save();
    } else {
        float number = 0;
        try {
            number = std::stof(text);
            // "nan" and "inf" are numbers to the library but no number of hours.
            if (!std::isfinite(number)) throw std::invalid_argument("not a finite number");
        } catch (const std::exception& e) {
            logLine(fmt::format("{}: {}, h={} ", "lf_processTbFloat", e.what(), text));
            return false;
        }
        if (number == parameter.value()) {
            setStatus(fmt::format("Same {} value {}, no changes made", parameter.name, gf_floatToText(number)), true);
            showFloatParameter(parameter);
            return false;
        }
        // The hours are stored as the half-hour slot count MAX_FIT; the shown value follows it.
        const float hours = parameter.clamp(number);
        MAX_FIT.setValue(MAX_FIT.clamp(std::lround(2.0f * hours) - 1));
        MAX_FIT.save();
        parameter.setValue(parameter.clamp(static_cast<float>(MAX_FIT.value()) * 0.5f + 0.5f));
    }
    setStatus(fmt::format("The new {} is {:.1F}", parameter.name, parameter.value()), false);
    showFloatParameter(parameter);
    return true;
}

LRESULT intEditProc(IntEditParameter& parameter, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!isEnter(message, wParam)) return passOn(parameter, window, message, wParam, lParam);
    guardedApply("intEditProc", [&parameter] {
        clearStatus();
        const std::int32_t before = parameter.value();
        if (lf_processTbInt(parameter)) afterIntApplied(parameter, before);
    });
    return 0;
}

LRESULT CALLBACK floatEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!isEnter(message, wParam)) return passOn(MAX_FIT_FL, window, message, wParam, lParam);
    guardedApply("floatEditProc", [] {
        clearStatus();
        if (standsLoaded() && lf_processTbFloat(MAX_FIT_FL)) settingsChangeNotice();
    });
    return 0;
}

LRESULT textEditProc(TextBoxParameter& parameter, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!isEnter(message, wParam)) return passOn(parameter, window, message, wParam, lParam);
    guardedApply("textEditProc", [&parameter] {
        clearStatus();
        const std::string text = lf_getTextFromId(parameter.id);
        if (&parameter == &BLOCK_CALLSIGN) blockCallsign(text);
        else if (&parameter == &DESTINATION) setDestination(text);
        else if (&parameter == &CALLSIGN_2_OBJECTID) applyCallsignLookup(text);
        else if (&parameter == &ALL_INSTALL_PATH)
            lf_newSimPath(MSFS_2020.value() ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH, text);
    });
    return 0;
}

void lf_newSimPath(StringParameter& pathParameter, const std::string& text)
{
    clearError();
    clearStatus();
    if (text.empty()) {
        if (!pathParameter.value().empty()) pathParameter.set("");
        return;
    }
    try {
        const std::filesystem::path folder = typedFolder(text);
        if (!std::filesystem::exists(folder)) {
            setStatus(fmt::format("This install path does not exist: {}", text), true);
            return;
        }
        // The Community folder itself was typed: its parent is the packages folder. Only the
        // last component counts, so "D:\Community Games\MSFS\Community" keeps its first part.
        if (folder.filename() == L"Community" && folder.has_parent_path() &&
            std::filesystem::is_directory(folder.parent_path() / L"Community")) {
            pathParameter.set(pathToUtf8(folder.parent_path()));
            restartForNewSimPath();
            return;
        }
        if (std::filesystem::is_directory(folder / L"Community")) {
            pathParameter.set(pathToUtf8(folder));
            restartForNewSimPath();
            return;
        }
        setStatus("This path exists but is not a path to Community ...", true);
    } catch (const std::exception& e) {
        setStatus(fmt::format("This install path cannot be read: {} ({})", text, e.what()), true);
    }
}

void settingsChangeNotice()
{
    if (!standsLoaded()) return;
    reevaluationRequest = true;
    if (INITIAL_LOAD_ONLY.value()) {
        clearStatus();
        return;
    }
    // The fifteen-cycle step of the data cycle acts on the request.
    const std::uint32_t seconds = 15 - indicators.cycleCount.load() % 15;
    setStatus(fmt::format("{} will respond in {} second{} ...", programName, seconds, seconds == 1 ? "" : "s"), false);
    renewalRequested = true;
}

} // namespace qtr
