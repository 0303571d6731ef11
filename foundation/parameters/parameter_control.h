#pragma once
// Parameters bound to a child control of the main window: a check box, an edit or a push
// button. The control part is the second base of each bound parameter.
#include "foundation/parameters/parameter.h"

#include <atomic>
#include <cstdint>

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
    // The control's child window, opaque here so that the core holds it without Windows types
    // (only the window code turns it back into a handle). Set on the window thread at creation,
    // read by any thread; null while there is no control.
    std::atomic<void*> windowHandle{nullptr};
    // The edit's own window procedure that subclassing replaced (opaque, as the handle); every
    // unhandled message goes there.
    std::atomic<void*> previousProc{nullptr};
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

// The window creates and toggles the controls; the core reaches them through
// foundation/parameters/parameter_display.h.

} // namespace qtr
