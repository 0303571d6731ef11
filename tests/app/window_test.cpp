// The real main window of this process under Wine: what its paint draws where and in which
// colour (checked in the pixels of the window as it is on screen, kept as PNG files below
// build/test-artifacts), its controls, the edit procedures, the commands and the close deadline.
#include "airports/scanned_airports.h"
#include "airports/airports_db.h"
#include "app/commands.h"
#include "app/controls.h"
#include "app/main_window.h"
#include "app/paint.h"
#include "app/parameter_display.h"
#include "app/window.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/version.h"
#include "links/traffic_standins.h"
#include "support/layout_support.h"
#include "support/screen_capture.h"
#include "support/test_support.h"
#include "traffic/run/callsigns.h"
#include "traffic/parking/stand_learning.h"
#include "traffic/run/data_cycle.h"
#include "traffic/run/range.h"
#include "traffic/state/traffic_state.h"
#include "traffic/parking/park_airports.h"
#include "foundation/run_control.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

using namespace qtr;

namespace {

void pumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// The one main window of this test process, created as the program creates it.
HWND mainWindowOfTests()
{
    static HWND window = [] {
        HINSTANCE instance = GetModuleHandleW(nullptr);
        EXPECT_TRUE(registerMainWindowClass(instance, L"Quillmarsh"));
        EXPECT_TRUE(initInstance(instance, L"Quillmarsh"));
        pumpMessages();
        return mainWindow.hWnd.load();
    }();
    return window;
}

std::string storedValue(const std::string& key)
{
    const std::string text = qtest::readFile(parametersXmlPath());
    const std::string tag = "name=\"" + key + "\" value=\"";
    const auto at = text.find(tag);
    if (at == std::string::npos) return "<none>";
    return text.substr(at + tag.size(), text.find('"', at + tag.size()) - at - tag.size());
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window_ = mainWindowOfTests();
        ASSERT_NE(window_, nullptr);
        gf_startLog();
        indicators.resetIndicators();
        resetRunControl();
        drawnTextObserver = [this](const DrawnText& t) { drawn_.push_back(t); };
    }
    void TearDown() override
    {
        drawnTextObserver = nullptr;
        indicators.resetIndicators();
        resetRunControl();
        closeLog();
    }
    static void resetRunControl()
    {
        stopRequested = false;
        windowClosed = false;
        exitCode = ExitCode::NotYetSet;
        restartDelaySeconds = 0;
    }
    std::string log() { return qtest::readFile("Log.txt"); }

    // Paints the whole window now and takes its picture; the picture is kept as name.png.
    qtest::Capture paintAndCapture(const std::string& name)
    {
        drawn_.clear();
        RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        pumpMessages();
        const qtest::Capture capture = qtest::captureClient(window_);
        EXPECT_TRUE(qtest::writePng(capture, qtest::artifactPath("window-" + name + ".png")));
        return capture;
    }

    // The text was drawn at its place in its colour, and the picture shows that colour there.
    void expectText(const qtest::Capture& capture, int x, int y, const std::string& text, COLORREF colour)
    {
        bool found = false;
        for (const DrawnText& t : drawn_)
            found = found || (t.x == x && t.y == y && t.text == text && t.colour == colour);
        EXPECT_TRUE(found) << "\"" << text << "\" at " << x << "," << y << " in " << std::hex << colour;
        const RECT box = textBox(x, y, text);
        EXPECT_GE(capture.count(box, colour), 4) << "\"" << text << "\" not in its colour on screen";
    }
    std::string drawnAt(int x, int y) const
    {
        for (const DrawnText& t : drawn_)
            if (t.x == x && t.y == y) return t.text;
        return {};
    }
    int textWidth(const std::string& text)
    {
        const RECT box = textBox(0, 0, text);
        return box.right - box.left;
    }
    bool wasDrawn(const std::string& prefix) const
    {
        for (const DrawnText& t : drawn_)
            if (t.text.rfind(prefix, 0) == 0) return true;
        return false;
    }
    RECT textBox(int x, int y, const std::string& text)
    {
        HDC dc = GetDC(window_);
        HGDIOBJ old = SelectObject(dc, mainWindow.textFont);
        const std::wstring wide(text.begin(), text.end());
        SIZE size{};
        GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(window_, dc);
        return RECT{x, y, x + size.cx, y + size.cy};
    }
    void typeAndEnter(const ParameterControl& edit, const std::string& text)
    {
        const std::wstring wide(text.begin(), text.end());
        SetWindowTextW(controlWindow(edit), wide.c_str());
        SendMessageW(controlWindow(edit), WM_CHAR, 13, 0);
    }
    std::string editText(const ParameterControl& edit)
    {
        wchar_t buffer[256] = {};
        GetWindowTextW(controlWindow(edit), buffer, 256);
        std::string text;
        for (const wchar_t* p = buffer; *p; ++p) text.push_back(static_cast<char>(*p));
        return text;
    }
    bool command(const ParameterControl& control)
    {
        return lf_HandleWMCOMMAND(window_, MAKEWPARAM(control.id, BN_CLICKED));
    }

    HWND window_ = nullptr;
    std::vector<DrawnText> drawn_;
};

const RECT headerPoint{300, 2, 301, 3};

} // namespace

