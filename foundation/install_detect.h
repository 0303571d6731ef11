#pragma once
// Where the selected simulator (parameter MSFS_2020: on 2020, off 2024) keeps its packages: the
// folder that holds "Community" and "Official" (2020) or "Official2024" (2024), found through a
// Steam packages folder or the "InstalledPackagesPath" line of the simulator's "UserCfg.opt".
#include <filesystem>
#include <string>

namespace qtr {

// The packages folder of the selected simulator, or an empty path when none was found.
std::filesystem::path getPackagesPath();
// <roaming application data>/<Steam folder name>/Packages when it exists, else empty.
std::filesystem::path steamPackagesPath();
// The first existing "UserCfg.opt" of the Store, Steam, dashboard and boxed places, else the
// last one tried.
std::filesystem::path locateUserCfg();
// The existing folder named by the first "InstalledPackagesPath" line of that file, or empty.
std::filesystem::path userCfgPackagesPath();
// True when line holds the key; result is then its quoted folder, or empty when that folder
// does not exist or is no full path.
bool parseInstalledPackagesPath(std::filesystem::path& result, const std::string& line);
// Not empty, exists, and holds "Community" and the simulator's own package folder.
bool isValidPackagesDir(const std::filesystem::path& path);
std::string storePackageName();
std::string steamFolderName();
// The selected simulator's stored install path joined with sub; empty while no path is stored.
std::filesystem::path msfsInstallSubPath(const std::filesystem::path& sub);

// For the worker's start when no install path is known: the detected packages folder, stored in
// MSFS_INSTALL_PATH or MSFS_2024_INSTALL_PATH. Throws UserErrorException code 150 when
// nothing was found.
std::filesystem::path detectAndStorePackagesPath();

} // namespace qtr
