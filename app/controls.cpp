#include "app/controls.h"

#include "app/main_window.h"
#include "app/parameter_display.h"
#include "app/window.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "foundation/version.h"
#include "foundation/win_text.h"
#include "traffic/run/callsigns.h"
#include "traffic/run/data_cycle.h"
#include "traffic/parking/park_airports.h"
#include "traffic/run/range.h"
#include "traffic/parking/stand_learning.h"
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
        if (!standsLoaded())
            userMaxLive = MAX_LIVE.value();
        else
            reevaluationRequest = true;
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

// The one window procedure of every edit: the edit's setting, found by its control id, decides
// which of the shared procedures applies what was typed.
LRESULT CALLBACK parameterEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ParameterControl* control = controlWithId(static_cast<std::uint16_t>(GetDlgCtrlID(window)));
    if (auto* edit = dynamic_cast<IntEditParameter*>(control))
        return intEditProc(*edit, window, message, wParam, lParam);
    if (auto* text = dynamic_cast<TextBoxParameter*>(control))
        return textEditProc(*text, window, message, wParam, lParam);
    if (dynamic_cast<FloatEditParameter*>(control) != nullptr) return floatEditProc(window, message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

void createControls(HWND window, const CREATESTRUCTW* create)
{
    for (ParameterControl* control : allControls()) {
        const ControlPlace& place = control->place();
        if (auto* box = dynamic_cast<CheckBoxParameter*>(control)) {
            createParameterCheckBox(*box, window, create, place.x);
        } else if (auto* button = dynamic_cast<ButtonParameter*>(control)) {
            createParameterButton(*button, window, create, place.x, place.width);
        } else {
            createParameterEdit(*control, window, create, place.x, place.width, 0, parameterEditProc);
        }
        HWND child = controlWindow(*control);
        if (child == nullptr) continue;
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(mainWindow.textFont), FALSE);
        // Narrow margins: "49000" fits the 50 pixels of its edit.
        if (previousEditProc(*control) != nullptr)
            SendMessageW(child, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(2, 2));
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
    // Told before the save, so that a save that fails can say so instead.
    setStatus(fmt::format("The new {} is {}", parameter.name, value), false);
    if (stored) parameter.save();
    showIntParameter(parameter);
    return true;
}

bool lf_processTbFloat(FloatEditParameter& parameter)
{
    const std::string text = lf_getTextFromId(parameter.id);
    if (text.empty()) {
        parameter.setValue(parameter.clamp(parameter.defaultValue()));
        MAX_FIT.setValue(MAX_FIT.clamp(MAX_FIT.defaultValue()));
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
        parameter.setValue(parameter.clamp(static_cast<float>(MAX_FIT.value()) * 0.5f + 0.5f));
    }
    // Told before the save, so that a save that fails can say so instead.
    setStatus(fmt::format("The new {} is {:.1F}", parameter.name, parameter.value()), false);
    MAX_FIT.save();
    showFloatParameter(parameter);
    return true;
}

LRESULT intEditProc(IntEditParameter& parameter, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!isEnter(message, wParam)) return passOn(parameter, window, message, wParam, lParam);
    guardedApply("intEditProc", [&parameter] {
        clearStatus();
        const std::int32_t before = parameter.value();
        if (!lf_processTbInt(parameter)) return;
        noteParkingSettingChange(parameter);
        afterIntApplied(parameter, before);
    });
    return 0;
}

LRESULT CALLBACK floatEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!isEnter(message, wParam)) return passOn(MAX_FIT_FL, window, message, wParam, lParam);
    guardedApply("floatEditProc", [] {
        clearStatus();
        if (!standsLoaded() || !lf_processTbFloat(MAX_FIT_FL)) return;
        noteParkingSettingChange(MAX_FIT_FL);
        settingsChangeNotice();
    });
    return 0;
}

LRESULT textEditProc(TextBoxParameter& parameter, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!isEnter(message, wParam)) return passOn(parameter, window, message, wParam, lParam);
    guardedApply("textEditProc", [&parameter] {
        clearStatus();
        const std::string text = lf_getTextFromId(parameter.id);
        if (&parameter == &BLOCK_CALLSIGN)
            blockCallsign(text);
        else if (&parameter == &DESTINATION)
            setDestination(text);
        else if (&parameter == &CALLSIGN_2_OBJECTID)
            applyCallsignLookup(text);
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
