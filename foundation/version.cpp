#include "foundation/version.h"

#include "foundation/log.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <regex>
#include <stdexcept>

namespace qtr {

namespace {
std::int32_t toInt32(const std::string& digits)
{
    if (digits.size() > 18) throw std::runtime_error("parse error in version string");
    const long long value = std::stoll(digits);
    if (value > 2147483647LL) throw std::runtime_error("parse error in version string");
    return static_cast<std::int32_t>(value);
}

// The longest dotted text that can hold three 32-bit numbers; longer texts are never matched
// against the pattern, whose matching recurses once per character.
constexpr std::size_t maxDottedLength = 3 * 10 + 2;
// A version file is a few bytes; anything far larger is no version.
constexpr std::size_t maxVersionTextLength = 4096;

// A field of a JSON version, converted as the JSON library converts it, but never wrapped: a
// number beyond 32 bits is an error.
std::int32_t jsonField(const nlohmann::json& value)
{
    bool fits = true;
    if (value.is_number_unsigned())
        fits = value.get<std::uint64_t>() <= 2147483647ULL;
    else if (value.is_number_integer())
        fits = value.get<std::int64_t>() >= -2147483648LL && value.get<std::int64_t>() <= 2147483647LL;
    else if (value.is_number_float())
        fits = value.get<double>() > -2147483649.0 && value.get<double>() < 2147483648.0;
    if (!fits) throw std::runtime_error("version number out of range");
    return value.get<std::int32_t>();
}
} // namespace

VersionData::VersionData(const std::string& untrimmed)
{
    const auto first = untrimmed.find_first_not_of(" \t\n\r");
    if (first == std::string::npos) return;
    const std::string text = untrimmed.substr(first, untrimmed.find_last_not_of(" \t\n\r") - first + 1);
    try {
        if (text.size() > maxVersionTextLength) throw std::runtime_error("version text too long");
        static const std::regex dotted("(\\d+).(\\d+).(\\d+)");
        std::smatch match;
        if (text.size() <= maxDottedLength && std::regex_match(text, match, dotted)) {
            major = toInt32(match[1].str());
            minor = toInt32(match[2].str());
            patch = toInt32(match[3].str());
            return;
        }
        const auto json = nlohmann::json::parse(text);
        if (!json.is_object()) return;
        if (json.contains("major")) major = jsonField(json["major"]);
        if (json.contains("minor")) minor = jsonField(json["minor"]);
        if (json.contains("patch")) patch = jsonField(json["patch"]);
    } catch (const std::exception& e) {
        logLine(fmt::format("{} exception: {}", "VersionData", e.what()));
    }
}

std::string VersionData::toString() const { return fmt::format("{}.{}.{}", major, minor, patch); }

void VersionData::toString(std::string& out) const { out = toString(); }

const VersionData& programVersion()
{
    static const VersionData version(std::string("10.10.10"));
    return version;
}

} // namespace qtr
