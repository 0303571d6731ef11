#pragma once
// Parameters bound to a child control of the main window: a check box, an edit or a push
// button. The control part is the second base of each bound parameter.
#include "foundation/parameters/parameter.h"

#include <atomic>
#include <cstdint>

namespace qtr {

// How the label painted beside a control is coloured.
enum class LabelStyle {
    plain,             // black
    yellowWhenOn,      // yellow while the check box is on
    yellowWhenOff,     // yellow while the check box is off (an option that is normally on)
    greyWhenDisabled,  // grey while the control is disabled
    greyWhenOff,       // grey while the check box is off
    yellowWhenChanged, // yellow while the integer is not its default, else grey
};

// A control's place in the main window and its label; one per control-bound setting.
struct ControlPlace {
    std::uint16_t id = 0;        // command id and child-window id
    std::int32_t y = 0;          // top of the control's row in the client area
    std::int32_t x = 0;          // left edge
    std::int32_t width = 0;      // edits and buttons (a check box is 12 x 12)
    std::int32_t tab = 0;        // place in the order of creation (tab and z order), from 1
    const char* label = nullptr; // painted at labelX on the control's row; null: none of its own
    std::int32_t labelX = 0;
    LabelStyle labelStyle = LabelStyle::plain;
};

class ParameterControl {
public:
    explicit ParameterControl(const ControlPlace& place) : id(place.id), y(place.y), place_(place) {}
    virtual ~ParameterControl() = default;
    ParameterControl(const ParameterControl&) = delete;
    ParameterControl& operator=(const ParameterControl&) = delete;

    // Command id and child-window id.
    const std::uint16_t id;
    // Top of the control's row in the main window's client area.
    const std::int32_t y;
    const ControlPlace& place() const { return place_; }
    // The control's child window, opaque here so that the core holds it without Windows types
    // (only the window code turns it back into a handle). Set on the window thread at creation,
    // read by any thread; null while there is no control.
    std::atomic<void*> windowHandle{nullptr};
    // The edit's own window procedure that subclassing replaced (opaque, as the handle); every
    // unhandled message goes there.
    std::atomic<void*> previousProc{nullptr};

private:
    const ControlPlace place_;
};

class CheckBoxParameter : public BoolParameter, public ParameterControl {
public:
    CheckBoxParameter(std::string key, bool value, const ControlPlace& place, unsigned loadLists = 0)
        : BoolParameter(std::move(key), value, loadLists), ParameterControl(place)
    {
    }
};

class IntEditParameter : public IntParameter, public ParameterControl {
public:
    IntEditParameter(std::string key, std::int32_t value, std::int32_t minimum, std::int32_t maximum,
                     const ControlPlace& place, unsigned loadLists = 0)
        : IntParameter(std::move(key), value, minimum, maximum, loadLists), ParameterControl(place)
    {
    }
};

class FloatEditParameter : public FloatParameter, public ParameterControl {
public:
    FloatEditParameter(std::string key, float value, float minimum, float maximum, const ControlPlace& place)
        : FloatParameter(std::move(key), value, minimum, maximum), ParameterControl(place)
    {
    }
};

class TextBoxParameter : public StringParameter, public ParameterControl {
public:
    TextBoxParameter(std::string key, std::string value, const ControlPlace& place, unsigned loadLists = 0)
        : StringParameter(std::move(key), std::move(value), loadLists), ParameterControl(place)
    {
    }
};

// No value: the name is the caption, and it is never stored.
class ButtonParameter : public Parameter, public ParameterControl {
public:
    ButtonParameter(std::string caption, const ControlPlace& place)
        : Parameter(std::move(caption)), ParameterControl(place)
    {
    }
};

// A rectangle of the main window's client area; right and bottom lie just outside it.
struct ClientBox {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// The controls' sizes beside their row's x, y and width: a check box is a square 2 pixels below
// its row, an edit and a push button have a fixed height (a button starts at its own y).
inline constexpr std::int32_t checkBoxSide = 12;
inline constexpr std::int32_t checkBoxDrop = 2;
inline constexpr std::int32_t editHeight = 16;
inline constexpr std::int32_t buttonHeight = 20;

// Where the window creates the control (so that a layout can be checked without a window).
ClientBox controlBox(const ParameterControl& control);

// The window creates and toggles the controls; the core reaches them through
// foundation/parameters/parameter_display.h.

} // namespace qtr
