#pragma once
// Writing parameter values into their controls (any thread: the calls only set a control's text
// or state, which Windows hands to the window thread).
#include "foundation/parameters/parameter_control.h"

#include <cstdint>

namespace qtr {

// The value ("{}") into the parameter's edit, then a repaint of the parameter band.
void showIntParameter(const IntEditParameter& parameter);
// The value as gf_floatToText writes it, then a repaint of the parameter band.
void showFloatParameter(const FloatEditParameter& parameter);
// The text into the parameter's edit, then a repaint of the parameter band.
void showTextParameter(const TextBoxParameter& parameter);
// Empties the edit with that id under the main window.
void clearEditText(std::uint16_t controlId);
// Enables or disables the parameter's control (nothing when it has none).
void gf_enableControl(const ParameterControl& control, bool enable);

} // namespace qtr
