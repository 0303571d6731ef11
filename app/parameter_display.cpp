#include "app/parameter_display.h"

#include "app/main_window.h"
#include "foundation/log.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"

#include <fmt/format.h>

namespace qtr {

namespace {

void showText(const ParameterControl& control, const std::string& text)
{
    HWND edit = control.hwnd.load();
    if (edit == nullptr) return;
    std::wstring wide;
    try {
        wide = utf8ToUtf16(text);
    } catch (const std::exception& e) {
        // A stored text that is not UTF-8 is left out of the edit rather than ending the run.
        logLine(fmt::format("showText exception: {}", e.what()));
    }
    SetWindowTextW(edit, wide.c_str());
    mainWindow.invalidate(parametersBand);
}

} // namespace

void showIntParameter(const IntEditParameter& parameter) { showText(parameter, fmt::format("{}", parameter.value())); }

void showFloatParameter(const FloatEditParameter& parameter) { showText(parameter, gf_floatToText(parameter.value())); }

void showTextParameter(const TextBoxParameter& parameter) { showText(parameter, parameter.value()); }

void clearEditText(std::uint16_t controlId)
{
    if (HWND window = mainWindow.hWnd.load())
        if (HWND edit = GetDlgItem(window, controlId)) SetWindowTextW(edit, L"");
}

void gf_enableControl(const ParameterControl& control, bool enable)
{
    if (HWND window = control.hwnd.load()) EnableWindow(window, enable ? TRUE : FALSE);
}

} // namespace qtr
