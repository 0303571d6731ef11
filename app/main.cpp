// The program's entry.
#include "app/window.h"
#include "foundation/log.h"
#include "foundation/win_text.h"

#include <windows.h>

#include <exception>
#include <string>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // One instance per desktop: a second start leaves at once, touching nothing.
    CreateMutexW(nullptr, FALSE, qtr::singleInstanceMutexName);
    if (GetLastError() == ERROR_ALREADY_EXISTS) return -1;
    try {
        qtr::gf_startLog();
    } catch (const std::exception& e) {
        std::wstring text = L"Quillmarsh cannot start: ";
        try {
            text += qtr::utf8ToUtf16(e.what());
        } catch (...) {
        }
        MessageBoxW(nullptr, text.c_str(), L"Quillmarsh", MB_OK | MB_ICONERROR);
        return 2;
    }
    return qtr::runApplication(instance);
}
