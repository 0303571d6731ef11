#pragma once
// Parameters bound to a child control of the main window: a check box, an edit or a push
// button. The control part is the second base of each bound parameter.
#include "foundation/parameters/parameter.h"

#include <atomic>
#include <cstdint>

#include <windows.h>

namespace qtr {

class ParameterControl {
public:
    ParameterControl(std::uint16_t controlId, std::int32_t row) : id(controlId), y(row) {}
    virtual ~ParameterControl() = default;
    ParameterControl(const ParameterControl&) = delete;
    ParameterControl& operator=(const ParameterControl&) = delete;

    // Command id and child-window id.
    const std::uint16_t id;
    // Top of the control's row in the main window's client area.
    const std::int32_t y;
    // Set on the window thread at creation, read by the worker when it shows a value.
    std::atomic<HWND> hwnd{nullptr};
    // The edit's own procedure that subclassing replaced; every unhandled message goes there.
    std::atomic<WNDPROC> prevWndProc{nullptr};
};

class CheckBoxParameter : public BoolParameter, public ParameterControl {
public:
    CheckBoxParameter(std::string key, bool value, std::uint16_t controlId, std::int32_t row)
        : BoolParameter(std::move(key), value), ParameterControl(controlId, row) {}
};

class IntEditParameter : public IntParameter, public ParameterControl {
public:
    IntEditParameter(std::string key, std::int32_t value, std::int32_t minimum, std::int32_t maximum,
                     std::uint16_t controlId, std::int32_t row)
        : IntParameter(std::move(key), value, minimum, maximum), ParameterControl(controlId, row) {}
};

class FloatEditParameter : public FloatParameter, public ParameterControl {
public:
    FloatEditParameter(std::string key, float value, float minimum, float maximum, std::uint16_t controlId,
                       std::int32_t row)
        : FloatParameter(std::move(key), value, minimum, maximum), ParameterControl(controlId, row) {}
};

class TextBoxParameter : public StringParameter, public ParameterControl {
public:
    TextBoxParameter(std::string key, std::string value, std::uint16_t controlId, std::int32_t row)
        : StringParameter(std::move(key), std::move(value)), ParameterControl(controlId, row) {}
};

// No value: the name is the caption, and it is never stored.
class ButtonParameter : public Parameter, public ParameterControl {
public:
    ButtonParameter(std::string caption, std::uint16_t controlId, std::int32_t row)
        : Parameter(std::move(caption)), ParameterControl(controlId, row) {}
};

// The check-box click: when id is the box's id, flips the mark, stores the new state as the
// value, saves it and returns true; any other id changes nothing and returns false.
bool toggleCheckBoxParameter(HWND parent, UINT id, CheckBoxParameter& parameter);

// Control creation during the main window's WM_CREATE (create is that message's record).
// A check box is created enabled with its mark from the value; a button (caption = name) and
// an edit are created disabled. The edit is subclassed with proc; the replaced procedure is
// kept in prevWndProc. spare is unused.
void createParameterCheckBox(CheckBoxParameter& parameter, HWND parent, const CREATESTRUCTW* create, int x);
void createParameterButton(ButtonParameter& parameter, HWND parent, const CREATESTRUCTW* create, int x, int width);
void createParameterEdit(ParameterControl& control, HWND parent, const CREATESTRUCTW* create, int x, int width,
                         int spare, WNDPROC proc);

// Sets the box's mark from the current value (BM_SETCHECK; any thread).
void showCheckBoxParameter(const CheckBoxParameter& parameter);

} // namespace qtr
