#pragma once
// The program's entry path and main window procedure.
#include <windows.h>

#include <string>

namespace qtr {

inline constexpr const wchar_t* singleInstanceMutexName = L"Local\\$Quillmarsh$";
inline constexpr int appTitleResource = 101;
inline constexpr int appIconResource = 100;

int runApplication(HINSTANCE instance);
// The main window's class: its procedure, icon 100, black background; the class name is title.
bool registerMainWindowClass(HINSTANCE instance, const wchar_t* title);
// Creates the main window with the client area of the layout (clientWidth x clientHeight).
bool initInstance(HINSTANCE instance, const wchar_t* title);
// The outer size of a main window whose client area is width x height: its styles' frame and
// caption at the system's DPI.
SIZE outerSizeForClient(int width, int height);
LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Window position handling of the end of the program: stores the window's left/top edges,
// then puts back the remembered values where a stored edge lies on a bound.
void storeWindowPosition(const RECT& rect);
void revertPositionAtBound(int rememberedX, int rememberedY);

extern HWND currentWindow;

} // namespace qtr
