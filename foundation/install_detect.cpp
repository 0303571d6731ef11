#include "foundation/install_detect.h"

#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/win_text.h"

#include <fmt/format.h>

#include <fstream>
#include <vector>

namespace qtr {

namespace {

const std::filesystem::path communityFolder{"Community"};
const std::filesystem::path officialFolder{"Official"};
const std::filesystem::path official2024Folder{"Official2024"};
const std::filesystem::path userCfgName{"UserCfg.opt"};

// The text between the first pair of double quotes; the whole text without a quote; empty
// when the quotes are empty or unclosed.
std::string lf_unquote(const std::string& text)
{
    const auto first = text.find('"');
    if (first == std::string::npos) return text;
    const auto second = text.find('"', first + 1);
    if (second == std::string::npos || second == first + 1) return {};
    return text.substr(first + 1, second - first - 1);
}

// The file's lines without their line ends; none when it cannot be read.
std::vector<std::string> lf_readLines(const std::filesystem::path& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string lf_text(const std::filesystem::path& path) { return pathToUtf8(path); }

} // namespace

std::string storePackageName()
{
    return MSFS_2020.value() ? "Microsoft.FlightSimulator_8wekyb3d8bbwe" : "Microsoft.Limitless_8wekyb3d8bbwe";
}

std::string steamFolderName()
{
    return MSFS_2020.value() ? "Microsoft Flight Simulator" : "Microsoft Flight Simulator 2024";
}

namespace {
// A path the system cannot even look at (too long, characters it refuses) does not exist for
// us: the detection goes on with the next candidate instead of ending in an exception.
bool lf_exists(const std::filesystem::path& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec) && !ec;
}
} // namespace

bool isValidPackagesDir(const std::filesystem::path& path)
{
    if (path.empty() || !lf_exists(path)) return false;
    if (!lf_exists(path / communityFolder)) return false;
    return lf_exists(path / (MSFS_2020.value() ? officialFolder : official2024Folder));
}

std::filesystem::path steamPackagesPath()
{
    const std::filesystem::path path = getAppDataPath() / pathFromUtf8(steamFolderName()) / "Packages";
    if (!std::filesystem::exists(path)) return {};
    logLine(fmt::format("Steam packages:{}", lf_text(path)));
    return path;
}

std::filesystem::path locateUserCfg()
{
    const std::filesystem::path local = getLocalAppDataPath();
    const std::filesystem::path candidates[] = {
        local / "Packages" / pathFromUtf8(storePackageName()) / "LocalCache" / userCfgName,
        getAppDataPath() / pathFromUtf8(steamFolderName()) / userCfgName,
        local / "Packages" / "Microsoft.FlightDashboard_8wekyb3d8bbwe" / "LocalCache" / userCfgName,
        local / "MSFSPackages" / userCfgName,
    };
    const char* lines[] = {"MSFS detection, no Store:{}", "MSFS detection, no Steam1:{}",
                           "MSFS detection, no Steam2:{}", "MSFS detection, no Boxed:{}"};
    for (std::size_t i = 0; i < std::size(candidates); ++i) {
        if (std::filesystem::exists(candidates[i])) return candidates[i];
        logLine(fmt::format(fmt::runtime(lines[i]), lf_text(candidates[i])));
    }
    return candidates[std::size(candidates) - 1];
}

bool parseInstalledPackagesPath(std::filesystem::path& result, const std::string& line)
{
    if (line.find("InstalledPackagesPath") == std::string::npos) return false;
    try {
        result = pathFromUtf8(lf_unquote(line));
    } catch (const win32::Utf8ConversionException& e) {
        // A path that is no UTF-8 text names no folder we could find.
        logLine(fmt::format("UserCfg.opt: unreadable InstalledPackagesPath: {}", e.what()));
        result.clear();
    }
    // A relative folder would be taken against the program's folder, which is not where the
    // simulator meant it.
    if (!result.empty() && !result.is_absolute()) {
        logLine(fmt::format("UserCfg.opt: InstalledPackagesPath is no full path: {}", lf_text(result)));
        result.clear();
    }
    if (!result.empty() && !lf_exists(result)) result.clear();
    return true;
}

std::filesystem::path userCfgPackagesPath()
{
    const std::filesystem::path userCfg = locateUserCfg();
    if (!std::filesystem::exists(userCfg)) {
        logLine("No UserCfg.opt found?");
        return {};
    }
    std::filesystem::path result;
    for (const std::string& line : lf_readLines(userCfg))
        if (parseInstalledPackagesPath(result, line)) break;
    logLine(
        fmt::format("UserCfg.opt: InstalledPackagesPath={}", result.empty() ? std::string("???") : lf_text(result)));
    return result;
}

std::filesystem::path getPackagesPath()
{
    if (std::filesystem::path steam = steamPackagesPath(); isValidPackagesDir(steam)) return steam;
    if (std::filesystem::path fromUserCfg = userCfgPackagesPath(); isValidPackagesDir(fromUserCfg)) return fromUserCfg;
    return {};
}

std::filesystem::path msfsInstallSubPath(const std::filesystem::path& sub)
{
    const std::string base = MSFS_2020.value() ? MSFS_INSTALL_PATH.value() : MSFS_2024_INSTALL_PATH.value();
    // No install path names no folder: "Community" alone would be the program's own subfolder.
    if (base.empty()) return {};
    return pathFromUtf8(base) / sub;
}

std::filesystem::path detectAndStorePackagesPath()
{
    const std::filesystem::path found = getPackagesPath();
    if (found.empty())
        throw UserErrorException(
            150, "No install path detected, type full path to your Community folder above, and press Enter");
    (MSFS_2020.value() ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH).set(lf_text(found));
    return found;
}

} // namespace qtr
