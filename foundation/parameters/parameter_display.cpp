#include "foundation/parameters/parameter_display.h"

#include "foundation/indicators.h"
#include "foundation/utilities.h"

#include <fmt/format.h>

#include <atomic>

namespace qtr {

namespace {

using ShowTextHook = void (*)(const ParameterControl&, const std::string&);
using ShowCheckHook = void (*)(const ParameterControl&, bool);
using ClearEditHook = void (*)(std::uint16_t);
using EnableHook = void (*)(const ParameterControl&, bool);

// Written by the window thread when it registers, read by any thread.
std::atomic<ShowTextHook> showTextHook{nullptr};
std::atomic<ShowCheckHook> showCheckHook{nullptr};
std::atomic<ClearEditHook> clearEditHook{nullptr};
std::atomic<EnableHook> enableHook{nullptr};

void showText(const ParameterControl& control, const std::string& text)
{
    if (ShowTextHook hook = showTextHook.load()) hook(control, text);
    indicators.invalidate(Band::parameters);
}

} // namespace

void setParameterDisplayHooks(const ParameterDisplayHooks& hooks)
{
    showTextHook.store(hooks.showText);
    showCheckHook.store(hooks.showCheck);
    clearEditHook.store(hooks.clearEdit);
    enableHook.store(hooks.enable);
}

void showIntParameter(const IntEditParameter& parameter) { showText(parameter, fmt::format("{}", parameter.value())); }

void showFloatParameter(const FloatEditParameter& parameter) { showText(parameter, gf_floatToText(parameter.value())); }

void showTextParameter(const TextBoxParameter& parameter) { showText(parameter, parameter.value()); }

void showCheckBoxParameter(const CheckBoxParameter& parameter)
{
    if (ShowCheckHook hook = showCheckHook.load()) hook(parameter, parameter.value());
}

void clearEditText(std::uint16_t controlId)
{
    if (ClearEditHook hook = clearEditHook.load()) hook(controlId);
}

void gf_enableControl(const ParameterControl& control, bool enable)
{
    if (EnableHook hook = enableHook.load()) hook(control, enable);
}

} // namespace qtr
