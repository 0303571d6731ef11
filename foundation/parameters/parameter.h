#pragma once
// Typed program settings: one global object per key of "parameters.xml". Values are read and
// written from several threads (worker, window, SimConnect), so numbers and booleans are atomic
// and strings are copied in and out under a lock of their own.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace pugi {
class xml_document;
}

namespace qtr {

// The load lists of "parameters.xml" a stored setting belongs to (a bit each); a setting in none
// is never stored. A new file holds the lists in this order, each in the table's row order.
enum LoadList : unsigned {
    notStored = 0,
    boolsList = 1u << 0,
    boxesList = 1u << 1,
    intsList = 1u << 2,
    editsList = 1u << 3,
    stringsList = 1u << 4,
    textsList = 1u << 5,
};

class Parameter {
public:
    explicit Parameter(std::string key, unsigned loadLists = notStored) : name(std::move(key)), lists(loadLists) {}
    virtual ~Parameter() = default;
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;

    // The key in "parameters.xml"; for a push button, its caption.
    const std::string name;
    // The LoadList bits: where the load reads it and a new file writes it.
    const unsigned lists;
};

class StringParameter : public Parameter {
public:
    StringParameter(std::string key, std::string value, unsigned loadLists = notStored);
    std::string value() const;
    const std::string& defaultValue() const { return default_; }
    void setValue(std::string text);
    // Assigns and saves at once.
    void set(std::string text);
    // The value of the element of this key, or the default when there is none (false).
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
    IntParameter(std::string key, std::int32_t value, std::int32_t minimum, std::int32_t maximum,
                 unsigned loadLists = notStored);
    std::int32_t value() const { return value_.load(); }
    void setValue(std::int32_t v) { value_.store(v); }
    std::int32_t defaultValue() const { return default_; }
    std::int32_t minimum() const { return minimum_; }
    std::int32_t maximum() const { return maximum_; }
    std::int32_t clamp(std::int64_t v) const;
    // As StringParameter::read, the number clamped to the bounds; logs the value only when asked.
    bool read(const pugi::xml_document& doc, bool logValue);
    void save() const;
    void log() const;

private:
    const std::int32_t default_;
    const std::int32_t minimum_;
    const std::int32_t maximum_;
    std::atomic<std::int32_t> value_;
};

// A float setting; never stored (its edit stores an integer counterpart).
class FloatParameter : public Parameter {
public:
    FloatParameter(std::string key, float value, float minimum, float maximum);
    float value() const { return value_.load(); }
    void setValue(float v) { value_.store(v); }
    float defaultValue() const { return default_; }
    float minimum() const { return minimum_; }
    float maximum() const { return maximum_; }
    float clamp(float v) const;

private:
    const float default_;
    const float minimum_;
    const float maximum_;
    std::atomic<float> value_;
};

class BoolParameter : public Parameter {
public:
    BoolParameter(std::string key, bool value, unsigned loadLists = notStored);
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

// True for the keys of the ten livery folders ("lfolder" anywhere in the name).
bool isLiveryFolderParameter(const std::string& name);

} // namespace qtr
