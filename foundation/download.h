#pragma once
// Downloads from the program's download site and the unpacking of zipped data files.
// The site's layout is written down in tools/httpd/SITE_LAYOUT.md.
#include "foundation/unzip_file.h"
#include "foundation/version.h"

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

typedef void CURL;

namespace qtr {

// Limits of every transfer. A transfer that cannot connect within connectTimeout, or that
// moves fewer than lowSpeedBytesPerSecond for lowSpeedTime, fails; so does every transfer once
// the program is asked to stop.
struct DownloadTimeouts {
    std::chrono::milliseconds connectTimeout{15000};
    long lowSpeedBytesPerSecond = 100;
    std::chrono::seconds lowSpeedTime{30};
};
const DownloadTimeouts& downloadTimeouts();
// Replaces the limits (tests make them short). Not thread-safe: set before transfers start.
void setDownloadTimeouts(const DownloadTimeouts& timeouts);

// One libcurl easy handle, released on every path.
struct CurlCleanup {
    void operator()(CURL* handle) const;
};
using CurlHandle = std::unique_ptr<CURL, CurlCleanup>;
CurlHandle makeCurlHandle();

// The site's root address from the parameter DOWNLOAD_SITE, always ending with '/'.
std::string downloadSiteRoot();
// The root followed by "MSFS/" (2020, or force2020) or "MSFS2024/" (2024).
std::string downloadBaseUrl(bool force2020);

// HTTP GET of url into the file at path (opened for binary or text writing, from empty), with
// the user agent "QMSH". True exactly when the transfer completed with the file: an HTTP status
// of 400 or more, a redirect (never followed) and the limits above make it fail. A failed
// transfer leaves the (partial) file for the caller to remove.
bool downloadToFile(CURL* handle, const std::string& url, const std::filesystem::path& path, bool binary);
// libcurl's write callback: writes the block into the open file.
std::size_t downloadWriteCallback(char* data, std::size_t size, std::size_t count, std::FILE* file);

// The published version in the version file at url; 0.0.0 when it cannot be fetched or read.
VersionData getServerVersion(CURL* handle, const std::string& url);

// Downloads downloadBaseUrl(false) + zipName into a local file of that name and writes the
// content of all its file entries, in archive order, to target (which starts from empty).
// False, with the target removed, when the download, the archive or any entry fails. The
// local zip is removed on every path.
bool downloadAndUnzip(const std::filesystem::path& zipName, const std::filesystem::path& target);
// downloadAndUnzip of "dbase.zip".
bool downloadDataBaseZip(const std::filesystem::path& target);

} // namespace qtr