TEST_F(MainWindowTest, WaitingForTheSimulator)
{
    setStatus("Waiting for MSFS 2020 ...", false);
    const auto capture = paintAndCapture("waiting");
    // The bands and the two lamps: red simulator lamp, black RealTraffic lamp before a run.
    struct Point {
        int x, y;
        COLORREF colour;
    };
    for (const Point& p :
         {Point{300, 2, blackColour}, Point{600, 50, blackColour}, Point{860, 250, lightBlueColour},
          Point{600, 420, blackColour}, Point{860, 470, greenColour}, Point{411, 100, redColour},
          Point{439, 100, blackColour}, Point{425, 60, blackColour}, Point{300, 28, RGB(255, 255, 255)}})
        EXPECT_EQ(capture.at(p.x, p.y), p.colour) << p.x << "," << p.y;
    expectText(capture, 3, 7, "Version " + programVersion().toString(), greenColour);
    expectText(capture, 390, 7, "Quillmarsh", greenColour);
    expectText(capture, 5, 35, "MSFS 2020 mode", greenColour);
    expectText(capture, 398, 63, "Sim", blackColour);
    expectText(capture, 5, 91, "# liveries: ...", redColour);
    expectText(capture, 141, 91, "# vendrake: ...", yellowColour);
    expectText(capture, 278, 91, "# thirdp: ...", yellowColour);
    expectText(capture, 25, 119, "Install path:", blackColour);
    expectText(capture, 25, 147, "Scan for liveries", SCAN_LIVERIES.value() ? yellowColour : blackColour);
    expectText(capture, 217, 315, "generic max park:", greyColour);
    expectText(capture, 768, 231, "objectids", blackColour);
    expectText(capture, 3, 455, "Waiting for MSFS 2020 ...", yellowColour);
    EXPECT_FALSE(wasDrawn("live:"));
    EXPECT_FALSE(wasDrawn("qnh:"));
    EXPECT_FALSE(wasDrawn("Weather"));
    EXPECT_FALSE(wasDrawn("# stands"));

    // The 2024 mode is named as such, and a disabled option's label turns grey.
    MSFS_2020.setValue(false);
    AUTO_RANGE.setValue(false);
    const auto capture2024 = paintAndCapture("waiting-2024");
    expectText(capture2024, 5, 35, "MSFS 2024 mode", greenColour);
    expectText(capture2024, 768, 231, "objectids", greyColour);
    expectText(capture2024, 430, 231, "ah:", greyColour);
    MSFS_2020.setValue(true);
    AUTO_RANGE.setValue(true);
}

TEST_F(MainWindowTest, ConnectedWithTraffic)
{
    indicators.simConnected = true;
    indicators.flightLoaded = true;
    indicators.setText(indicators.userAircraftText, "Airbus A320 Neo Asobo");
    indicators.setText(indicators.simulatorText, "KittyHawk 11.0");
    indicators.setText(indicators.userStandText, "GATE 52A");
    indicators.setText(indicators.feedVersionText, "RT10 edition: professional");
    indicators.notRunning = false;
    indicators.feedConnected = true;
    indicators.trafficLamp = 1;
    indicators.weatherLamp = 2;
    indicators.qnh = 1013;
    indicators.liveCount = 12;
    indicators.liveryCount = 345;
    indicators.vendrakeLiveryCount = 7;
    const auto capture = paintAndCapture("connected");
    EXPECT_EQ(capture.at(411, 100), greenColour);
    EXPECT_EQ(capture.at(439, 100), greenColour);
    expectText(capture, 5, 35, "KittyHawk 11.0, user stand GATE 52A", greenColour);
    expectText(capture, 5, 63, "Airbus A320 Neo Asobo", greenColour);
    expectText(capture, 5, 91, "# liveries: 345", greenColour);
    expectText(capture, 141, 91, "# vendrake: 7", greenColour);
    expectText(capture, 278, 91, "# thirdp: ...", yellowColour);
    expectText(capture, 458, 35, "RT10 edition: professional", greenColour);
    expectText(capture, 458, 63, "Weather", yellowColour);
    expectText(capture, 458, 91, "Traffic", greenColour);
    expectText(capture, 642, 63, "qnh: 1013", greenColour);
    expectText(capture, 642, 91, "live:  12", greenColour);

    // A model that was not recognised shows yellow; traffic that stopped coming turns the
    // RealTraffic lamp yellow; a connection without a loaded flight turns the simulator's yellow.
    indicators.aircraftKnown = false;
    indicators.trafficLamp = 2;
    indicators.flightLoaded = false;
    indicators.qnh = 0;
    const auto warned = paintAndCapture("connected-warnings");
    expectText(warned, 5, 63, "Airbus A320 Neo Asobo", yellowColour);
    expectText(warned, 5, 35, "KittyHawk 11.0, user stand GATE 52A", yellowColour);
    EXPECT_EQ(warned.at(411, 100), yellowColour);
    EXPECT_EQ(warned.at(439, 100), yellowColour);
    EXPECT_FALSE(wasDrawn("qnh:"));
}

TEST_F(MainWindowTest, ErrorOnTheStatusLine)
{
    setStatus("shown before the error", false);
    setError("41: Quillmarsh must be run from the Quillmarsh folder!");
    indicators.feedConnected = false;
    indicators.notRunning = false;
    // A text that is no UTF-8 is left out; the rest of the window is painted.
    indicators.setText(indicators.userAircraftText, "bad \xC3 title");
    indicators.simConnected = true;
    const auto capture = paintAndCapture("error");
    EXPECT_EQ(capture.at(860, 470), redColour);
    EXPECT_EQ(capture.at(439, 100), redColour); // RealTraffic not connected during a run
    expectText(capture, 3, 455, "41: Quillmarsh must be run from the Quillmarsh folder!", yellowColour);
    EXPECT_FALSE(wasDrawn("shown before"));
    EXPECT_FALSE(wasDrawn("bad"));
    EXPECT_TRUE(wasDrawn("Install path:"));
    EXPECT_NE(log().find("bad \xC3 title conversion exception"), std::string::npos);

    // An error longer than the window ends with "..." at its edge.
    std::string longError = "95: ";
    for (int k = 0; k < 40; ++k) longError += fmt::format("word{} ", k);
    setError(longError);
    paintAndCapture("long-error");
    const std::string shown = drawnAt(3, 455);
    ASSERT_TRUE(shown.ends_with("...")) << shown;
    EXPECT_EQ(longError.rfind(shown.substr(0, shown.size() - 3), 0), 0u) << shown;
    EXPECT_LE(3 + textWidth(shown), statusBand.right);
    EXPECT_GT(3 + textWidth(shown), statusBand.right - 50); // cut at the edge, not before
    clearError();
}

