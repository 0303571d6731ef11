#include "airports/manifest.h"

#include "airports/scan_messages.h"
#include "foundation/text_files.h"
#include "foundation/win_text.h"
#include "liveries/type_data_base.h"
#include "liveries/type_queries.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <exception>
#include <optional>

namespace qtr {

namespace {

// The manifest of one folder, with its scan message; nothing when the folder holds none.
std::optional<ManifestInfo> lf_manifestIn(const std::filesystem::path& folder)
{
    const std::filesystem::path manifest = findManifestFile(folder);
    if (manifest.empty()) return std::nullopt;
    lf_addScanMessage(pathToUtf8(manifest) + " found");
    return readManifestInfo(manifest);
}

// The package folder right below "Community": the text up to the second separator after the
// word, so "...\Community\<package>"; empty when the path has no such part. Both separators
// count, as they do for the file system (and a POSIX path has only the slash).
std::string lf_communityPackageFolder(const std::string& path)
{
    constexpr const char* separators = "\\/";
    const std::size_t community = path.find("Community");
    if (community == std::string::npos) return {};
    const std::size_t first = path.find_first_of(separators, community);
    if (first == std::string::npos) return {};
    const std::size_t second = path.find_first_of(separators, first + 1);
    if (second == std::string::npos) return {};
    return path.substr(0, second);
}

} // namespace

std::filesystem::path findManifestFile(const std::filesystem::path& folder)
{
    if (!std::filesystem::is_directory(folder)) return {};
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        const std::filesystem::path& path = entry.path();
        if (path.stem() == "manifest" && path.extension() == ".json") return path;
    }
    return {};
}

std::string jsonStringOrEmpty(const nlohmann::json& object, const std::string& key)
{
    const auto member = object.find(key);
    if (member == object.end() || member->is_null()) return {};
    if ((member->is_object() || member->is_array()) && member->empty()) return {};
    return member->get<std::string>();
}

ManifestInfo readManifestInfo(const std::filesystem::path& manifestPath)
{
    const auto lines = gf_readLines(manifestPath);
    if (!lines) return {};
    std::string text;
    for (const std::string& line : *lines) text += line;
    const nlohmann::json json = nlohmann::json::parse(text);
    if (!json.is_object()) return {};
    return ManifestInfo{jsonStringOrEmpty(json, "manufacturer"), jsonStringOrEmpty(json, "creator"),
                        jsonStringOrEmpty(json, "title"), true};
}

ManifestInfo lf_searchManifest(const std::string& sceneryPath)
{
    try {
        const std::string package = lf_communityPackageFolder(sceneryPath);
        if (!package.empty()) {
            if (auto info = lf_manifestIn(pathFromUtf8(package))) return info->found ? *info : ManifestInfo{};
        }
        // Down from the root, each folder named by the text up to its name's first occurrence.
        const std::filesystem::path folder = pathFromUtf8(sceneryPath).parent_path();
        for (const std::filesystem::path& component : folder) {
            const std::string name = pathToUtf8(component);
            // A drive name alone ("C:") is the drive's current folder, not a folder on the way.
            if (name.empty() || component == folder.root_name()) continue;
            const std::string tested = sceneryPath.substr(0, sceneryPath.find(name)) + name;
            if (auto info = lf_manifestIn(pathFromUtf8(tested))) return info->found ? *info : ManifestInfo{};
        }
        return {};
    } catch (const std::exception& e) {
        lf_addScanMessage(fmt::format("exception in lf_searchManifest: {}", e.what()));
        return {};
    }
}

PublisherResult findPublisher(const std::string& sceneryPath)
{
    lf_addScanMessage(fmt::format("\nTry find publisher in: {}", sceneryPath));
    if (containsIgnoreCase(sceneryPath, "microsoft-airport") || containsIgnoreCase(sceneryPath, "asobo-airport")) {
        lf_addScanMessage(fmt::format("from filename => publisher {}", vendrakePublisher));
        return {vendrakePublisher, {}, {}, {}};
    }
    if (const std::string p = publisherOf(sceneryPath); p != unknownPublisher) {
        lf_addScanMessage(fmt::format("publisher \"{}\" found", p));
        return {p, {}, {}, {}};
    }
    const ManifestInfo m = lf_searchManifest(sceneryPath);
    if (!m.found) {
        lf_addScanMessage(fmt::format("{}No publisher found", "===> "));
        return {unknownPublisher, {}, {}, {}};
    }
    PublisherResult result{unknownPublisher, m.title, m.creator, m.manufacturer};
    if (!m.manufacturer.empty()) {
        if (const std::string p = publisherOf(m.manufacturer); p != unknownPublisher) {
            lf_addScanMessage(
                fmt::format("from manifest.json: manufacturer \"{}\" => publisher \"{}\"", m.manufacturer, p));
            result.publisher = p;
            return result;
        }
    }
    if (!m.creator.empty()) {
        if (const std::string p = publisherOf(m.creator); p != unknownPublisher) {
            lf_addScanMessage(fmt::format("from manifest.json creator \"{}\" => publisher \"{}\"", m.creator, p));
            result.publisher = p;
            return result;
        }
    }
    lf_addScanMessage(
        fmt::format("no valid info found in manifest about publisher, manufacturer:\"{}\", creator:\"{}\" {}",
                    m.manufacturer, m.creator, sceneryPath));
    return result;
}

} // namespace qtr
