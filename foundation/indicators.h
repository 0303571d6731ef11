#pragma once
// What the program shows a user: the status line, the lamps, the counts and the texts of the
// main window. Every subsystem writes them from its own thread; only the window reads them to
// paint. Windows-free on purpose: the core says which band changed, and the window (which
// registers itself below) turns that into a repaint of its own pixels.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace qtr {

// The horizontal bands of the main window, each repainted as a whole after a change.
enum class Band { header, links, parameters, statistics, status, whole };

// What the core asks of the window itself (not of what it paints).
enum class WindowRequest {
    startWorker,      // the run ended and a restart was decided
    endProgram,       // the run ended for good
    applyAlwaysOnTop, // ALWAYS_ON_TOP changed or was read
};

class Indicators {
public:
    // Guards the strings below and statusStamp (other threads assign them while the window
    // thread paints). Taken alone: nothing else is locked while it is held but the log's lock.
    std::mutex statusMutex;
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
    std::string parkAirportText;   // display text of the current park airport's entry; empty: none
    std::string reservedStandText; // the reserved stand's name; empty: none
    std::uint32_t statusStamp = 0; // cycle the status text was set in; 0: none

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
    std::atomic<std::uint32_t> parkWeek{0}; // week value of the park airport's data
    std::atomic<bool> parkingBusy{false};   // static parking is being placed
    std::atomic<std::int32_t> trafficLamp{3};
    std::atomic<std::int32_t> weatherLamp{3};

    // Copies of the status line under the lock, for painting and tests.
    std::string statusLine();
    std::string errorLine();
    void setText(std::string& field, std::string text);
    std::string text(const std::string& field);

    // Asks the window for a repaint of a band (any thread; nothing without a window).
    void invalidate(Band band);
    // Restores every indicator to its start value (before a restart) and repaints the window.
    void resetIndicators();
};

// Owned by no thread: each field is atomic or guarded by statusMutex.
extern Indicators indicators;

// The status line, callable from any thread. An error stays until it is cleared; a status
// text is cleared by the data cycle 25 cycles after it was set.
void setStatus(const std::string& text, bool log);
void clearStatus();
void setError(const std::string& text);
void clearError();
// One data cycle passed: counts it and clears a status text that has been shown 25 cycles.
void statusCycle();

// The window's side of the two hooks, registered by the window thread once its window exists
// and cleared before it is destroyed. Without them (tests, before the window) invalidations are
// dropped and requests answer false.
using RepaintHook = void (*)(Band band);
using WindowRequestHook = bool (*)(WindowRequest request);
void setWindowHooks(RepaintHook repaint, WindowRequestHook request);
// Hands a request to the window; false when there is no window to take it.
bool askWindow(WindowRequest request);

} // namespace qtr