TEST_F(MainWindowTest, ParkAirportLoaded)
{
    indicators.setText(indicators.parkAirportText, "KLAX (LAX)");
    indicators.setText(indicators.parkLineText1, "Los Angeles Intl");
    indicators.setText(indicators.parkLineText2, "vendrake");
    indicators.setText(indicators.qualityText, "62/40");
    indicators.setText(indicators.reservedStandText, "GATE 52A");
    indicators.parkAirportLoaded = true;
    indicators.hMarkFlag = true;
    indicators.parkWeek = 1;
    indicators.staticMarker = true;
    indicators.updateCount = 3;
    indicators.standCount = 120;
    indicators.parkedLiveCount = 4;
    indicators.averageFitLive = 2.5f;
    indicators.maxPark = 36;
    indicators.maxParkPercent = 30;
    indicators.parkedStaticCount = 30;
    indicators.averageFitStatic = 3.0f;
    indicators.parkingMinutes = 12;
    tbloEntryCount = 2;
    const auto capture = paintAndCapture("park-airport");
    expectText(capture, 5, 399, "KLAX (LAX)", greenColour);
    expectText(capture, 85, 399, " Los Angeles Intl, vendrake (h), wk=1", greenColour);
    expectText(capture, 370, 399, "*S*", greenColour);
    expectText(capture, 430, 399, "qf: 62/40", greenColour);
    expectText(capture, 571, 399, "reserved stand: GATE 52A", redColour);
    expectText(capture, 748, 399, "# updates:    3", greenColour);
    expectText(capture, 5, 427, "# stands: 120", greenColour);
    expectText(capture, 111, 427, "parked live:   4", greenColour);
    expectText(capture, 249, 427, "average fit: 2.5", greenColour);
    expectText(capture, 430, 427, "parked static:  30", greenColour);
    expectText(capture, 571, 427, "average fit: 3", greenColour);
    expectText(capture, 708, 427, "max park:  36 (=30 %)", greenColour);
    expectText(capture, 5, 343, "(next in 12 min)", blackColour);
    EXPECT_TRUE(wasDrawn("2 airports in "));

    // Placing static parking: the parking label says so and the next renewal is not shown; a
    // park airport whose data is not loaded yet shows only its name, in yellow.
    indicators.parkingBusy = true;
    indicators.reservedStandOk = true;
    const auto busy = paintAndCapture("park-airport-busy");
    expectText(busy, 5, 315, "Airport parking active", yellowColour);
    expectText(busy, 571, 399, "reserved stand: GATE 52A", greenColour);
    EXPECT_FALSE(wasDrawn("(next in"));
    // KLAX's real name with a long publisher ends at its column: no text pixel between its right
    // edge and "qf:", the static marker off.
    indicators.setText(indicators.parkLineText1, "Los Angeles International Airport");
    indicators.setText(indicators.parkLineText2, "Orbx Global Airport Works");
    indicators.staticMarker = false;
    const auto longName = paintAndCapture("park-airport-long-name");
    EXPECT_GT(longName.count(RECT{parkLineLeft, 399, parkLineRight, 415}, greenColour), 100);
    EXPECT_EQ(longName.count(RECT{parkLineRight, 395, 430, 420}, greenColour), 0);
    // The names are cut, the traffic week stays.
    const std::string parkLine = drawnAt(parkLineLeft, 399);
    EXPECT_TRUE(parkLine.starts_with(" Los Angeles")) << parkLine;
    EXPECT_TRUE(parkLine.ends_with("..., wk=1")) << parkLine;
    EXPECT_LE(parkLineLeft + textWidth(parkLine), parkLineRight);
    expectText(longName, 430, 399, "qf: 62/40", greenColour);
    indicators.parkAirportLoaded = false;
    const auto notLoaded = paintAndCapture("park-airport-loading");
    expectText(notLoaded, 5, 399, "KLAX (LAX)", yellowColour);
    EXPECT_FALSE(wasDrawn("# stands"));
    tbloEntryCount = 0;
}

// The client area is the layout's: every band reaches the right edge, nothing lies under the
// status band, and the outer size follows the frame rather than a fixed number.
TEST_F(MainWindowTest, ClientAreaIsTheLayoutsSize)
{
    RECT client{};
    ASSERT_TRUE(GetClientRect(window_, &client));
    EXPECT_EQ(client.right - client.left, clientWidth);
    EXPECT_EQ(client.bottom - client.top, clientHeight);
    EXPECT_EQ(clientHeight, statusBand.bottom);
    RECT outer{};
    GetWindowRect(window_, &outer);
    const SIZE wanted = outerSizeForClient(clientWidth, clientHeight);
    EXPECT_EQ(outer.right - outer.left, wanted.cx);
    EXPECT_EQ(outer.bottom - outer.top, wanted.cy);
    setStatus("", false);
    const auto capture = paintAndCapture("client-area");
    EXPECT_EQ(capture.width, clientWidth);
    EXPECT_EQ(capture.height, clientHeight);
    for (const POINT p :
         {POINT{clientWidth - 1, 250}, POINT{clientWidth - 1, clientHeight - 1}, POINT{0, clientHeight - 1}})
        EXPECT_NE(capture.at(p.x, p.y), blackColour) << p.x << "," << p.y;
    EXPECT_EQ(capture.at(clientWidth - 1, 250), lightBlueColour);
    EXPECT_EQ(capture.at(clientWidth - 1, clientHeight - 1), greenColour);
}

