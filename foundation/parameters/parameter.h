#pragma once
// Typed program settings. One global object per key; values are read and written from several
// threads, so integers and booleans are atomic and strings are copied out under a lock.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace pugi {
class xml_document;
}

namespace qtr {

class Parameter {
public:
    explicit Parameter(std::string key) : name(std::move(key)) {}
    virtual ~Parameter() = default;
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;

    const std::string name;
};

class StringParameter : public Parameter {
public:
    StringParameter(std::string key, std::string value);
    std::string value() const;
    std::string defaultValue() const { return default_; }
    void setValue(std::string text);
    // Assign and save at once.
    void set(std::string text);
    bool read(const pugi::xml_document& doc);
    void save() const;
    void log() const;

private:
    const std::string default_;
    mutable std::mutex mutex_;
    std::string value_;
};

class IntParameter : public Parameter {
public:
    IntParameter(std::string key, std::int32_t value, std::int32_t minimum, std::int32_t maximum);
    std::int32_t value() const { return value_.load(); }
    void setValue(std::int32_t v) { value_.store(v); }
    std::int32_t defaultValue() const { return default_; }
    std::int32_t minimum() const { return minimum_; }
    std::int32_t maximum() const { return maximum_; }
    std::int32_t clamp(std::int64_t v) const;
    bool read(const pugi::xml_document& doc, bool logValue);
    void save() const;
    void log() const;

private:
    const std::int32_t default_;
    const std::int32_t minimum_;
    const std::int32_t maximum_;
    std::atomic<std::int32_t> value_;
};

class BoolParameter : public Parameter {
public:
    BoolParameter(std::string key, bool value);
    bool value() const { return value_.load(); }
    void setValue(bool v) { value_.store(v); }
    bool defaultValue() const { return default_; }
    bool read(const pugi::xml_document& doc);
    void save() const;
    void log() const;

private:
    const bool default_;
    std::atomic<bool> value_;
};

// The XPath that selects a parameter's element in "parameters.xml".
std::string parameterXPath(const std::string& key);
// Loads "parameters.xml" into doc; false when it is missing or does not parse.
bool loadParametersDocument(pugi::xml_document& doc);
// Stores one key's text value in the file under the file's lock (read, change, write whole).
void saveParameterValue(const std::string& key, const std::string& value);

} // namespace qtr
