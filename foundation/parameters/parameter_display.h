#pragma once
// What the core asks of a parameter's control: show the value, empty an edit, enable or disable
// it (any thread). Windows-free on purpose: the window registers the hooks that touch its child
// windows; without them (no window yet, the core's tests) every call does nothing.
#include "foundation/parameters/parameter_control.h"

#include <cstdint>
#include <string>

namespace qtr {

// The value ("{}") into the parameter's edit, then a repaint of the parameter band.
void showIntParameter(const IntEditParameter& parameter);
// The value as gf_floatToText writes it, then a repaint of the parameter band.
void showFloatParameter(const FloatEditParameter& parameter);
// The text into the parameter's edit, then a repaint of the parameter band.
void showTextParameter(const TextBoxParameter& parameter);
// Sets the box's mark from the current value.
void showCheckBoxParameter(const CheckBoxParameter& parameter);
// Empties the edit with that id under the main window.
void clearEditText(std::uint16_t controlId);
// Enables or disables the parameter's control (nothing when it has none).
void gf_enableControl(const ParameterControl& control, bool enable);

// The window's side (window thread registers, any thread calls). Plain function pointers, so
// that a call is one atomic load; a null hook is skipped.
struct ParameterDisplayHooks {
    void (*showText)(const ParameterControl& control, const std::string& text) = nullptr;
    void (*showCheck)(const ParameterControl& control, bool checked) = nullptr;
    void (*clearEdit)(std::uint16_t controlId) = nullptr;
    void (*enable)(const ParameterControl& control, bool enable) = nullptr;
};
void setParameterDisplayHooks(const ParameterDisplayHooks& hooks);

} // namespace qtr