TEST_F(MainWindowTest, EveryControlAtItsPlace)
{
    struct Expected {
        const ParameterControl* control;
        const wchar_t* windowClass;
        RECT rect; // client coordinates
        bool enabled;
    };
    const Expected samples[] = {
        {&MSFS_2020, L"Button", {5, 121, 17, 133}, true},
        {&ALL_INSTALL_PATH, L"Edit", {111, 119, 1311, 135}, false},
        {&AI_PACKAGE_ORDER, L"Edit", {368, 147, 392, 163}, false},
        {&LATERAL_RANGE, L"Edit", {217, 231, 251, 247}, false},
        {&unblockButton, L"Button", {323, 257, 393, 277}, false},
        {&CALLSIGN_2_OBJECTID, L"Edit", {460, 259, 555, 275}, false},
        {&MAX_LIVE, L"Edit", {601, 315, 635, 331}, false},
        {&MAX_FIT_FL, L"Edit", {566, 371, 600, 387}, false},
        {&flushStaticButton, L"Button", {758, 369, 848, 389}, false},
        {&GUID_CHANGES, L"Button", {748, 205, 760, 217}, true},
    };
    for (const Expected& e : samples) {
        HWND control = GetDlgItem(window_, e.control->id);
        ASSERT_NE(control, nullptr) << e.control->id;
        EXPECT_EQ(control, controlWindow(*e.control));
        wchar_t name[32] = {};
        GetClassNameW(control, name, 32);
        EXPECT_EQ(_wcsicmp(name, e.windowClass), 0) << e.control->id;
        RECT rect{};
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(rect.left, e.rect.left) << e.control->id;
        EXPECT_EQ(rect.top, e.rect.top) << e.control->id;
        EXPECT_EQ(rect.right, e.rect.right) << e.control->id;
        EXPECT_EQ(rect.bottom, e.rect.bottom) << e.control->id;
        EXPECT_EQ(IsWindowEnabled(control) != 0, e.enabled) << e.control->id;
    }
    int children = 0;
    EnumChildWindows(
        window_, [](HWND, LPARAM p) -> BOOL { return ++*reinterpret_cast<int*>(p), TRUE; },
        reinterpret_cast<LPARAM>(&children));
    EXPECT_EQ(children, static_cast<int>(allControls().size()));
    // Every control stands where its row puts it.
    for (const ParameterControl* control : allControls()) {
        RECT rect{};
        GetWindowRect(controlWindow(*control), &rect);
        MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
        const bool box = dynamic_cast<const CheckBoxParameter*>(control) != nullptr;
        EXPECT_EQ(rect.left, control->place().x) << control->id;
        EXPECT_EQ(rect.top, control->y + (box ? 2 : 0)) << control->id;
    }
    // Narrow edits scroll, so that a typed value is never cut at the edit's width.
    EXPECT_TRUE(GetWindowLongW(controlWindow(MAX_LIVE), GWL_STYLE) & ES_AUTOHSCROLL);
    wchar_t caption[32] = {};
    GetWindowTextW(controlWindow(rereadButton), caption, 32);
    EXPECT_STREQ(caption, L"Re-read");
    EXPECT_EQ(IsDlgButtonChecked(window_, MSFS_2020.id), MSFS_2020.value() ? BST_CHECKED : BST_UNCHECKED);
}

// The layout check of the rows on the real window: the controls' boxes as created, the labels
// as wide as the font draws them (and never wider than the estimate the rows' check uses).
TEST_F(MainWindowTest, NoTwoControlsOrLabelsOverlapOnScreen)
{
    for (const ParameterControl* control : allControls()) {
        RECT rect{};
        GetWindowRect(controlWindow(*control), &rect);
        MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
        const ClientBox box = controlBox(*control);
        EXPECT_EQ((std::array{rect.left, rect.top, rect.right, rect.bottom}),
                  (std::array<LONG, 4>{box.left, box.top, box.right, box.bottom}))
            << control->id;
        if (const char* label = control->place().label) {
            const RECT drawn = textBox(0, 0, label);
            EXPECT_GE(qtest::estimatedLabelWidth(label), drawn.right) << label;
            EXPECT_LE(drawn.bottom, qtest::labelHeight) << label;
        }
    }
    const auto drawnWidth = [this](std::string_view text) {
        return static_cast<std::int32_t>(textBox(0, 0, std::string(text)).right);
    };
    EXPECT_EQ(qtest::overlaps(qtest::bandLayout(drawnWidth)), std::vector<std::string>{});
}

TEST_F(MainWindowTest, IntegerEditsApplyWhatWasTyped)
{
    struct Case {
        IntEditParameter* parameter;
        std::string before, typed;
        std::int32_t expected;
        std::string stored; // "<same>": unchanged in the file
        std::string status;
    };
    const Case cases[] = {
        {&MAX_LIVE, "50", "", -1, "-1", "The new MAX_LIVE is -1"},
        {&MAX_LIVE, "50", "12ab", 12, "12", "The new MAX_LIVE is 12"},
        {&MAX_LIVE, "50", "3.3", 3, "3", "The new MAX_LIVE is 3"},
        {&MAX_LIVE, "50", "50", 50, "<same>", "Same MAX_LIVE value 50, no changes made"},
        {&MAX_LIVE, "50", "abc", 50, "<same>", "invalid input: abc"},
        {&MAX_LIVE, "50", "99999999999", 50, "<same>", ""},
        {&LATERAL_RANGE, "40", "500", 100, "100", "The new LATERAL_RANGE is 100"},
        {&LATERAL_RANGE, "40", "-5", 2, "2", "The new LATERAL_RANGE is 2"},
        {&parking_percentage, "30", "", 0, "<same>", "The new parking_percentage is 0"},
        {&MATCHING_DEPTH, "2", "4", 4, "4", "The new MATCHING_DEPTH is 4"},
    };
    for (const Case& c : cases) {
        c.parameter->setValue(std::stoi(c.before));
        const std::string storedBefore = storedValue(c.parameter->name);
        clearNoMatchRequest = false;
        clearStatus();
        typeAndEnter(*c.parameter, c.typed);
        const std::string what = c.parameter->name + " <- \"" + c.typed + "\"";
        EXPECT_EQ(c.parameter->value(), c.expected) << what;
        EXPECT_EQ(storedValue(c.parameter->name), c.stored == "<same>" ? storedBefore : c.stored) << what;
        EXPECT_EQ(indicators.statusLine(), c.status) << what;
        if (c.status != "invalid input: abc" && !c.status.empty()) {
            EXPECT_EQ(editText(*c.parameter), std::to_string(c.expected)) << what;
        }
    }
    // The range follows LATERAL_RANGE in nm and metres; a deeper matching asks for a new match.
    EXPECT_EQ(lateralRangeMetres.load(), 2 * 1852);
    EXPECT_TRUE(clearNoMatchRequest.load());
    EXPECT_NE(log().find("invalid input: abc"), std::string::npos);
    EXPECT_NE(log().find("===> lf_processTbInt: stoi"), std::string::npos);
    typeAndEnter(LATERAL_RANGE, "500");
    EXPECT_EQ(lateralRangeMetres.load(), 185200);
    EXPECT_TRUE(reevaluationRequest.exchange(false));
    // A new MAX_LIVE without a park airport is the user's own maximum; the worker enforces it.
    userMaxLive = -1;
    typeAndEnter(MAX_LIVE, "20");
    EXPECT_EQ(userMaxLive.load(), 20);
    EXPECT_TRUE(enforceMaxLiveRequest.exchange(false));
    MAX_LIVE.setValue(-1);
    LATERAL_RANGE.setValue(40);
    setRangeNm(40);
}

