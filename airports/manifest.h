#pragma once
// Package manifests and airport publishers: which package holds a scenery file, what its
// "manifest.json" says (title, creator, manufacturer), and who published an airport. Every step
// adds a line to the airport-scan message list. Called from scan tasks on many threads at once;
// keeps no state of its own.
#include <filesystem>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace qtr {

// The three texts a package manifest names; all empty when found is false.
struct ManifestInfo {
    std::string manufacturer;
    std::string creator;
    std::string title;
    bool found = false;
};

// Who published a scenery file: "vendrake" (the simulator's own airports), a canonical name of
// the publishers table, or "unknown"; with the manifest's texts when a manifest was read.
struct PublisherResult {
    std::string publisher;
    std::string title;
    std::string creator;
    std::string manufacturer;
};

inline const std::string unknownPublisher{"unknown"};
inline const std::string vendrakePublisher{"vendrake"};

// "manifest.json" directly inside the folder (regular files only, name exactly as written); the
// empty path when there is none or the folder is missing. Other file-system errors are thrown.
std::filesystem::path findManifestFile(const std::filesystem::path& folder);
// The manifest's manufacturer, creator and title; found false when the file cannot be read or is
// no JSON object. JSON syntax and type errors are thrown.
ManifestInfo readManifestInfo(const std::filesystem::path& manifestPath);
// The member's string; "" when it is missing, null, {} or []; any other kind throws the JSON
// library's type error.
std::string jsonStringOrEmpty(const nlohmann::json& object, const std::string& key);
// The manifest of the package that holds the scenery file (its path as text): the package
// folder right below "Community" first, else the first folder on the way down from the root that
// holds a manifest. Never throws: errors become a scan message and a result that is not found.
ManifestInfo lf_searchManifest(const std::string& sceneryPath);
// The publisher of a scenery file: from its path ("microsoft-airport", "asobo-airport": the
// simulator's own), from the publishers table, or from the package manifest. Never throws.
PublisherResult findPublisher(const std::string& sceneryPath);

} // namespace qtr
