#include "app/main_window.h"
#include "app/parameter_display.h"

#include "foundation/parameters/parameter_table.h"

namespace qtr {

MainWindow mainWindow;

namespace {
void repaintBand(Band band);
bool handleWindowRequest(WindowRequest request);
} // namespace

MainWindow::MainWindow()
    : redBrush(CreateSolidBrush(RGB(255, 0, 0))), lightBlueBrush(CreateSolidBrush(RGB(153, 204, 255))),
      blackBrush(CreateSolidBrush(RGB(0, 0, 0))), greenBrush(CreateSolidBrush(RGB(50, 205, 50))),
      yellowBrush(CreateSolidBrush(RGB(255, 255, 0))), blackPen(CreatePen(PS_SOLID, 1, RGB(0, 0, 0))),
      whitePen(CreatePen(PS_SOLID, 1, RGB(255, 255, 255))),
      textFont(CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma"))
{
    setWindowHooks(repaintBand, handleWindowRequest);
    registerParameterDisplay();
    ready.store(true);
}

// The brushes and pens live until the process ends.
MainWindow::~MainWindow() = default;

void MainWindow::invalidate(const RECT& band)
{
    if (HWND window = hWnd.load()) InvalidateRect(window, &band, TRUE);
}

const RECT& bandRect(Band band)
{
    static constexpr RECT whole{0, 0, clientWidth, clientHeight};
    switch (band) {
    case Band::header:
        return headerBand;
    case Band::links:
        return linksBand;
    case Band::parameters:
        return parametersBand;
    case Band::statistics:
        return statisticsBand;
    case Band::status:
        return statusBand;
    case Band::whole:
        break;
    }
    return whole;
}

namespace {

void repaintBand(Band band)
{
    HWND window = mainWindow.hWnd.load();
    if (window == nullptr) return;
    InvalidateRect(window, band == Band::whole ? nullptr : &bandRect(band), TRUE);
}

bool handleWindowRequest(WindowRequest request)
{
    HWND window = mainWindow.hWnd.load();
    if (window == nullptr) return false;
    switch (request) {
    case WindowRequest::startWorker:
        return PostMessageW(window, WM_APP_START_WORKER, 0, 0) != 0;
    case WindowRequest::endProgram:
        return PostMessageW(window, WM_APP_END_PROGRAM, 0, 0) != 0;
    case WindowRequest::applyAlwaysOnTop:
        return SetWindowPos(window, ALWAYS_ON_TOP.value() ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                            SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE) != 0;
    }
    return false;
}

} // namespace

} // namespace qtr