// A settings folder that cannot be written (the save's temporary name is taken): the typed value
// holds for this run, and the status line says it was not saved rather than only announcing it.
TEST_F(MainWindowTest, AnEditThatCannotBeSavedSaysSo)
{
    MATCHING_DEPTH.setValue(2);
    const std::string storedBefore = storedValue("MATCHING_DEPTH");
    std::filesystem::path blocker = parametersXmlPath();
    blocker += ".tmp";
    qtest::writeFile(blocker / "taken", "");
    clearStatus();
    typeAndEnter(MATCHING_DEPTH, "4");
    std::filesystem::remove_all(blocker);
    EXPECT_EQ(MATCHING_DEPTH.value(), 4);
    EXPECT_EQ(storedValue("MATCHING_DEPTH"), storedBefore);
    EXPECT_EQ(indicators.statusLine(), "MATCHING_DEPTH=4 could not be saved, it holds for this run only");
    MATCHING_DEPTH.setValue(2);
    MATCHING_DEPTH.save();
    clearNoMatchRequest = false;
}

TEST_F(MainWindowTest, MaxFitInHoursWhileTheStandsAreLoaded)
{
    MAX_FIT.setValue(47);
    MAX_FIT_FL.setValue(24.0f);
    typeAndEnter(MAX_FIT_FL, "3.3");
    EXPECT_EQ(MAX_FIT.value(), 47) << "no park airport loaded: Enter only clears the status line";
    indicators.parkAirportLoaded = true;
    indicators.cycleCount = 7;
    struct Case {
        std::string typed;
        std::int32_t maxFit;
        std::string shown;
    };
    for (const Case& c : {Case{"3.3", 6, "3.5"}, Case{"0.1", 0, "0.5"}, Case{"99", 47, "24"}, Case{"", 47, "24"}}) {
        MAX_FIT_FL.setValue(5.0f);
        typeAndEnter(MAX_FIT_FL, c.typed);
        EXPECT_EQ(MAX_FIT.value(), c.maxFit) << c.typed;
        EXPECT_EQ(storedValue("MAX_FIT"), std::to_string(c.maxFit)) << c.typed;
        EXPECT_EQ(editText(MAX_FIT_FL), c.shown) << c.typed;
    }
    // The parking setting changed: the worker will act in its next fifteen-cycle step.
    EXPECT_EQ(indicators.statusLine(), "Quillmarsh will respond in 8 seconds ...");
    EXPECT_TRUE(renewalRequested.exchange(false));
    MAX_FIT_FL.setValue(5.0f);
    for (const char* bad : {"nan", "inf", "x"}) {
        typeAndEnter(MAX_FIT_FL, bad);
        EXPECT_EQ(MAX_FIT.value(), 47) << bad;
    }
    EXPECT_NE(log().find("lf_processTbFloat: "), std::string::npos);
    indicators.parkAirportLoaded = false;
}

