#pragma once
// Writing airport files: the generated file of a scanned add-on airport (every stand whole, no
// options) and the learned file of the park airport (the changes against its airport file, the
// options and the parking settings; every stand whole while the stands came from a handmade
// file). The file is written beside the target and renamed over it, so a failed save leaves the
// previous file whole.
#include "airports/airport_file_reader.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qtr {

inline constexpr std::uint32_t apfKindLearned = 0;
inline constexpr std::uint32_t apfKindGenerated = 1;

// Everything the writer puts into a file.
struct ApfRecord {
    std::string airportName;
    std::string bglPath; // written, with manufacturer and creator, only for publisher "unknown"
    std::string publisher;
    std::string manufacturer;
    std::string creator;
    QualityPair quality; // written only when handmade
    std::int32_t elevationFt = 0;
    bool handmade = false; // the stands came from a handmade learned file
    std::vector<Stand> stands;
};

// Writes the record as a file of the kind (apfKindGenerated or apfKindLearned) at target, which
// names the simulator of simulatorName in its meta block. Creates no folders. False when the
// document cannot be built or the file cannot be written (the old file then stays as it was).
bool saveApf(const ApfRecord& record, const std::filesystem::path& target, std::uint32_t kind);

} // namespace qtr
