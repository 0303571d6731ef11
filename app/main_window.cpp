#include "app/main_window.h"

#include "foundation/log.h"

namespace qtr {

MainWindow mainWindow;

MainWindow::MainWindow()
    : redBrush(CreateSolidBrush(RGB(255, 0, 0))),
      lightBlueBrush(CreateSolidBrush(RGB(153, 204, 255))),
      blackBrush(CreateSolidBrush(RGB(0, 0, 0))),
      greenBrush(CreateSolidBrush(RGB(50, 205, 50))),
      yellowBrush(CreateSolidBrush(RGB(255, 255, 0))),
      blackPen(CreatePen(PS_SOLID, 1, RGB(0, 0, 0))),
      whitePen(CreatePen(PS_SOLID, 1, RGB(255, 255, 255))),
      textFont(CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma"))
{
    ready.store(true);
}

// The brushes and pens live until the process ends.
MainWindow::~MainWindow() = default;

std::string MainWindow::statusLine()
{
    std::lock_guard lock(statusMutex);
    return statusText;
}

std::string MainWindow::errorLine()
{
    std::lock_guard lock(statusMutex);
    return errorText;
}

void MainWindow::setText(std::string& field, std::string value)
{
    std::lock_guard lock(statusMutex);
    field = std::move(value);
}

std::string MainWindow::text(const std::string& field)
{
    std::lock_guard lock(statusMutex);
    return field;
}

void MainWindow::invalidate(const RECT& band)
{
    if (HWND window = hWnd.load()) InvalidateRect(window, &band, TRUE);
}

void MainWindow::resetIndicators()
{
    {
        std::lock_guard lock(statusMutex);
        for (std::string* s : {&statusText, &errorText, &userAircraftText, &parkLineText1, &parkLineText2,
                               &qualityText, &simulatorText, &feedVersionText, &userStandText, &parkAirportText,
                               &reservedStandText})
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
    if (HWND window = hWnd.load()) InvalidateRect(window, nullptr, TRUE);
}

void setStatus(const std::string& text, bool log)
{
    std::lock_guard lock(mainWindow.statusMutex);
    if (!mainWindow.errorText.empty()) return;
    mainWindow.statusText = text;
    mainWindow.statusStamp = text.empty() ? 0 : std::max<std::uint32_t>(mainWindow.cycleCount.load(), 1);
    if (log && !text.empty()) logLineWhileRunning(text);
    mainWindow.invalidate(statusBand);
}

void clearStatus() { setStatus({}, true); }

void setError(const std::string& text)
{
    std::lock_guard lock(mainWindow.statusMutex);
    mainWindow.statusText.clear();
    mainWindow.statusStamp = 0;
    mainWindow.errorText = text;
    logLineWhileRunning("Error " + text);
    mainWindow.invalidate(statusBand);
}

void clearError()
{
    std::lock_guard lock(mainWindow.statusMutex);
    mainWindow.errorText.clear();
    mainWindow.invalidate(statusBand);
}

void statusCycle()
{
    const std::uint32_t cycle = ++mainWindow.cycleCount;
    // Tested and cleared under one lock: a text set between the two must not be cleared unseen.
    std::lock_guard lock(mainWindow.statusMutex);
    if (mainWindow.statusStamp == 0 || cycle - mainWindow.statusStamp < 25) return;
    if (!mainWindow.errorText.empty()) return;
    mainWindow.statusText.clear();
    mainWindow.statusStamp = 0;
    mainWindow.invalidate(statusBand);
}

bool postToMainWindow(UINT message)
{
    HWND window = mainWindow.hWnd.load();
    return window != nullptr && PostMessageW(window, message, 0, 0) != 0;
}

} // namespace qtr