// The block and destination edits are answered on the window thread at once, also while the
// worker still waits for the simulator (no data cycle runs here): status line, edit, saved file.
TEST_F(MainWindowTest, BlockAndDestinationEditsAnswerAtOnce)
{
    BLOCK_CALLSIGN.setValue("");
    struct Case {
        std::string typed;
        std::string blocked; // value, edit and file afterwards
        std::string status;
        bool request; // blockRequest raised for the worker
    };
    const Case blocks[] = {
        {"abc12", "ABC12", "live aircraft with callsign \"ABC12\" will be blocked", true},
        {"Abc12", "ABC12", "callsign \"ABC12\" was already set ...", false},
        {"abc", "ABC12", "callsign \"abc\" is not valid", false},
        {"abcdefghi", "ABC12", "callsign \"abcdefghi\" is not valid", false},
        {"", "", "no more blocking of live aircraft \"ABC12\"", true},
    };
    for (const Case& c : blocks) {
        blockRequest = false;
        typeAndEnter(BLOCK_CALLSIGN, c.typed);
        EXPECT_EQ(BLOCK_CALLSIGN.value(), c.blocked) << c.typed;
        EXPECT_EQ(editText(BLOCK_CALLSIGN), c.blocked) << c.typed;
        EXPECT_EQ(storedValue("BLOCK_CALLSIGN"), c.blocked) << c.typed;
        EXPECT_EQ(indicators.statusLine(), c.status) << c.typed;
        EXPECT_EQ(blockRequest.load(), c.request) << c.typed;
        EXPECT_EQ(IsWindowEnabled(controlWindow(unblockButton)) != 0, !c.blocked.empty()) << c.typed;
    }
    // The button ends a blocking at once too; with nothing blocked it says so.
    typeAndEnter(BLOCK_CALLSIGN, "dlh4ab");
    command(unblockButton);
    EXPECT_EQ(storedValue("BLOCK_CALLSIGN"), "");
    EXPECT_EQ(indicators.statusLine(), "no more blocking of live aircraft \"DLH4AB\"");
    command(unblockButton);
    EXPECT_EQ(indicators.statusLine(), "Nothing to block or unblock...");

    // Before the airports are read no code is known; once they are, a known one is stored and
    // only its park-airport entry waits for the worker.
    forgetAirports();
    DESTINATION.setValue("");
    typeAndEnter(DESTINATION, "ksfo");
    EXPECT_EQ(DESTINATION.value(), "");
    EXPECT_EQ(indicators.statusLine(), "destination \"KSFO\" is unknown ...");
    qtest::writeFile("input/airports_msfs.xml",
                     "<airports><airport code=\"KSFO\" iata=\"SFO\" lat=\"37.619\" lon=\"-122.375\" alt=\"13\"/>"
                     "<airport code=\"KLAX\" iata=\"LAX\" lat=\"33.942\" lon=\"-118.408\" alt=\"125\"/></airports>");
    ASSERT_TRUE(readAirports());
    const Case destinations[] = {
        {"ksfo", "KSFO", "New destination: KSFO", false},
        {"KSFO", "KSFO", "destination \"KSFO\" was already set ...", false},
        {"zzzz", "KSFO", "destination \"ZZZZ\" is unknown ...", false},
        {"ksf", "KSFO", "destination \"ksf\" is not valid", false},
    };
    for (const Case& c : destinations) {
        typeAndEnter(DESTINATION, c.typed);
        EXPECT_EQ(DESTINATION.value(), c.blocked) << c.typed;
        EXPECT_EQ(editText(DESTINATION), c.blocked) << c.typed;
        EXPECT_EQ(storedValue("DESTINATION"), c.blocked) << c.typed;
        EXPECT_EQ(indicators.statusLine(), c.status) << c.typed;
    }
    EXPECT_FALSE(findParkAirport("KSFO"));
    serveCallsignRequests();
    EXPECT_TRUE(findParkAirport("KSFO"));
    clearParkAirportState();
    forgetAirports();
    DESTINATION.setValue("");
    blockRequest = false;
}

TEST_F(MainWindowTest, CallsignLookupAsksTheWorker)
{
    typeAndEnter(CALLSIGN_2_OBJECTID, "baw12");
    EXPECT_EQ(CALLSIGN_2_OBJECTID.value(), "BAW12");
    EXPECT_EQ(editText(CALLSIGN_2_OBJECTID), "BAW12");
    EXPECT_TRUE(callsignResolveRequest.exchange(false));
    typeAndEnter(CALLSIGN_2_OBJECTID, "");
    EXPECT_EQ(CALLSIGN_2_OBJECTID.value(), "");
    EXPECT_FALSE(callsignResolveRequest.load());
}

TEST_F(MainWindowTest, InstallPathEditTakesThePackagesFolder)
{
    const auto root = qtest::freshFolder("install-path");
    const auto packages = root / "Community Games" / "MSFS";
    std::filesystem::create_directories(packages / "Community");
    std::filesystem::create_directories(root / "Elsewhere");
    const std::string saved = MSFS_INSTALL_PATH.value();
    struct Case {
        std::filesystem::path typed;
        std::string stored; // "<same>": unchanged
        std::string status;
        bool restarts;
    };
    const Case cases[] = {
        // The Community folder itself: its parent, even when an earlier folder holds the word.
        {packages / "Community", packages.string(), "Community path found, Quillmarsh will restart ...", true},
        {std::filesystem::path(packages.wstring() + L"\\Community\\"), packages.string(),
         "Community path found, Quillmarsh will restart ...", true},
        {packages, packages.string(), "Community path found, Quillmarsh will restart ...", true},
        {root / "Elsewhere", "<same>", "This path exists but is not a path to Community ...", false},
        {root / "Missing", "<same>", "This install path does not exist: " + (root / "Missing").string(), false},
        {"", "", "", false},
    };
    for (const Case& c : cases) {
        MSFS_INSTALL_PATH.setValue("Z:\\before");
        resetRunControl();
        typeAndEnter(ALL_INSTALL_PATH, c.typed.string());
        EXPECT_EQ(MSFS_INSTALL_PATH.value(), c.stored == "<same>" ? "Z:\\before" : c.stored) << c.typed;
        EXPECT_EQ(indicators.statusLine(), c.status) << c.typed;
        EXPECT_EQ(stopRequested.load(), c.restarts) << c.typed;
        if (c.restarts) {
            EXPECT_EQ(exitCode.load(), ExitCode::NewSettings);
            EXPECT_EQ(restartDelaySeconds.load(), 3);
        }
    }
    MSFS_INSTALL_PATH.setValue(saved);
}

