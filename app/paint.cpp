#include "app/paint.h"

#include "app/main_window.h"
#include "foundation/log.h"
#include "foundation/version.h"
#include "foundation/win_text.h"

#include <fmt/format.h>

namespace qtr {

namespace {

void drawText(HDC dc, int x, int y, const std::string& text, COLORREF colour)
{
    if (text.empty()) return;
    try {
        const std::wstring wide = utf8ToUtf16(text);
        SetTextColor(dc, colour);
        SetBkMode(dc, TRANSPARENT);
        TextOutW(dc, x, y, wide.c_str(), static_cast<int>(wide.size()));
    } catch (const std::exception& e) {
        logMarked(fmt::format("exception in drawText: {}", e.what()));
    }
}

} // namespace

void paintWindow(HDC dc)
{
    mainWindow.paintDc = dc;
    FillRect(dc, &headerBand, mainWindow.blackBrush);
    drawText(dc, 6, 6, fmt::format("{} {}", programName, programVersion().toString()), RGB(255, 255, 255));
    FillRect(dc, &linksBand, mainWindow.blackBrush);
    FillRect(dc, &parametersBand, mainWindow.lightBlueBrush);
    FillRect(dc, &statisticsBand, mainWindow.blackBrush);
    {
        std::lock_guard lock(mainWindow.statusMutex);
        const bool error = !mainWindow.errorText.empty();
        FillRect(dc, &statusBand, error ? mainWindow.redBrush : mainWindow.greenBrush);
        drawText(dc, 3, 455, error ? mainWindow.errorText : mainWindow.statusText, RGB(255, 255, 0));
    }
    mainWindow.paintDc = nullptr;
}

} // namespace qtr
