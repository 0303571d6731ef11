#pragma once
// The meta block that opens every XML file the program writes for itself: which program wrote
// it, in which version, on which date, under which copyright, for which simulator. Readers
// accept a file only when its block names an author, a date and a version.
#include "foundation/parameters/parameter.h"

#include <pugixml.hpp>

#include <mutex>
#include <string>

namespace qtr {

// The simulator the next written file is for: "MSFS" (2020) or "MSFS2024". Writers set it
// right before they write. Guarded: scans on other threads set and read it.
class SimulatorName {
public:
    SimulatorName& operator=(std::string text);
    std::string value() const;
    operator std::string() const { return value(); }

private:
    mutable std::mutex mutex_;
    std::string text_{"MSFS"};
};
extern SimulatorName simulatorName;

// The five entries: the name is the entry's name, the value its text (what a read found).
// They are no settings of the program and never stored.
extern StringParameter metaAuthor;
extern StringParameter metaVersion;
extern StringParameter metaDate;
extern StringParameter metaCopyright;
extern StringParameter metaSimulator;

// Appends the element `meta` with one `info` (name, value) per entry in the order author,
// version, date, copyright, MSFS ("2020" for simulatorName "MSFS", else "2024"); call it on a
// new document before anything else so that it stands first. False when the node cannot take
// the block (empty, neither document nor element) or an append fails: the caller must not save
// a file without it. Readers look entries up by name, so the order of the entries is no part
// of the format; callers that list them in another order need no variant of their own.
bool writeXmlMeta(pugi::xml_node node);
// "/meta/info[@name='NAME']"; the name is inserted as it is.
std::string metaXPath(const std::string& name);
// True when the entry is present; its text (empty when it has no value attribute, or when the
// entry is missing) becomes the descriptor's value.
bool readXmlMetaEntry(const pugi::xml_document& doc, StringParameter& descriptor);
// True when author, date and version are present; otherwise logs "meta data incorrect?".
bool checkXmlMeta(const pugi::xml_document& doc);

} // namespace qtr