TEST_F(MainWindowTest, CheckBoxesStoreTheirStateAndAct)
{
    struct Case {
        CheckBoxParameter* box;
        bool startsOn;
        std::string status; // after the click
    };
    const Case cases[] = {
        {&COLLISION_USER_GND, true, "Be aware, no collision avoidance with user aircraft on the ground"},
        {&COLLISION_USER_GND, false, ""},
        {&SUPPRESS_STUB, false, "Exclude FSLTL-liveries titles ending with _STUB from scan"},
        {&TELLMOOR, false, "Note: This mode is for Tellmoor VLK users only, please re-start Quillmarsh"},
        {&GUID_CHANGES, true, "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!"},
        {&LIG_PRIORITIZE, false, "Liveries in lower lfolders that are already available will be skipped"},
        {&INITIAL_LOAD_ONLY, false,
         "Initial Load Only: static parked aircraft are generated once, no renewal every 20 minutes"},
        {&LOG, true, "unchanged"},
    };
    for (const Case& c : cases) {
        c.box->setValue(c.startsOn);
        CheckDlgButton(window_, c.box->id, c.startsOn ? BST_CHECKED : BST_UNCHECKED);
        setStatus("unchanged", false);
        EXPECT_TRUE(command(*c.box));
        EXPECT_EQ(c.box->value(), !c.startsOn) << c.box->name;
        EXPECT_EQ(IsDlgButtonChecked(window_, c.box->id), c.startsOn ? BST_UNCHECKED : BST_CHECKED) << c.box->name;
        EXPECT_EQ(storedValue(c.box->name), c.startsOn ? "false" : "true") << c.box->name;
        EXPECT_EQ(indicators.statusLine(), c.status) << c.box->name;
        c.box->setValue(c.box->defaultValue());
    }
    // An id of no control is left to the default procedure.
    EXPECT_FALSE(lf_HandleWMCOMMAND(window_, MAKEWPARAM(40000, BN_CLICKED)));
    EXPECT_EQ(SendMessageW(window_, WM_COMMAND, MAKEWPARAM(40000, BN_CLICKED), 0), 0);
}

// What the user changes while the park airport's stands are loaded marks the learned file for
// saving, when the file carries that setting; nothing else does.
TEST_F(MainWindowTest, UserChangesOfParkingSettingsAreNoted)
{
    const struct {
        const char* what;
        bool loaded;
        std::function<void()> change;
        bool noted;
    } cases[] = {
        {"WEEK clicked", true, [this] { command(WEEK); }, true},
        {"WEEK clicked, no airport", false, [this] { command(WEEK); }, false},
        {"a collision box clicked", true, [this] { command(COLLISION_USER_GND); }, false},
        {"LATERAL_RANGE typed", true, [this] { typeAndEnter(LATERAL_RANGE, "33"); }, true},
        {"the same LATERAL_RANGE typed", true, [this] { typeAndEnter(LATERAL_RANGE, "33"); }, false},
        {"MATCHING_DEPTH typed", true, [this] { typeAndEnter(MATCHING_DEPTH, "3"); }, false},
    };
    for (const auto& c : cases) {
        indicators.parkAirportLoaded = c.loaded;
        parkingParameterChanged = false;
        c.change();
        EXPECT_EQ(parkingParameterChanged.load(), c.noted) << c.what;
    }
    indicators.parkAirportLoaded = false;
    parkingParameterChanged = false;
    for (CheckBoxParameter* box : {&WEEK, &COLLISION_USER_GND}) box->setValue(box->defaultValue());
    LATERAL_RANGE.setValue(LATERAL_RANGE.defaultValue());
    MATCHING_DEPTH.setValue(MATCHING_DEPTH.defaultValue());
}

TEST_F(MainWindowTest, AutoRangeOffGivesBackTheUsersRadius)
{
    AUTO_RANGE.setValue(false);
    CheckDlgButton(window_, AUTO_RANGE.id, BST_UNCHECKED);
    LATERAL_RANGE.setValue(25);
    command(AUTO_RANGE); // on: 25 is remembered
    EXPECT_TRUE(AUTO_RANGE.value());
    EXPECT_EQ(manualRadius.load(), 25);
    EXPECT_FALSE(IsWindowEnabled(controlWindow(LATERAL_RANGE)));
    EXPECT_TRUE(IsWindowEnabled(controlWindow(AUTO_RANGE_ABOVE_HEIGHT)));
    EXPECT_TRUE(reevaluationRequest.exchange(false));
    setRangeNm(10);      // what the automatic range chose meanwhile
    command(AUTO_RANGE); // off
    EXPECT_EQ(LATERAL_RANGE.value(), 25);
    EXPECT_EQ(lateralRangeMetres.load(), 25 * 1852);
    EXPECT_EQ(editText(LATERAL_RANGE), "25");
    EXPECT_TRUE(IsWindowEnabled(controlWindow(LATERAL_RANGE)));
    EXPECT_FALSE(IsWindowEnabled(controlWindow(AUTO_RANGE_ABOVE_HEIGHT)));
    AUTO_RANGE.setValue(true);
    CheckDlgButton(window_, AUTO_RANGE.id, BST_CHECKED);
    gf_enableControl(LATERAL_RANGE, false);
    gf_enableControl(AUTO_RANGE_ABOVE_HEIGHT, false);
    LATERAL_RANGE.setValue(40);
    setRangeNm(40);
    reevaluationRequest = false;
}

TEST_F(MainWindowTest, ScanBoxesRestartOnlyWhileTheRunStarts)
{
    struct Case {
        bool pending;   // RealTraffic has not connected in this run
        bool connected; // the run went past its wait for RealTraffic
        bool restarts;
    };
    // RealTraffic on another PC: the run passes its wait at once and is no longer starting.
    for (const Case& c : {Case{true, false, true}, Case{false, true, false}, Case{true, true, false}}) {
        resetRunControl();
        feedPending = c.pending;
        indicators.feedConnected = c.connected;
        SCAN_LIVERIES.setValue(false);
        CheckDlgButton(window_, SCAN_LIVERIES.id, BST_UNCHECKED);
        clearLiveriesRequest = false;
        command(SCAN_LIVERIES);
        EXPECT_EQ(stopRequested.load(), c.restarts);
        EXPECT_EQ(clearLiveriesRequest.load(), c.restarts);
        EXPECT_EQ(indicators.statusLine(), c.restarts
                                               ? "Your liveries will be scanned"
                                               : "Your liveries will be scanned at the next start of Quillmarsh, "
                                                 "recommended after you have add/removed AI aircraft models/liveries");
        if (c.restarts) {
            EXPECT_EQ(exitCode.load(), ExitCode::NewSettings);
            EXPECT_EQ(restartDelaySeconds.load(), 2);
        }
        SCAN_AIRPORTS.setValue(false);
        CheckDlgButton(window_, SCAN_AIRPORTS.id, BST_UNCHECKED);
        resetRunControl();
        command(SCAN_AIRPORTS);
        EXPECT_EQ(stopRequested.load(), c.restarts);
    }
    feedPending = true;
    clearLiveriesRequest = false;
}

