#include "foundation/parameters/parameters_file.h"

#include "foundation/text_files.h"

#include "foundation/indicators.h"
#include "foundation/parameters/parameter_display.h"
#include "foundation/log.h"
#include "foundation/os_files.h"
#include "foundation/paths.h"
#include "foundation/win_text.h"

#include <fmt/format.h>

#include <filesystem>
#include <system_error>

namespace qtr {

namespace {

// One lock for every load, change and save of the file, so that saves from the window thread
// and the worker never interleave. Recursive: the load removes empty livery folders through
// removeParameter while it holds the lock.
std::recursive_mutex& fileMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

std::string pathText(const std::filesystem::path& path)
{
    try {
        return pathToUtf8(path);
    } catch (const std::exception&) {
        return path.string();
    }
}

// A heading framed by asterisks for the parameters list in the log.
std::string lf_framedLine(std::int64_t a, std::int64_t b, bool lead, bool trail, const std::string& text)
{
    std::string line = lead ? "\n" : "";
    std::int64_t n = a + b;
    if (n % 2 != 0) ++n;
    if (text.empty()) {
        line.append(static_cast<std::size_t>(n), '*');
    } else if (n > static_cast<std::int64_t>(text.size()) + 2) {
        const std::string stars(static_cast<std::size_t>(n / 2 - 1), '*');
        line += stars + " " + text + " " + stars;
    } else {
        line += text;
    }
    if (trail) line += "\n";
    return line;
}

bool textIsTrue(const char* text)
{
    switch (text[0]) {
    case '1':
    case 't':
    case 'T':
    case 'y':
    case 'Y':
        return true;
    default:
        return false;
    }
}

const char* boolText(bool value) { return value ? "true" : "false"; }

pugi::xml_node findElement(const pugi::xml_document& doc, const std::string& key)
{
    try {
        return doc.select_node(parameterXPath(key).c_str()).node();
    } catch (const pugi::xpath_exception&) {
        return {};
    }
}

// Writes to a temporary name and renames it over the old file, so that a crash mid-save never
// leaves half a file.
bool lf_saveDocument(const pugi::xml_document& doc, const std::filesystem::path& path)
{
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    return gf_saveXmlReplacing(doc, path);
}

// Save with a log line either way.
bool lf_saveXml(const pugi::xml_document& doc, const std::filesystem::path& path)
{
    const bool saved = lf_saveDocument(doc, path);
    logLine(saved ? fmt::format("\"{}\" saved", pathText(path))
                  : fmt::format("could not save to \"{}\"", pathText(path)));
    return saved;
}

// What the last load of the file met, for the status line; guarded by fileMutex.
std::string loadProblem;

// A parse error means the bytes are no settings file; anything else (the file could not be
// opened or read, memory ran out) may pass, and the file may well be fine the next time.
bool isParseError(const pugi::xml_parse_result& result)
{
    switch (result.status) {
    case pugi::status_file_not_found:
    case pugi::status_io_error:
    case pugi::status_out_of_memory:
    case pugi::status_internal_error:
        return false;
    default:
        return true;
    }
}

// After a failed load: true when a fresh file may be written at path. A missing file may be
// created. A file that exists but is no valid settings file holds the user's settings, so it is
// moved aside under a free name first, and when even that fails nothing may be written. A file
// that could not be read for another reason is left alone and not written either.
bool lf_makeRoomForFreshFile(const std::filesystem::path& path, const pugi::xml_parse_result& result)
{
    std::error_code ec;
    const bool exists = std::filesystem::exists(path, ec);
    if (!exists && !ec) return true;
    if (!isParseError(result)) {
        loadProblem = fmt::format("{} could not be read ({}), default settings are used until it can",
                                  pathText(path.filename()), ec ? ec.message() : std::string(result.description()));
        logMarked(fmt::format("\"{}\" could not be read ({}) and is left as it is", pathText(path),
                              ec ? ec.message() : std::string(result.description())));
        return false;
    }
    std::filesystem::path aside;
    for (int n = 1; n < 1000; ++n) {
        aside = path;
        aside += n == 1 ? std::string(".broken") : ".broken" + std::to_string(n);
        if (!std::filesystem::exists(aside, ec) && !ec) break;
        aside.clear();
    }
    if (!aside.empty() && gf_moveFileAside(path, aside)) {
        loadProblem = fmt::format("{} was no valid settings file ({}), kept as {}; default settings are used",
                                  pathText(path.filename()), result.description(), pathText(aside.filename()));
        logMarked(fmt::format("\"{}\" could not be read ({}), kept as \"{}\"", pathText(path), result.description(),
                              pathText(aside)));
        return true;
    }
    loadProblem = fmt::format("{} is no valid settings file ({}), default settings are used", pathText(path.filename()),
                              result.description());
    logMarked(fmt::format("\"{}\" could not be read ({}) and is left as it is", pathText(path), result.description()));
    return false;
}

// Sets the value attribute, adding it when the element has none.
void setValueAttribute(pugi::xml_node element, const std::string& text)
{
    pugi::xml_attribute attribute = element.attribute(valueAttribute.c_str());
    if (!attribute) attribute = element.append_attribute(valueAttribute.c_str());
    attribute.set_value(text.c_str());
}

// Append after a read that found nothing, when the document has a `parameters` element.
void appendWhenMissing(pugi::xml_document& doc, bool found, const std::string& key, const std::string& text)
{
    if (found) return;
    if (pugi::xml_node root = doc.child("parameters")) appendParameterNode(root, key, text);
}

void reportAddFailure(const std::string& key, const std::string& text)
{
    logLineWhileRunning(fmt::format("{}adding init xml parameter {} with {} failed!", "===> ", key, text));
}

// A settings folder that cannot be written: the program runs on with what it has, and the user
// learns that a change will not outlast this run.
void reportUnsavedSetting(const std::string& key, const std::string& text)
{
    logLineWhileRunning("saving xml did not work?");
    setStatus(fmt::format("{}={} could not be saved, it holds for this run only", key, text), false);
}

// After a load whose save failed: the start tells the user once, unless a worse problem of the
// file is told already.
void noteUnsavedFile(const std::filesystem::path& path)
{
    if (loadProblem.empty())
        loadProblem =
            fmt::format("Settings cannot be saved in {}, changes hold for this run only", pathText(path.parent_path()));
}

void removeFromDocument(pugi::xml_document& doc, const std::string& key)
{
    pugi::xml_node element = findElement(doc, key);
    if (element) element.parent().remove_child(element);
}

} // namespace

std::string parameterXPath(const std::string& key)
{
    return std::string("/") + "parameters" + "/" + "parameter" + "[" + "@" + nameAttribute + "=" + "'" + key + "'" +
           "]";
}

std::string parametersFileProblem()
{
    std::lock_guard lock(fileMutex());
    return loadProblem;
}

bool loadParametersDocument(pugi::xml_document& doc)
{
    std::lock_guard lock(fileMutex());
    return static_cast<bool>(doc.load_file(parametersXmlPath().c_str()));
}

bool StringParameter::read(const pugi::xml_document& doc)
{
    const pugi::xml_node element = findElement(doc, name);
    setValue(element ? element.attribute(valueAttribute.c_str()).as_string() : default_);
    log();
    return static_cast<bool>(element);
}

bool IntParameter::read(const pugi::xml_document& doc, bool logValue)
{
    const pugi::xml_node element = findElement(doc, name);
    setValue(element ? clamp(element.attribute(valueAttribute.c_str()).as_int()) : default_);
    if (logValue) log();
    return static_cast<bool>(element);
}

bool BoolParameter::read(const pugi::xml_document& doc)
{
    const pugi::xml_node element = findElement(doc, name);
    setValue(element ? textIsTrue(element.attribute(valueAttribute.c_str()).as_string()) : default_);
    log();
    return static_cast<bool>(element);
}

void StringParameter::save() const { saveParameterValue(name, value()); }
void IntParameter::save() const { saveParameterValue(name, fmt::format("{}", value())); }
void BoolParameter::save() const { saveParameterValue(name, boolText(value())); }

bool readLiveryFolderParameter(const pugi::xml_document& doc, StringParameter& parameter)
{
    const pugi::xml_node element = findElement(doc, parameter.name);
    parameter.setValue(element ? element.attribute(valueAttribute.c_str()).as_string() : parameter.defaultValue());
    if (!parameter.value().empty()) parameter.log();
    return static_cast<bool>(element);
}

bool readOrAddBoolParameter(pugi::xml_document& doc, BoolParameter& parameter)
{
    const bool found = parameter.read(doc);
    appendWhenMissing(doc, found, parameter.name, boolText(parameter.value()));
    return found;
}

bool readOrAddCheckBoxParameter(pugi::xml_document& doc, CheckBoxParameter& parameter)
{
    return readOrAddBoolParameter(doc, parameter);
}

bool readOrAddIntParameter(pugi::xml_document& doc, IntParameter& parameter)
{
    const bool found = parameter.read(doc, true);
    appendWhenMissing(doc, found, parameter.name, fmt::format("{}", parameter.value()));
    return found;
}

bool readOrAddIntEditParameter(pugi::xml_document& doc, IntEditParameter& parameter)
{
    return readOrAddIntParameter(doc, parameter);
}

bool addBoolParameter(BoolParameter& parameter, pugi::xml_node parameters)
{
    const bool added = appendBoolParameterNode(parameters, parameter.name, parameter.defaultValue());
    if (!added) reportAddFailure(parameter.name, boolText(parameter.value()));
    parameter.setValue(parameter.defaultValue());
    parameter.log();
    return added;
}

bool addIntParameter(IntParameter& parameter, pugi::xml_node parameters)
{
    const bool added = appendIntParameterNode(parameters, parameter.name, parameter.defaultValue());
    if (!added) reportAddFailure(parameter.name, fmt::format("{}", parameter.value()));
    parameter.setValue(parameter.defaultValue());
    parameter.log();
    return added;
}

bool addStringParameter(StringParameter& parameter, pugi::xml_node parameters)
{
    const bool added = appendParameterNode(parameters, parameter.name, parameter.defaultValue());
    if (!added) reportAddFailure(parameter.name, parameter.value());
    parameter.setValue(parameter.defaultValue());
    parameter.log();
    return added;
}

bool appendParameterNode(pugi::xml_node element, const std::string& key, const std::string& value)
{
    pugi::xml_node child = element.append_child("parameter");
    if (!child) return false;
    pugi::xml_attribute name = child.append_attribute(nameAttribute.c_str());
    pugi::xml_attribute text = child.append_attribute(valueAttribute.c_str());
    if (!name || !text) {
        element.remove_child(child);
        return false;
    }
    name.set_value(key.c_str());
    text.set_value(value.c_str());
    return true;
}

bool appendBoolParameterNode(pugi::xml_node element, const std::string& key, bool value)
{
    return appendParameterNode(element, key, boolText(value));
}

bool appendIntParameterNode(pugi::xml_node element, const std::string& key, std::int32_t value)
{
    return appendParameterNode(element, key, fmt::format("{}", value));
}

bool setAttributeInt(pugi::xml_node element, const std::string& name, std::int32_t value)
{
    pugi::xml_attribute attribute = element.append_attribute(name.c_str());
    return attribute && attribute.set_value(value);
}

bool removeParameter(const Parameter& parameter)
{
    std::lock_guard lock(fileMutex());
    const auto& path = parametersXmlPath();
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) return false;
    bool removed = false;
    if (pugi::xml_node root = doc.child("parameters")) {
        pugi::xml_node element = findElement(doc, parameter.name);
        if (element && element.parent() == root) {
            root.remove_child(element);
            removed = true;
            logLineWhileRunning(fmt::format("Parameter {} removed", parameter.name));
        }
    }
    if (!lf_saveDocument(doc, path)) logLineWhileRunning("saving xml did not work?");
    return removed;
}

