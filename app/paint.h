#pragma once
// Painting of the main window: five fixed bands drawn with GDI from the state in mainWindow and
// the parameter values (window thread only).
#include <windows.h>

#include <functional>
#include <string>

namespace qtr {

// Paints the whole client area; mainWindow.paintDc holds dc while it runs.
void paintWindow(HDC dc);

// Draws text with its top-left corner at x, y in colour; a text that is not UTF-8 is logged and
// left out, and painting goes on.
void drawText(int x, int y, const std::string& text, COLORREF colour);
// drawText in black when enabled, else in grey.
void drawLabel(int x, int y, const std::string& text, bool enabled);

void paintLiveriesPanel();
void paintQnh();
void paintSettingsLabels();
void paintStatistics();

// The park airport's line of the statistics band (name, publisher, week) runs from its left edge
// and is cut at its right edge, before the static marker "*S*" at x 370.
inline constexpr int parkLineLeft = 85;
inline constexpr int parkLineRight = 368;

// Colours of the window; each carries a meaning.
inline constexpr COLORREF greenColour = RGB(50, 205, 50);  // good values, header, status band
inline constexpr COLORREF yellowColour = RGB(255, 255, 0); // warnings, options that are on
inline constexpr COLORREF redColour = RGB(255, 0, 0);      // missing or failed
inline constexpr COLORREF lightBlueColour = RGB(153, 204, 255);
inline constexpr COLORREF blackColour = RGB(0, 0, 0);
inline constexpr COLORREF greyColour = RGB(160, 160, 160); // disabled or inactive settings

// One text as it was drawn, for tests that check what a paint put where.
struct DrawnText {
    int x = 0;
    int y = 0;
    std::string text;
    COLORREF colour = 0;
};
// When set, every text that drawText draws is handed to it (window thread, during the paint).
extern std::function<void(const DrawnText&)> drawnTextObserver;

} // namespace qtr
