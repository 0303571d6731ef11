#pragma once
// Version numbers major.minor.patch.
#include <cstdint>
#include <string>

namespace qtr {

inline constexpr const char* programName = "Quillmarsh";

struct VersionData {
    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t patch = 0;

    VersionData() = default;
    VersionData(std::int32_t ma, std::int32_t mi, std::int32_t pa) : major(ma), minor(mi), patch(pa) {}
    // Dotted text ("10.10.10") or a JSON object with "major", "minor", "patch"; never throws.
    explicit VersionData(const std::string& text);

    std::string toString() const;
    auto operator<=>(const VersionData&) const = default;
};

// The program's own version.
const VersionData& programVersion();

} // namespace qtr
