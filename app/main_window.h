#pragma once
// The main window's state: the status line and the indicators that every subsystem writes
// and only the window thread paints.
#include "foundation/parameters/parameter.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include <windows.h>

namespace qtr {

// Bands of the client area (left, top, right, bottom), repainted after a change of what they show.
inline constexpr RECT headerBand{0, 0, 880, 28};
inline constexpr RECT linksBand{0, 28, 880, 112};
inline constexpr RECT parametersBand{0, 112, 880, 392};
inline constexpr RECT statisticsBand{0, 392, 880, 448};
inline constexpr RECT statusBand{0, 448, 880, 476};

inline constexpr int mainWindowWidth = 880;
inline constexpr int mainWindowHeight = 516;
inline constexpr UINT WM_APP_START_WORKER = WM_APP + 1;
inline constexpr UINT WM_APP_END_PROGRAM = WM_APP + 2;

// One line of the parameter band's grid.
struct GridLine {
    POINT from;
    POINT to;
};

class MainWindow {
public:
    MainWindow();
    virtual ~MainWindow();

    IntParameter windowX{"MAIN_WINDOW_X", 400, -30000, 30000};
    IntParameter windowY{"MAIN_WINDOW_Y", 20, -30000, 30000};

    HBRUSH redBrush;
    HBRUSH lightBlueBrush;
    HBRUSH blackBrush;
    HBRUSH greenBrush;
    HBRUSH yellowBrush;
    HPEN blackPen;
    HPEN whitePen;
    // The one font of the painted texts and of the controls: small enough for the fixed
    // layout, without smoothing so that every pixel of a text has the text's own colour.
    HFONT textFont;
    // The grid of the parameter band: the rows of the controls, and the left part of the rows
    // beside the column of options at x 642.
    const std::array<GridLine, 7> gridLines{{{{0, 140}, {880, 140}},
                                             {{0, 168}, {642, 168}},
                                             {{0, 196}, {642, 196}},
                                             {{0, 224}, {642, 224}},
                                             {{0, 252}, {642, 252}},
                                             {{0, 280}, {642, 280}},
                                             {{0, 308}, {880, 308}}}};

    std::mutex statusMutex;
    HDC paintDc = nullptr;
    std::atomic<HWND> hWnd{nullptr};

    // Guarded by statusMutex (other threads assign them while the window thread paints).
    std::string statusText;
    std::string errorText;
    std::string userAircraftText;
    std::string parkLineText1;
    std::string parkLineText2;
    std::string qualityText;
    std::string simulatorText;
    std::string feedVersionText;
    std::string userStandText;
    std::string callsignText;
    // Copies of the park airport's state for the statistics band, written by the worker when
    // it sets or clears the park airport (its own fields are worker-only).
    std::string parkAirportText;  // display text of the current park airport's entry; empty: none
    std::string reservedStandText; // the reserved stand's name; empty: none

    std::atomic<float> averageFitStatic{-1.0f};
    std::atomic<float> averageFitLive{-1.0f};
    std::atomic<std::int64_t> liveCount{0};
    std::atomic<std::int64_t> vendrakeLiveryCount{0};
    std::atomic<std::int64_t> thirdPartyLiveryCount{0};
    std::atomic<std::int64_t> liveryCount{0};
    std::atomic<std::int64_t> parkedLiveCount{0};
    std::atomic<std::int64_t> parkedStaticCount{0};
    std::atomic<std::int64_t> standCount{0};
    std::atomic<std::int32_t> statisticsRowY{399};
    std::atomic<std::int32_t> maxParkPercent{0};
    std::atomic<std::int32_t> qnh{0};
    std::atomic<std::int32_t> maxPark{0};
    std::atomic<std::int32_t> parkingMinutes{0};
    std::atomic<std::uint32_t> cycleCount{0};
    std::uint32_t statusStamp = 0; // guarded by statusMutex
    std::atomic<std::int32_t> updateCount{0};
    std::atomic<bool> hMarkFlag{false};
    std::atomic<bool> notRunning{true};
    std::atomic<bool> feedConnected{false};
    std::atomic<bool> parkAirportLoaded{false};
    std::atomic<bool> simConnected{false};
    std::atomic<bool> flightLoaded{false};
    std::atomic<bool> aircraftKnown{true};
    std::atomic<bool> staticMarker{false};
    std::atomic<bool> reservedStandOk{false};
    std::atomic<std::uint32_t> parkWeek{0};  // week value of the park airport's data
    std::atomic<bool> parkingBusy{false};    // static parking is being placed
    std::atomic<std::int32_t> trafficLamp{3};
    std::atomic<std::int32_t> weatherLamp{3};
    std::atomic<bool> ready{false};

    // Copies of the status line under the lock, for painting and tests.
    std::string statusLine();
    std::string errorLine();
    void setText(std::string& field, std::string text);
    std::string text(const std::string& field);

    // Asks for a repaint of a band (any thread).
    void invalidate(const RECT& band);
    // Restores every indicator to its start value (before a restart).
    void resetIndicators();
};

extern MainWindow mainWindow;

// The status line, callable from any thread. An error stays until it is cleared; a status
// text is cleared by the data cycle 25 cycles after it was set.
void setStatus(const std::string& text, bool log);
void clearStatus();
void setError(const std::string& text);
void clearError();
// One data cycle passed: counts it and clears a status text that has been shown 25 cycles.
void statusCycle();

// Posts an application message to the main window; false when there is no window.
bool postToMainWindow(UINT message);

} // namespace qtr
