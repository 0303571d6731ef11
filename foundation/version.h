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
    // Dotted text ("10.10.10") or a JSON object with "major", "minor", "patch"; never throws
    // (a failure is logged and keeps the fields read before it). Blanks and line ends around
    // the text are ignored, so a version read from a CRLF file still counts.
    explicit VersionData(const std::string& text);

    // "{}.{}.{}"
    std::string toString() const;
    void toString(std::string& out) const;
    // Field by field, major first: the first field that differs decides.
    auto operator<=>(const VersionData&) const = default;
};

// The program's own version.
const VersionData& programVersion();

// At each load of the parameters: a first run records the program version; a newer program
// than the one that ran last logs the update, removes the downloaded installer and switches
// the liveries and airports scans on; an older one is recorded silently. Throws the standard
// filesystem error when the installer cannot be tested or removed.
void checkProgramVersion();

} // namespace qtr
