#include "app/parameter_display.h"

#include "app/main_window.h"
#include "foundation/log.h"
#include "foundation/win_text.h"

#include <fmt/format.h>

namespace qtr {

namespace {

constexpr DWORD checkBoxStyle = 0x50000002; // child, visible, check box that does not toggle itself
constexpr DWORD buttonStyle = 0x50000001;   // child, visible, default push button
// Child, visible, border; and scrolling sideways, without which a narrow edit (34 pixels for
// MAX_LIVE) refuses the third digit of a valid value as the user types it.
constexpr DWORD editStyle = 0x50800000 | ES_AUTOHSCROLL;

HWND createChild(const wchar_t* windowClass, const wchar_t* text, DWORD style, int x, int y, int width, int height,
                 HWND parent, std::uint16_t id, const CREATESTRUCTW* create)
{
    return CreateWindowExW(0, windowClass, text, style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), create ? create->hInstance : nullptr,
                           nullptr);
}

void showText(const ParameterControl& control, const std::string& text)
{
    HWND edit = controlWindow(control);
    if (edit == nullptr) return;
    std::wstring wide;
    try {
        wide = utf8ToUtf16(text);
    } catch (const std::exception& e) {
        // A stored text that is not UTF-8 is left out of the edit rather than ending the run.
        logLine(fmt::format("showText exception: {}", e.what()));
    }
    SetWindowTextW(edit, wide.c_str());
}

void showCheck(const ParameterControl& control, bool checked)
{
    if (HWND box = controlWindow(control)) SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void clearEdit(std::uint16_t controlId)
{
    if (HWND window = mainWindow.hWnd.load())
        if (HWND edit = GetDlgItem(window, controlId)) SetWindowTextW(edit, L"");
}

void enable(const ParameterControl& control, bool enable)
{
    if (HWND window = controlWindow(control)) EnableWindow(window, enable ? TRUE : FALSE);
}

} // namespace

HWND controlWindow(const ParameterControl& control) { return static_cast<HWND>(control.windowHandle.load()); }

WNDPROC previousEditProc(const ParameterControl& control)
{
    return reinterpret_cast<WNDPROC>(control.previousProc.load());
}

void registerParameterDisplay() { setParameterDisplayHooks({showText, showCheck, clearEdit, enable}); }

bool toggleCheckBoxParameter(HWND parent, UINT id, CheckBoxParameter& parameter)
{
    if (id != parameter.id) return false;
    const bool wasChecked = IsDlgButtonChecked(parent, static_cast<int>(id)) == BST_CHECKED;
    CheckDlgButton(parent, static_cast<int>(id), wasChecked ? BST_UNCHECKED : BST_CHECKED);
    parameter.setValue(!wasChecked);
    parameter.save();
    return true;
}

void createParameterCheckBox(CheckBoxParameter& parameter, HWND parent, const CREATESTRUCTW* create, int x)
{
    HWND box = createChild(L"button", L"", checkBoxStyle, x, parameter.y + checkBoxDrop, checkBoxSide, checkBoxSide,
                           parent, parameter.id, create);
    parameter.windowHandle.store(box);
    CheckDlgButton(parent, parameter.id, parameter.value() ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(box, TRUE);
}

void createParameterButton(ButtonParameter& parameter, HWND parent, const CREATESTRUCTW* create, int x, int width)
{
    const std::wstring caption = utf8ToUtf16(parameter.name);
    HWND button = createChild(L"button", caption.c_str(), buttonStyle, x, parameter.y, width, buttonHeight, parent,
                              parameter.id, create);
    parameter.windowHandle.store(button);
    EnableWindow(button, FALSE);
}

void createParameterEdit(ParameterControl& control, HWND parent, const CREATESTRUCTW* create, int x, int width,
                         int /*spare*/, WNDPROC proc)
{
    HWND edit = createChild(L"Edit", L"", editStyle, x, control.y, width, editHeight, parent, control.id, create);
    control.windowHandle.store(edit);
    if (edit != nullptr && proc != nullptr) {
        // The previous procedure is stored before any message can reach the new one from this
        // thread's queue.
        const LONG_PTR previous = GetWindowLongPtrW(edit, GWLP_WNDPROC);
        control.previousProc.store(reinterpret_cast<void*>(previous));
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
    }
    EnableWindow(edit, FALSE);
}

} // namespace qtr
