#include "app/commands.h"

#include "airports/airport_scan.h"
#include "airports/scanned_airports.h"
#include "app/controls.h"
#include "app/main_window.h"
#include "app/parameter_display.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/version.h"
#include "links/traffic_standins.h"
#include "liveries/livery_data_base.h"
#include "traffic/run/callsigns.h"
#include "traffic/run/data_cycle.h"
#include "traffic/run/range.h"
#include "traffic/parking/stand_learning.h"
#include "foundation/run_control.h"

#include <fmt/format.h>

#include <filesystem>
#include <functional>
#include <vector>

namespace qtr {

namespace {

// The run is still starting: RealTraffic has not connected in it, and the run has not gone past
// its wait for it (with RealTraffic on another PC that wait is passed at once).
bool runStarting() { return feedPending.load() && !indicators.feedConnected.load(); }

// A status text while the box is on (or off, see notice), the status line cleared otherwise.
void noticeWhen(bool condition, const std::string& text)
{
    if (condition)
        setStatus(text, false);
    else
        clearStatus();
}

void onAutoRange(bool on)
{
    reevaluationRequest = true;
    gf_enableControl(LATERAL_RANGE, !on);
    gf_enableControl(AUTO_RANGE_ABOVE_HEIGHT, on);
    if (on) {
        // The worker takes the automatic range when it serves the request.
        manualRadius = LATERAL_RANGE.value();
        return;
    }
    setRangeNm(LATERAL_RANGE.clamp(manualRadius.load()));
    showIntParameter(LATERAL_RANGE);
    clearStatus();
}

void onScanLiveries(bool on)
{
    if (!on) {
        clearStatus();
    } else if (runStarting()) {
        clearLiveriesRequest = true;
        setStatus("Your liveries will be scanned", true);
        requestStop(ExitCode::NewSettings, 2);
    } else {
        setStatus(fmt::format("Your liveries will be scanned at the next start of {}, recommended after you have "
                              "add/removed AI aircraft models/liveries",
                              programName),
                  false);
    }
}

void onScanAirports(bool on)
{
    if (!on) {
        clearStatus();
    } else if (runStarting()) {
        setStatus("Your airports will be scanned", true);
        requestStop(ExitCode::NewSettings, 2);
    } else {
        setStatus(fmt::format("Your airports will be scanned at the next start of {}, recommended after you have "
                              "add/removed airports",
                              programName),
                  false);
    }
}

void switchOn(CheckBoxParameter& box)
{
    box.setValue(true);
    box.save();
    showCheckBoxParameter(box);
}

void switchSimulator(bool msfs2020)
{
    std::error_code ec;
    if (std::filesystem::exists(liveriesScannedPath, ec)) std::filesystem::remove(liveriesScannedPath);
    clearLiveriesRequest = true;
    resetAirportScanRequest = true;
    airportScanSucceeded = false;
    switchOn(SCAN_AIRPORTS);
    switchOn(SCAN_LIVERIES);
    setStatus(fmt::format("Switching Simulator to {}", msfs2020 ? "MSFS 2020" : "MSFS 2024"), true);
    ALL_INSTALL_PATH.setValue("");
    clearEditText(ALL_INSTALL_PATH.id);
    // The add-on package of the 2024 simulator is fetched again.
    if (!msfs2020) MYVENDRAKE24_VERSION.set("");
    requestStop(ExitCode::NewSettings, 3);
}

void onAlwaysOnTop(HWND window, bool on)
{
    noticeWhen(on, fmt::format("{}'s window will remain visible", programName));
    SetWindowPos(window, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

// A check box and what follows its toggle (the new value is the argument). A box without an
// entry only stores its new state: a new setting needs none.
struct BoxCommand {
    CheckBoxParameter* box;
    std::function<void(HWND, bool)> action;
};

const std::vector<BoxCommand>& boxCommands()
{
    static const std::vector<BoxCommand> commands{
        {&NAV_LIGHTS_WHILE_PARKED, [](HWND, bool) { navLightsRequest = true; }},
        {&AUTO_RANGE, [](HWND, bool on) { onAutoRange(on); }},
        {&MSFS_2020, [](HWND, bool on) { switchSimulator(on); }},
        {&SCAN_LIVERIES, [](HWND, bool on) { onScanLiveries(on); }},
        {&SCAN_AIRPORTS, [](HWND, bool on) { onScanAirports(on); }},
        {&LIG_AUTOMATIC,
         [](HWND, bool on) {
             noticeWhen(!on, "The liveries defined by your lfolder parameters will be scanned");
             gf_enableControl(AI_PACKAGE_ORDER, on);
         }},
        {&LIG_PRIORITIZE,
         [](HWND, bool on) {
             noticeWhen(on, "Liveries in lower lfolders that are already available will be skipped");
         }},
        {&PARK_SOFT, [](HWND, bool) { settingsChangeNotice(); }},
        {&PARK_FAKE, [](HWND, bool) { settingsChangeNotice(); }},
        {&WEEK, [](HWND, bool) { settingsChangeNotice(); }},
        {&INITIAL_LOAD_ONLY,
         [](HWND, bool on) {
             noticeWhen(on,
                        "Initial Load Only: static parked aircraft are generated once, no renewal every 20 minutes");
             if (indicators.parkAirportLoaded.load()) reevaluationRequest = true;
         }},
        {&COLLISION_LIVE_PARKED_GND,
         [](HWND, bool on) {
             noticeWhen(!on, "Be aware, no collision avoidance with live aircraft vs parked static on the ground");
         }},
        {&COLLISION_USER_GND,
         [](HWND, bool on) { noticeWhen(!on, "Be aware, no collision avoidance with user aircraft on the ground"); }},
        {&COLLISION_USER_AIR,
         [](HWND, bool on) { noticeWhen(!on, "Be aware, no collision avoidance with user aircraft in the air"); }},
        {&SUPPRESS_STUB,
         [](HWND, bool on) { noticeWhen(on, "Exclude FSLTL-liveries titles ending with _STUB from scan"); }},
        {&ALWAYS_ON_TOP, [](HWND window, bool on) { onAlwaysOnTop(window, on); }},
        {&TELLMOOR,
         [](HWND, bool on) {
             noticeWhen(on,
                        fmt::format("Note: This mode is for Tellmoor VLK users only, please re-start {}", programName));
         }},
        {&LEARN_SOFT,
         [](HWND, bool) {
             if (indicators.parkAirportLoaded.load()) reevaluationRequest = true;
         }},
        {&GUID_CHANGES,
         [](HWND, bool on) {
             noticeWhen(!on, "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!");
         }},
    };
    return commands;
}

// The check-box click: the box shows and stores the opposite of its mark.
bool toggle(HWND window, CheckBoxParameter& box)
{
    if (&box == &GUID_CHANGES) {
        toggleCheckBoxParameter(window, box.id, box);
        return box.value();
    }
    const bool now = IsDlgButtonChecked(window, box.id) != BST_CHECKED;
    CheckDlgButton(window, box.id, now ? BST_CHECKED : BST_UNCHECKED);
    box.setValue(now);
    box.save();
    return now;
}

bool handleButton(std::uint16_t id)
{
    if (id == unblockButton.id) {
        if (!BLOCK_CALLSIGN.value().empty())
            unblockCallsign();
        else
            setStatus("Nothing to block or unblock...", false);
        return true;
    }
    if (id == rereadButton.id) {
        recheckRequest = true;
        gf_enableControl(rereadButton, false);
        gf_enableControl(DESTINATION, false);
        return true;
    }
    if (id == flushStaticButton.id) {
        setStatus("All static parked aircraft will be removed ...", false);
        removeStaticsRequest = true;
        gf_enableControl(flushStaticButton, false);
        return true;
    }
    return false;
}

} // namespace

bool lf_HandleWMCOMMAND(HWND window, WPARAM wParam)
{
    const auto id = static_cast<std::uint16_t>(LOWORD(wParam));
    bool handled = false;
    try {
        handled = handleButton(id);
        if (auto* box = dynamic_cast<CheckBoxParameter*>(controlWithId(id)); !handled && box != nullptr) {
            handled = true;
            const bool now = toggle(window, *box);
            noteParkingSettingChange(*box);
            for (const BoxCommand& command : boxCommands())
                if (command.box == box) command.action(window, now);
        }
    } catch (const std::exception& e) {
        handled = true;
        logMarked(fmt::format("{} exception {}", "lf_HandleWMCOMMAND", e.what()));
    }
    InvalidateRect(window, &parametersBand, TRUE);
    return handled;
}

} // namespace qtr
