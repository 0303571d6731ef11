#include "foundation/parameters/parameter.h"

#include "foundation/log.h"

#include <fmt/format.h>

#include <algorithm>

namespace qtr {

StringParameter::StringParameter(std::string key, std::string value, unsigned loadLists)
    : Parameter(std::move(key), loadLists), default_(value), value_(std::move(value))
{
}

std::string StringParameter::value() const
{
    std::lock_guard lock(mutex_);
    return value_;
}

void StringParameter::setValue(std::string text)
{
    std::lock_guard lock(mutex_);
    value_ = std::move(text);
}

void StringParameter::set(std::string text)
{
    setValue(std::move(text));
    save();
}

void StringParameter::log() const { logLineWhileRunning(fmt::format("{}={}", name, value())); }

IntParameter::IntParameter(std::string key, std::int32_t value, std::int32_t minimum, std::int32_t maximum,
                           unsigned loadLists)
    : Parameter(std::move(key), loadLists), default_(value), minimum_(minimum), maximum_(maximum), value_(value)
{
}

std::int32_t IntParameter::clamp(std::int64_t v) const
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, minimum_, maximum_));
}

void IntParameter::log() const { logLineWhileRunning(fmt::format("{}={}", name, value())); }

FloatParameter::FloatParameter(std::string key, float value, float minimum, float maximum)
    : Parameter(std::move(key)), default_(value), minimum_(minimum), maximum_(maximum), value_(value)
{
}

float FloatParameter::clamp(float v) const { return std::clamp(v, minimum_, maximum_); }

BoolParameter::BoolParameter(std::string key, bool value, unsigned loadLists)
    : Parameter(std::move(key), loadLists), default_(value), value_(value)
{
}

void BoolParameter::log() const { logLineWhileRunning(fmt::format("{}={}", name, value() ? "true" : "false")); }

bool isLiveryFolderParameter(const std::string& name) { return name.find("lfolder") != std::string::npos; }

} // namespace qtr
