#pragma once
// The program's own update check and the update of the 2024 simulator's add-on package of
// airport files, both from the download site.
#include "foundation/version.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace qtr {

class ZipArchive;
struct ZipEntry;

// Asks the site for the published program version; when it is newer than the running one,
// fetches and unpacks its installer and throws UserErrorException (code 99) that tells the user
// to run it. A failed download or unpacking only shows a status line.
void checkForNewVersion();
VersionData fetchProgramVersionJson();
// Fetches "setup_Quillmarsh_d_v<version>.zip" and unpacks its installer; true when a complete
// installer was written. An archive above the installer's cap, or whose entries declare more
// than it, writes no installer.
bool downloadProgramInstaller(const VersionData& version);
// Writes one file entry of the installer archive as the installer: to a temporary name first,
// renamed over the old installer only when the entry came out whole (written is then set).
// Folder entries are skipped.
void extractInstaller(bool& written, const std::filesystem::path& archivePath, const ZipArchive& archive,
                      const ZipEntry& entry);
// format applied to (first, program name, third).
std::string formatWithProgramName(std::string_view format, const std::string& first, const std::string& third);

VersionData fetchPackageVersionJson(const std::string& packageName);
// True when the add-on folder does not exist.
bool addonPackageMissing();
// Refills the add-on folder from the published package when it is newer than the installed one
// or the folder is missing. The new package is unpacked beside the folder and swapped in only
// when every entry came out whole and the archive and its entries kept within the package's
// cap, so a failed update leaves the installed package as it was.
void updateAddonPackage();
// Writes one entry of the add-on archive into folder as <stem of the entry>.txt (appending when
// two entries share a stem) and counts it; folder entries are skipped. Throws ZipReadError.
void extractAddonEntry(int& fileCount, const ZipArchive& archive, const ZipEntry& entry,
                       const std::filesystem::path& folder);

// The add-on folder, relative to the program's folder.
const std::filesystem::path& addonFolder();
// The downloaded installer, relative to the program's folder.
const std::filesystem::path& installerFile();

} // namespace qtr
