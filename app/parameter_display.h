#pragma once
// Writing parameter values into their edit controls (any thread).
#include "foundation/parameters/parameter_control.h"

namespace qtr {

// The value ("{}") into the parameter's edit, then a repaint of the parameter band.
void showIntParameter(const IntEditParameter& parameter);
// The text into the parameter's edit, then a repaint of the parameter band.
void showTextParameter(const TextBoxParameter& parameter);
// The value ("2", "2.5") into the parameter's edit, then a repaint of the parameter band.
void showFloatParameter(const FloatEditParameter& parameter);
// Enables or disables the parameter's control (nothing while it has none; any thread).
void enableParameterControl(const ParameterControl& control, bool enable);

} // namespace qtr
