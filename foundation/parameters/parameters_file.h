#pragma once
// The settings file "parameters.xml": a root element `parameters` with one element `parameter`
// (attributes `name`, `value`) per key. Every load, change and save of the file runs under one
// lock; a save writes a temporary file and renames it over the old one; a file that exists but
// is no valid settings file is moved aside (never overwritten) before a fresh one is written,
// and one that merely could not be opened or read this time is left alone and not written.
#include "foundation/parameters/parameter.h"
#include "foundation/parameters/parameter_control.h"

#include <pugixml.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace qtr {

// "/parameters/parameter[@name='KEY']"; the key is inserted as it is.
std::string parameterXPath(const std::string& key);

// What the last readParametersXml met when the file could not be read or saved (empty when it
// could): a text for the status line.
std::string parametersFileProblem();

// Loads "parameters.xml" into doc under the file's lock; false when it is missing or broken.
bool loadParametersDocument(pugi::xml_document& doc);

// Reads every listed parameter from the file, appends the missing ones and saves the file;
// creates the file with the defaults when it is missing (or moved aside as broken). Check
// boxes and edits show their values once the file's lock is released, so that a window thread
// waiting to save cannot block the worker's messages to the controls.
void readParametersXml(const std::vector<BoolParameter*>& bools, const std::vector<CheckBoxParameter*>& boxes,
                       const std::vector<IntParameter*>& ints, const std::vector<IntEditParameter*>& edits,
                       const std::vector<StringParameter*>& strings, const std::vector<TextBoxParameter*>& texts);

// As StringParameter::read, but the value line is written only for a non-empty value.
bool readLiveryFolderParameter(const pugi::xml_document& doc, StringParameter& parameter);

// Read, and append the element with the value read (the default) when it is missing and the
// document has a top-level `parameters` element.
bool readOrAddBoolParameter(pugi::xml_document& doc, BoolParameter& parameter);
bool readOrAddCheckBoxParameter(pugi::xml_document& doc, CheckBoxParameter& parameter);
bool readOrAddIntParameter(pugi::xml_document& doc, IntParameter& parameter);
bool readOrAddIntEditParameter(pugi::xml_document& doc, IntEditParameter& parameter);

// New file: append the element with the default to parameters; the value becomes the default
// even when the append fails (logged).
bool addBoolParameter(BoolParameter& parameter, pugi::xml_node parameters);
bool addIntParameter(IntParameter& parameter, pugi::xml_node parameters);
bool addStringParameter(StringParameter& parameter, pugi::xml_node parameters);

// Append one `parameter` child (name, value) as the last child of element; false when the
// element cannot take it. Callers pass the `parameters` element itself (not its document), also
// the writers of the airport files for their own parameter block.
bool appendParameterNode(pugi::xml_node element, const std::string& key, const std::string& value);
bool appendBoolParameterNode(pugi::xml_node element, const std::string& key, bool value);
bool appendIntParameterNode(pugi::xml_node element, const std::string& key, std::int32_t value);
// Appends an integer attribute; false when the element cannot take attributes.
bool setAttributeInt(pugi::xml_node element, const std::string& name, std::int32_t value);

// Removes the parameter's element from the file; true when one was removed.
bool removeParameter(const Parameter& parameter);

// Stores one key's text in the file (read, change or append that element, write the whole).
void saveParameterValue(const std::string& key, const std::string& text);

} // namespace qtr
