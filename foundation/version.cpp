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
} // namespace

VersionData::VersionData(const std::string& untrimmed)
{
    const auto first = untrimmed.find_first_not_of(" \t\n\r");
    if (first == std::string::npos) return;
    const std::string text = untrimmed.substr(first, untrimmed.find_last_not_of(" \t\n\r") - first + 1);
    try {
        static const std::regex dotted("(\\d+).(\\d+).(\\d+)");
        std::smatch match;
        if (std::regex_match(text, match, dotted)) {
            major = toInt32(match[1].str());
            minor = toInt32(match[2].str());
            patch = toInt32(match[3].str());
            return;
        }
        const auto json = nlohmann::json::parse(text);
        if (!json.is_object()) return;
        if (json.contains("major")) major = json["major"].get<std::int32_t>();
        if (json.contains("minor")) minor = json["minor"].get<std::int32_t>();
        if (json.contains("patch")) patch = json["patch"].get<std::int32_t>();
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
