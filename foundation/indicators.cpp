#include "foundation/indicators.h"

#include "foundation/log.h"

#include <algorithm>
#include <initializer_list>

namespace qtr {

Indicators indicators;

namespace {
// Written by the window thread, read by any: plain function pointers, so one atomic load each.
std::atomic<RepaintHook> repaintHook{nullptr};
std::atomic<WindowRequestHook> windowRequestHook{nullptr};
} // namespace

void setWindowHooks(RepaintHook repaint, WindowRequestHook request)
{
    repaintHook.store(repaint);
    windowRequestHook.store(request);
}

bool askWindow(WindowRequest request)
{
    WindowRequestHook hook = windowRequestHook.load();
    return hook != nullptr && hook(request);
}

std::string Indicators::statusLine()
{
    std::lock_guard lock(statusMutex);
    return statusText;
}

std::string Indicators::errorLine()
{
    std::lock_guard lock(statusMutex);
    return errorText;
}

void Indicators::setText(std::string& field, std::string value)
{
    std::lock_guard lock(statusMutex);
    field = std::move(value);
}

std::string Indicators::text(const std::string& field)
{
    std::lock_guard lock(statusMutex);
    return field;
}

void Indicators::invalidate(Band band)
{
    if (RepaintHook hook = repaintHook.load()) hook(band);
}

void Indicators::resetIndicators()
{
    {
        std::lock_guard lock(statusMutex);
        for (std::string* s : {&statusText, &errorText, &userAircraftText, &parkLineText1, &parkLineText2, &qualityText,
                               &simulatorText, &feedVersionText, &userStandText, &parkAirportText, &reservedStandText})
            s->clear();
        statusStamp = 0;
    }
    cycleCount = 0;
    notRunning = true;
    feedConnected = false;
    parkAirportLoaded = false;
    simConnected = false;
    flightLoaded = false;
    aircraftKnown = true;
    hMarkFlag = false;
    qnh = 0;
    maxPark = 0;
    averageFitStatic = -1.0f;
    averageFitLive = -1.0f;
    staticMarker = false;
    reservedStandOk = false;
    parkWeek = 0;
    parkingBusy = false;
    updateCount = 0;
    liveCount = 0;
    parkedLiveCount = 0;
    parkedStaticCount = 0;
    standCount = 0;
    trafficLamp = 3;
    weatherLamp = 3;
    invalidate(Band::whole);
}

void setStatus(const std::string& text, bool log)
{
    std::lock_guard lock(indicators.statusMutex);
    if (!indicators.errorText.empty()) return;
    indicators.statusText = text;
    indicators.statusStamp = text.empty() ? 0 : std::max<std::uint32_t>(indicators.cycleCount.load(), 1);
    if (log && !text.empty()) logLineWhileRunning(text);
    indicators.invalidate(Band::status);
}

void clearStatus() { setStatus({}, true); }

void setError(const std::string& text)
{
    std::lock_guard lock(indicators.statusMutex);
    indicators.statusText.clear();
    indicators.statusStamp = 0;
    indicators.errorText = text;
    logLineWhileRunning("Error " + text);
    indicators.invalidate(Band::status);
}

void clearError()
{
    std::lock_guard lock(indicators.statusMutex);
    indicators.errorText.clear();
    indicators.invalidate(Band::status);
}

void statusCycle()
{
    const std::uint32_t cycle = ++indicators.cycleCount;
    // Tested and cleared under one lock: a text set between the two must not be cleared unseen.
    std::lock_guard lock(indicators.statusMutex);
    if (indicators.statusStamp == 0 || cycle - indicators.statusStamp < 25) return;
    if (!indicators.errorText.empty()) return;
    indicators.statusText.clear();
    indicators.statusStamp = 0;
    indicators.invalidate(Band::status);
}

} // namespace qtr