TEST_F(MainWindowTest, SimulatorSwitchKeepsAnEarlierExitReason)
{
    std::filesystem::create_directories(outputFolder);
    qtest::writeFile(liveriesScannedPath, "<liveries/>");
    SCAN_AIRPORTS.setValue(false);
    SCAN_LIVERIES.setValue(false);
    ALL_INSTALL_PATH.setValue("Z:\\MSFS");
    MYVENDRAKE24_VERSION.setValue("1.2.3");
    requestUserClose(); // the close button came first
    MSFS_2020.setValue(true);
    CheckDlgButton(window_, MSFS_2020.id, BST_CHECKED);
    command(MSFS_2020);
    EXPECT_FALSE(MSFS_2020.value());
    EXPECT_EQ(storedValue("MSFS_2020"), "false");
    EXPECT_EQ(exitCode.load(), ExitCode::UserClosedProgram);
    EXPECT_FALSE(std::filesystem::exists(liveriesScannedPath));
    EXPECT_TRUE(SCAN_AIRPORTS.value());
    EXPECT_TRUE(SCAN_LIVERIES.value());
    EXPECT_EQ(IsDlgButtonChecked(window_, SCAN_LIVERIES.id), BST_CHECKED);
    EXPECT_EQ(ALL_INSTALL_PATH.value(), "");
    EXPECT_EQ(MYVENDRAKE24_VERSION.value(), "");
    EXPECT_EQ(storedValue("MYVENDRAKE24_VERSION"), "");
    EXPECT_TRUE(clearLiveriesRequest.load());
    EXPECT_TRUE(resetAirportScanRequest.load());
    // Back to 2020 without an earlier reason: a restart after 3 s.
    resetRunControl();
    command(MSFS_2020);
    EXPECT_TRUE(MSFS_2020.value());
    EXPECT_EQ(exitCode.load(), ExitCode::NewSettings);
    EXPECT_EQ(restartDelaySeconds.load(), 3);
    EXPECT_NE(log().find("Switching Simulator to MSFS 2020"), std::string::npos);
    serveFreshScanRequests();
    EXPECT_FALSE(clearLiveriesRequest.load());
    EXPECT_FALSE(resetAirportScanRequest.load());
}

TEST_F(MainWindowTest, ButtonsRaiseTheWorkersRequests)
{
    gf_enableControl(rereadButton, true);
    gf_enableControl(flushStaticButton, true);
    gf_enableControl(DESTINATION, true);
    command(rereadButton);
    EXPECT_TRUE(recheckRequest.exchange(false));
    EXPECT_FALSE(IsWindowEnabled(controlWindow(rereadButton)));
    EXPECT_FALSE(IsWindowEnabled(controlWindow(DESTINATION)));
    command(flushStaticButton);
    EXPECT_TRUE(removeStaticsRequest.exchange(false));
    EXPECT_FALSE(IsWindowEnabled(controlWindow(flushStaticButton)));
    EXPECT_EQ(indicators.statusLine(), "All static parked aircraft will be removed ...");
    NAV_LIGHTS_WHILE_PARKED.setValue(true);
    CheckDlgButton(window_, NAV_LIGHTS_WHILE_PARKED.id, BST_CHECKED);
    command(NAV_LIGHTS_WHILE_PARKED);
    EXPECT_TRUE(navLightsRequest.exchange(false));
    NAV_LIGHTS_WHILE_PARKED.setValue(true);
    CheckDlgButton(window_, NAV_LIGHTS_WHILE_PARKED.id, BST_CHECKED);
}

// The close button while the worker never ends (here there is none): after 8 s the window ends
// the program itself, with a log line. It ends the process, so it runs in a child process of
// this test executable (the next test), in the folder that test names.
TEST(CloseBackstop, DISABLED_WindowClosedWhileTheWorkerIsStuck)
{
    const wchar_t* folder = _wgetenv(L"QM_CLOSE_BACKSTOP_FOLDER");
    ASSERT_NE(folder, nullptr);
    std::filesystem::current_path(folder);
    std::filesystem::remove_all(qtest::processRoot()); // the process ends before its own clean-up
    gf_startLog();
    HWND window = mainWindowOfTests();
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    for (int k = 0; k < 3000; ++k) { // 30 s, far beyond the deadline
        pumpMessages();
        Sleep(10);
    }
    FAIL() << "the program did not end";
}

TEST(CloseBackstop, TheWindowEndsTheProgramWhenTheWorkerDoesNot)
{
    const std::filesystem::path folder = qtest::freshFolder("close-backstop");
    _wputenv_s(L"QM_CLOSE_BACKSTOP_FOLDER", folder.c_str());
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command =
        L"\"" + std::wstring(self) + L"\" --gtest_filter=CloseBackstop.DISABLED_* --gtest_also_run_disabled_tests";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION child{};
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &child));
    const bool ended = WaitForSingleObject(child.hProcess, 60000) == WAIT_OBJECT_0;
    const auto elapsed = std::chrono::steady_clock::now() - start;
    DWORD code = 99;
    if (ended) GetExitCodeProcess(child.hProcess, &code);
    if (!ended) TerminateProcess(child.hProcess, 99);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    _wputenv_s(L"QM_CLOSE_BACKSTOP_FOLDER", L"");
    ASSERT_TRUE(ended);
    EXPECT_EQ(code, 0u);
    EXPECT_GE(elapsed, std::chrono::seconds(6)); // a generous lower bound: the worker gets its 8 s
    EXPECT_NE(qtest::readFile(folder / "Log.txt")
                  .find("the worker did not end within 8 s of the close: the program ends without it"),
              std::string::npos);
}
