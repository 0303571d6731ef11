#pragma once
// Airport files from the download site's archive: stock airports below "archive/stock/", the
// add-on package's airports below "archive/vendrake/" and other publishers' below
// "archive/thirdparty/", each as "<ICAO>.xml". Stock and add-on files always lie below the site's
// "MSFS/" folder, other publishers' below the running simulator's ("MSFS/" or "MSFS2024/").
// Each call uses a transfer handle of its own; a failed fetch never leaves a file behind.
#include <filesystem>
#include <string>

namespace qtr {

// "<name>.xml", and the relative paths "<name>.xml" and "<name>.txt".
std::string xmlFileName(const std::string& name);
std::filesystem::path xmlPath(const std::string& name);
std::filesystem::path txtPath(const std::string& name);

// Where an archived airport file is fetched before it is read.
inline const std::filesystem::path parkAirportDownloadPath = std::filesystem::path("airports") / "park_airport.xml";

// The address of an archive path (as a redirect file stores it: forward slashes, "%20" for
// blanks) on the site.
std::string archiveUrl(const std::string& archivePath);
// True when the stock archive holds "<name>.xml". The probe fetches it into the program folder
// and removes it again, whatever the outcome.
bool downloadStockApf(const std::string& name);
// The transfer of downloadApf, from an address archiveUrl gave: true with the file at target,
// else false and no file there. It reads no setting, so it may run on a thread of its own.
bool fetchArchiveUrl(const std::string& url, const std::filesystem::path& target);
// "failed to download: \"<address>\""
std::string downloadFailedText(const std::string& url);
// Fetches the archive path into target: "" on success, else "failed to download: \"<address>\""
// (logged), and no file at target.
std::string downloadApf(const std::string& archivePath, const std::filesystem::path& target);

} // namespace qtr
