#include "app/window.h"

#include "app/commands.h"
#include "app/controls.h"
#include "app/main_window.h"
#include "app/paint.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/parameters/parameters_file.h"
#include "foundation/paths.h"
#include "foundation/time_text.h"
#include "foundation/version.h"
#include "foundation/win_text.h"
#include "foundation/run_control.h"
#include "traffic/run/startup.h"
#include "traffic/run/worker.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <filesystem>
#include <thread>
#include <utility>

namespace qtr {

HWND currentWindow = nullptr;

namespace {

std::jthread workerThread;

void startWorker()
{
    // Every worker is detached at once, so the object never holds a joinable thread here and
    // the window thread never waits.
    workerThread = std::jthread([](std::stop_token) { workerMain(); });
    workerThread.detach();
}

void endProgram(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    storeWindowPosition(rect);
    logLine(timeToText(nowUtcSeconds()));
    closeLog();
    PostQuitMessage(0);
}

// After the close button, the worker has this long to see the stop and end the program itself.
// Any step of it may be stuck in something slow (a read, a scan, a network wait); the user's
// close must still end the program.
constexpr UINT_PTR closeDeadlineTimer = 1;
constexpr UINT closeDeadlineMs = 8000;

void armCloseDeadline(HWND window)
{
    static bool armed = false; // a second click does not push the deadline back
    if (std::exchange(armed, true)) return;
    SetTimer(window, closeDeadlineTimer, closeDeadlineMs, nullptr);
}

// The settings and lists are written by replacing whole files, so ending with the worker
// mid-step loses nothing already saved. The window position is not stored: the worker may be
// saving the settings file at this moment.
void endWithoutWorker(HWND window)
{
    KillTimer(window, closeDeadlineTimer);
    logLine(fmt::format("the worker did not end within {} s of the close: the program ends without it",
                        closeDeadlineMs / 1000));
    closeLog();
    ExitProcess(0);
}

// A position on a bound is no position the user chose: fall back to the default.
void settleStartPosition(IntParameter& parameter)
{
    if (parameter.value() == parameter.minimum() || parameter.value() == parameter.maximum()) {
        parameter.setValue(parameter.clamp(parameter.defaultValue()));
        parameter.save();
    }
}

// The system's DPI, when this Windows can tell it (96, the unscaled DPI, otherwise).
UINT systemDpi()
{
    using DpiForSystem = UINT(WINAPI*)();
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const auto dpi =
        reinterpret_cast<DpiForSystem>(reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetDpiForSystem")));
    return dpi != nullptr ? dpi() : 96;
}

// A frame drawn differently than announced (themes, window managers) would still cut the layout:
// the window grows or shrinks by what the client area is off.
void fitClientArea(HWND window)
{
    RECT client{};
    RECT outer{};
    if (!GetClientRect(window, &client) || !GetWindowRect(window, &outer)) return;
    const int dx = clientWidth - (client.right - client.left);
    const int dy = clientHeight - (client.bottom - client.top);
    if (dx == 0 && dy == 0) return;
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + dx, outer.bottom - outer.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

SIZE outerSizeForClient(int width, int height)
{
    RECT rect{0, 0, width, height};
    using AdjustForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const auto adjustForDpi = reinterpret_cast<AdjustForDpi>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "AdjustWindowRectExForDpi")));
    if (adjustForDpi != nullptr)
        adjustForDpi(&rect, mainWindowStyle, FALSE, mainWindowExStyle, systemDpi());
    else
        AdjustWindowRectEx(&rect, mainWindowStyle, FALSE, mainWindowExStyle);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

void storeWindowPosition(const RECT& rect)
{
    const int rememberedX = MAIN_WINDOW_X.value();
    const int rememberedY = MAIN_WINDOW_Y.value();
    MAIN_WINDOW_X.setValue(MAIN_WINDOW_X.clamp(rect.left));
    MAIN_WINDOW_X.save();
    MAIN_WINDOW_Y.setValue(MAIN_WINDOW_Y.clamp(rect.top));
    MAIN_WINDOW_Y.save();
    revertPositionAtBound(rememberedX, rememberedY);
}

void revertPositionAtBound(int rememberedX, int rememberedY)
{
    for (auto [parameter, remembered] :
         {std::pair{&MAIN_WINDOW_X, rememberedX}, std::pair{&MAIN_WINDOW_Y, rememberedY}}) {
        if (parameter->value() == parameter->minimum() || parameter->value() == parameter->maximum()) {
            parameter->setValue(parameter->clamp(remembered));
            parameter->save();
        }
    }
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    currentWindow = window;
    switch (message) {
    case WM_CREATE:
        createControls(window, reinterpret_cast<const CREATESTRUCTW*>(lParam));
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        paintWindow(dc);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_COMMAND:
        if (!lf_HandleWMCOMMAND(window, wParam)) return DefWindowProcW(window, message, wParam, lParam);
        return 0;
    case WM_CLOSE:
        setStatus(fmt::format("Close window button clicked, closing {} ...", programName), false);
        requestUserClose();
        armCloseDeadline(window);
        return 0;
    case WM_TIMER:
        if (wParam != closeDeadlineTimer) return DefWindowProcW(window, message, wParam, lParam);
        endWithoutWorker(window);
        return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, RGB(153, 204, 255));
        return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
    }
    case WM_APP_START_WORKER:
        startWorker();
        return 0;
    case WM_APP_END_PROGRAM:
        endProgram(window);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool initInstance(HINSTANCE instance, const wchar_t* title)
{
    for (int sleeps = 0; !mainWindow.ready.load(); ++sleeps) {
        if (sleeps == 18) return false;
        Sleep(50);
    }
    pugi::xml_document doc;
    if (loadParametersDocument(doc)) {
        MAIN_WINDOW_X.read(doc, false);
        MAIN_WINDOW_Y.read(doc, false);
        settleStartPosition(MAIN_WINDOW_X);
        settleStartPosition(MAIN_WINDOW_Y);
    }
    const SIZE outer = outerSizeForClient(clientWidth, clientHeight);
    HWND window = CreateWindowExW(mainWindowExStyle, title, title, mainWindowStyle, MAIN_WINDOW_X.value(),
                                  MAIN_WINDOW_Y.value(), outer.cx, outer.cy, nullptr, nullptr, instance, nullptr);
    mainWindow.hWnd.store(window);
    if (window == nullptr) return false;
    fitClientArea(window);
    ShowWindow(window, SW_SHOW);
    return UpdateWindow(window) != 0;
}

bool registerMainWindowClass(HINSTANCE instance, const wchar_t* title)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(appIconResource));
    wc.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(appIconResource));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = CreateSolidBrush(RGB(0, 0, 0));
    wc.lpszClassName = title;
    return RegisterClassExW(&wc) != 0;
}

int runApplication(HINSTANCE instance)
{
    wchar_t title[100] = {};
    if (LoadStringW(instance, appTitleResource, title, 100) == 0) {
        logLine("Failed to load application title");
        return 0;
    }
    if (!registerMainWindowClass(instance, title)) {
        (void)GetLastError();
        logLine("Failed to register window class");
        return 0;
    }
    if (!initInstance(instance, title)) {
        logLine("initInstance failed");
        return 0;
    }
    try {
        if (!std::filesystem::exists(dataFolder())) std::filesystem::create_directories(dataFolder());
    } catch (const std::exception& e) {
        logLine(fmt::format("Failed to create directory: {}", e.what()));
        return 0;
    }
    if (HWND window = mainWindow.hWnd.load()) PostMessageW(window, WM_APP_START_WORKER, 0, 0);
    MSG msg;
    BOOL result;
    while ((result = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (!TranslateAcceleratorW(msg.hwnd, nullptr, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

} // namespace qtr
