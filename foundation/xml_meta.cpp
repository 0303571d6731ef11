#include "foundation/xml_meta.h"

#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/time_text.h"
#include "foundation/version.h"

#include <fmt/format.h>

namespace qtr {

SimulatorName simulatorName;

SimulatorName& SimulatorName::operator=(std::string text)
{
    std::lock_guard lock(mutex_);
    text_ = std::move(text);
    return *this;
}

std::string SimulatorName::value() const
{
    std::lock_guard lock(mutex_);
    return text_;
}

StringParameter metaAuthor("author", "");
StringParameter metaVersion("version", "");
StringParameter metaDate("date", "");
StringParameter metaCopyright("copyright", "Copyright (c) the Quillmarsh authors");
StringParameter metaSimulator("MSFS", "");

bool writeXmlMeta(pugi::xml_node node)
{
    const std::string simulator = simulatorName.value();
    if (node.type() != pugi::node_document && node.type() != pugi::node_element) return false;
    pugi::xml_node meta = node.append_child("meta");
    if (!meta) return false;
    const std::pair<const StringParameter*, std::string> entries[] = {
        {&metaAuthor, programName},
        {&metaVersion, programVersion().toString()},
        {&metaDate, nowDateText()},
        {&metaCopyright, metaCopyright.value()},
        {&metaSimulator, simulator == "MSFS" ? "2020" : "2024"},
    };
    for (const auto& [descriptor, text] : entries) {
        pugi::xml_node info = meta.append_child("info");
        if (!info) return false;
        pugi::xml_attribute name = info.append_attribute(nameAttribute.c_str());
        if (!name) return false;
        name.set_value(descriptor->name.c_str());
        pugi::xml_attribute value = info.append_attribute(valueAttribute.c_str());
        if (!value) return false;
        value.set_value(text.c_str());
    }
    return true;
}

std::string metaXPath(const std::string& name)
{
    return std::string("/") + "meta" + "/" + "info" + "[" + "@" + nameAttribute + "=" + "'" + name + "'" + "]";
}

bool readXmlMetaEntry(const pugi::xml_document& doc, StringParameter& descriptor)
{
    try {
        const pugi::xml_node info = doc.select_node(metaXPath(descriptor.name).c_str()).node();
        if (!info) {
            descriptor.setValue("");
            return false;
        }
        descriptor.setValue(info.attribute(valueAttribute.c_str()).as_string());
        return true;
    } catch (const pugi::xpath_exception& e) {
        // Not read is not present: a query that cannot run must not pass the check.
        const char* what = e.result().description();
        logLine(what && *what ? what : "No error");
        descriptor.setValue("");
        return false;
    }
}

bool checkXmlMeta(const pugi::xml_document& doc)
{
    for (StringParameter* descriptor : {&metaAuthor, &metaDate, &metaVersion}) {
        if (!readXmlMetaEntry(doc, *descriptor)) {
            logMarked("meta data incorrect?");
            return false;
        }
    }
    return true;
}

} // namespace qtr
