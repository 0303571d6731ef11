#pragma once
// The livery scan at every worker start: with SCAN_LIVERIES on, the AI liveries of the folders of
// the lfolder parameters (manual) or of the AI packages found in the Community folder (automatic)
// are scanned into "LiveriesScanned.xml"; then, or with it off, the livery data base is built
// from that file. Worker thread only.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qtr {

// When "LiveriesScanned.xml" is gone while SCAN_LIVERIES is off: switches it on (and saves it).
void gf_rescanWhenFileIsGone();
// The livery step of a worker start. UserErrorException 48 (manual without folders), 53 (manual,
// nothing found), 43 (automatic, nothing found) and those of the file reader end the run.
void gf_scanLiveries();

// The counters of one scan: the position of the folder in scan order (1...10), the liveries
// found in all folders, the list size after the previous folder.
struct ScanCounters {
    std::uint32_t folderNumber = 0;
    std::int64_t total = 0;
    std::int64_t previousSize = 0;
};

// The AI package detectors of the automatic mode; each appends at most one folder.
void lf_scanAigFolders(const std::filesystem::path& community, std::vector<std::string>& folders);
void lf_scanFsltlFolders(const std::filesystem::path& community, std::vector<std::string>& folders);
void lf_scanJfFolders(const std::filesystem::path& community, std::vector<std::string>& folders);
void lf_scanUserFolders(const std::filesystem::path& community, std::vector<std::string>& folders);
// The folders of the automatic mode: the detected AI packages in AI_PACKAGE_ORDER, then the
// user's own traffic package.
std::vector<std::string> lf_automaticFolders();
// Scans every folder and saves the file; false when no livery was found.
bool lf_scanAllLiveryFolders(const std::vector<std::string>& folders);
void lf_scanLiveryFolder(ScanCounters& counters, const std::string& folder);
// The titles not to use, from the published AIG file and the user's regcode files.
void lf_readAigRegcodesZip();

} // namespace qtr
