#pragma once
#include <windows.h>

namespace qtr {
// Paints the main window's client area (window thread only).
void paintWindow(HDC dc);
} // namespace qtr
