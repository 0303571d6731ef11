#pragma once
// The main window's own resources: its bands, brushes, pens and font, and its handle. What it
// shows lives in the core's indicators, which ask it for repaints through its hooks.
#include "foundation/indicators.h"
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

// The client area that the bands fill exactly; the window's outer size follows from it
// (mainWindowStyle, the frame and caption at the window's DPI).
inline constexpr int clientWidth = 880;
inline constexpr int clientHeight = statusBand.bottom;
inline constexpr DWORD mainWindowStyle = WS_CAPTION | WS_SYSMENU;
inline constexpr DWORD mainWindowExStyle = 0;
inline constexpr UINT WM_APP_START_WORKER = WM_APP + 1;
inline constexpr UINT WM_APP_END_PROGRAM = WM_APP + 2;

// One line of the parameter band's grid.
struct GridLine {
    POINT from;
    POINT to;
};

class MainWindow {
public:
    // Also registers the window's repaint, request and parameter-display hooks with the core;
    // they do nothing while there is no window handle.
    MainWindow();
    virtual ~MainWindow();

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

    HDC paintDc = nullptr;
    std::atomic<HWND> hWnd{nullptr};
    std::atomic<bool> ready{false}; // the brushes and pens exist (set by the constructor)

    // Asks for a repaint of a band (any thread).
    void invalidate(const RECT& band);
};

extern MainWindow mainWindow;

// The screen rectangle of a band of the client area.
const RECT& bandRect(Band band);

} // namespace qtr
