#include "foundation/parameters/parameter.h"

#include "foundation/log.h"
#include "foundation/paths.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace qtr {

namespace {

// One lock for every load, change and save of the file, so that saves from the window thread
// and the worker never interleave.
std::recursive_mutex& fileMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

bool textIsTrue(const char* text)
{
    switch (text[0]) {
    case '1': case 't': case 'T': case 'y': case 'Y': return true;
    default: return false;
    }
}

pugi::xml_node findElement(const pugi::xml_document& doc, const std::string& key)
{
    try {
        return doc.select_node(parameterXPath(key).c_str()).node();
    } catch (const pugi::xpath_exception&) {
        return {};
    }
}

// Writes to a temporary name and renames it over the old file, so a crash mid-save never
// leaves half a file.
bool saveDocumentAtomically(const pugi::xml_document& doc, const std::filesystem::path& path)
{
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    const std::filesystem::path temp = path.wstring() + L".tmp";
    if (!doc.save_file(temp.c_str())) return false;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace

std::string parameterXPath(const std::string& key)
{
    return std::string("/") + "parameters" + "/" + "parameter" + "[" + "@" + "name" + "=" + "'" + key + "'" + "]";
}

bool loadParametersDocument(pugi::xml_document& doc)
{
    std::lock_guard lock(fileMutex());
    return doc.load_file(parametersXmlPath().c_str());
}

void saveParameterValue(const std::string& key, const std::string& value)
{
    std::lock_guard lock(fileMutex());
    const auto& path = parametersXmlPath();
    pugi::xml_document doc;
    const bool loaded = doc.load_file(path.c_str());
    if (!loaded) {
        std::error_code ec;
        if (std::filesystem::exists(path, ec)) {
            // An existing file that does not parse is kept aside, not overwritten.
            auto aside = path;
            aside += ".broken";
            std::filesystem::rename(path, aside, ec);
            logMarked(fmt::format("\"{}\" could not be read and was kept as \"{}\"", path.string(), aside.string()));
        }
        doc.reset();
    }
    pugi::xml_node root = doc.child("parameters");
    if (!root) root = doc.append_child("parameters");
    pugi::xml_node element = findElement(doc, key);
    if (!element) {
        element = root.append_child("parameter");
        element.append_attribute("name") = key.c_str();
    }
    pugi::xml_attribute attribute = element.attribute("value");
    if (!attribute) attribute = element.append_attribute("value");
    attribute = value.c_str();
    logLineWhileRunning(fmt::format("{}={}", key, value));
    if (!saveDocumentAtomically(doc, path)) logLineWhileRunning("saving xml did not work?");
}

StringParameter::StringParameter(std::string key, std::string value)
    : Parameter(std::move(key)), default_(value), value_(std::move(value))
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

bool StringParameter::read(const pugi::xml_document& doc)
{
    const pugi::xml_node element = findElement(doc, name);
    setValue(element ? element.attribute("value").as_string() : default_);
    log();
    return static_cast<bool>(element);
}

void StringParameter::save() const { saveParameterValue(name, value()); }
void StringParameter::log() const { logLineWhileRunning(fmt::format("{}={}", name, value())); }

IntParameter::IntParameter(std::string key, std::int32_t value, std::int32_t minimum, std::int32_t maximum)
    : Parameter(std::move(key)), default_(value), minimum_(minimum), maximum_(maximum), value_(value)
{
}

std::int32_t IntParameter::clamp(std::int64_t v) const
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, minimum_, maximum_));
}

bool IntParameter::read(const pugi::xml_document& doc, bool logValue)
{
    const pugi::xml_node element = findElement(doc, name);
    setValue(element ? clamp(element.attribute("value").as_int()) : default_);
    if (logValue) log();
    return static_cast<bool>(element);
}

void IntParameter::save() const { saveParameterValue(name, fmt::format("{}", value())); }
void IntParameter::log() const { logLineWhileRunning(fmt::format("{}={}", name, value())); }

BoolParameter::BoolParameter(std::string key, bool value) : Parameter(std::move(key)), default_(value), value_(value) {}

bool BoolParameter::read(const pugi::xml_document& doc)
{
    const pugi::xml_node element = findElement(doc, name);
    setValue(element ? textIsTrue(element.attribute("value").as_string()) : default_);
    log();
    return static_cast<bool>(element);
}

void BoolParameter::save() const { saveParameterValue(name, value() ? "true" : "false"); }
void BoolParameter::log() const { logLineWhileRunning(fmt::format("{}={}", name, value() ? "true" : "false")); }

} // namespace qtr
