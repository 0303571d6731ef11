#pragma once
// "parameters.xml" as the settings' tests read and write it, and a new file as the setting rows
// make it.
#include "foundation/parameters/parameter_table.h"
#include "foundation/parameters/parameters_file.h"
#include "foundation/paths.h"
#include "foundation/version.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace qtest {

using namespace qtr;

using Entries = std::vector<std::pair<std::string, std::string>>;

// (name, value) of every `parameter` below every top-level `parameters`, in file order.
inline Entries fileEntries(const std::filesystem::path& path = parametersXmlPath())
{
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file(path.c_str())) << path.string();
    Entries entries;
    for (pugi::xml_node root : doc.children("parameters"))
        for (pugi::xml_node element : root.children("parameter"))
            entries.emplace_back(element.attribute("name").as_string(), element.attribute("value").as_string());
    return entries;
}

inline std::string fileValue(const std::string& key)
{
    for (const auto& [name, value] : fileEntries())
        if (name == key) return value;
    return "<missing>";
}

inline int countOf(const Entries& entries, const std::string& key)
{
    int n = 0;
    for (const auto& entry : entries) n += entry.first == key;
    return n;
}

inline void removeDataFiles()
{
    std::filesystem::remove_all(dataFolder());
    std::filesystem::create_directories(dataFolder());
}

inline void writeParameters(const std::string& body)
{
    qtest::writeFile(parametersXmlPath(), "<?xml version=\"1.0\"?>\n<parameters>\n" + body + "</parameters>\n");
}

inline std::string element(const std::string& key, const std::string& value)
{
    return "<parameter name=\"" + key + "\" value=\"" + value + "\" />\n";
}

// Everything at its default again, with a fresh file.
inline void resetToDefaults()
{
    removeDataFiles();
    loadParameters();
}

inline std::vector<std::filesystem::path> dataFolderFiles()
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dataFolder()))
        files.push_back(entry.path().filename());
    std::sort(files.begin(), files.end());
    return files;
}

// The text a new file holds for a row's default.
inline std::string defaultText(const Parameter& p)
{
    if (const auto* b = dynamic_cast<const BoolParameter*>(&p)) return b->defaultValue() ? "true" : "false";
    if (const auto* i = dynamic_cast<const IntParameter*>(&p)) return std::to_string(i->defaultValue());
    if (const auto* s = dynamic_cast<const StringParameter*>(&p)) return s->defaultValue();
    return "<no stored kind>";
}

// A new file as the rows make it: the load lists in their order, each in the rows' order, every
// stored row at its default; empty livery folders are never written, and the first run records
// the program version right after writing the file.
inline Entries freshFileFromRows()
{
    const LoadList order[] = {boolsList, boxesList, intsList, editsList, stringsList, textsList};
    Entries entries;
    for (const LoadList list : order)
        for (const Parameter* p : allParameters())
            if ((p->lists & list) != 0 && !isLiveryFolderParameter(p->name))
                entries.emplace_back(p->name,
                                     p->name == "PROGRAM_VERSION" ? programVersion().toString() : defaultText(*p));
    return entries;
}

// How many different keys a complete file holds.
inline std::size_t distinctKeys(const Entries& entries)
{
    std::set<std::string> keys;
    for (const auto& entry : entries) keys.insert(entry.first);
    return keys.size();
}

} // namespace qtest