void saveParameterValue(const std::string& key, const std::string& text)
{
    std::lock_guard lock(fileMutex());
    const auto& path = parametersXmlPath();
    pugi::xml_document doc;
    const pugi::xml_parse_result result = doc.load_file(path.c_str());
    bool mayWrite = true;
    pugi::xml_node root;
    if (result) {
        root = doc.child("parameters");
    } else {
        mayWrite = lf_makeRoomForFreshFile(path, result);
        doc.reset();
    }
    if (root) {
        if (pugi::xml_node element = findElement(doc, key)) {
            setValueAttribute(element, text);
        } else {
            appendParameterNode(root, key, text);
        }
    } else {
        appendParameterNode(doc.append_child("parameters"), key, text);
    }
    logLineWhileRunning(fmt::format("{}={}", key, text));
    if (!mayWrite || !lf_saveDocument(doc, path)) reportUnsavedSetting(key, text);
}

void readParametersXml(const std::vector<BoolParameter*>& bools, const std::vector<CheckBoxParameter*>& boxes,
                       const std::vector<IntParameter*>& ints, const std::vector<IntEditParameter*>& edits,
                       const std::vector<StringParameter*>& strings, const std::vector<TextBoxParameter*>& texts)
{
    logLine(lf_framedLine(70, 0, true, false, "parameters"));
    {
        std::lock_guard lock(fileMutex());
        const auto& path = parametersXmlPath();
        pugi::xml_document doc;
        const pugi::xml_parse_result result = doc.load_file(path.c_str());
        loadProblem.clear();
        if (result) {
            logLine(fmt::format("from \"{}\"", pathText(path)));
            for (BoolParameter* p : bools)
                if (p) readOrAddBoolParameter(doc, *p);
            for (CheckBoxParameter* p : boxes)
                if (p) readOrAddCheckBoxParameter(doc, *p);
            for (IntParameter* p : ints)
                if (p) readOrAddIntParameter(doc, *p);
            for (IntEditParameter* p : edits)
                if (p) readOrAddIntEditParameter(doc, *p);
            for (StringParameter* p : strings) {
                if (!p) continue;
                if (isLiveryFolderParameter(p->name)) {
                    readLiveryFolderParameter(doc, *p);
                    if (p->value().empty()) {
                        removeParameter(*p);
                        removeFromDocument(doc, p->name);
                    }
                } else {
                    appendWhenMissing(doc, p->read(doc), p->name, p->value());
                }
            }
            for (TextBoxParameter* p : texts)
                if (p) appendWhenMissing(doc, p->read(doc), p->name, p->value());
            if (!lf_saveXml(doc, path)) noteUnsavedFile(path);
        } else {
            logLine(fmt::format("{} not found, default values taken:", pathText(path)));
            const bool mayWrite = lf_makeRoomForFreshFile(path, result);
            pugi::xml_document fresh;
            const pugi::xml_node root = fresh.append_child("parameters");
            for (BoolParameter* p : bools)
                if (p) addBoolParameter(*p, root);
            for (CheckBoxParameter* p : boxes)
                if (p) addBoolParameter(*p, root);
            for (IntParameter* p : ints)
                if (p) addIntParameter(*p, root);
            for (IntEditParameter* p : edits)
                if (p) addIntParameter(*p, root);
            for (StringParameter* p : strings) {
                if (!p) continue;
                // Livery folders are never written with their (empty) default.
                if (isLiveryFolderParameter(p->name)) {
                    p->setValue(p->defaultValue());
                } else {
                    addStringParameter(*p, root);
                }
            }
            for (TextBoxParameter* p : texts)
                if (p) addStringParameter(*p, root);
            if (root && mayWrite && !lf_saveXml(fresh, path)) noteUnsavedFile(path);
        }
    }
    for (CheckBoxParameter* p : boxes)
        if (p) showCheckBoxParameter(*p);
    for (IntEditParameter* p : edits)
        if (p) showIntParameter(*p);
    for (TextBoxParameter* p : texts)
        if (p) showTextParameter(*p);
    logLine(lf_framedLine(70, 10, false, true, ""));
}

} // namespace qtr
