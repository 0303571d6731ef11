#pragma once
// Downloads from the program's download site and the unpacking of zipped data files.
// The site's layout is written down in tools/httpd/SITE_LAYOUT.md.
#include "foundation/unzip_file.h"
#include "foundation/version.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

typedef void CURL;

namespace qtr {

// Limits of every transfer. A transfer that cannot connect within connectTimeout, that moves
// fewer than lowSpeedBytesPerSecond for lowSpeedTime, or that has not ended after totalTime,
// fails; so does every transfer once the program is asked to stop. The total time lets the
// largest real file, the installer, arrive over a slow line, and still ends a site that
// answers a byte now and then, or fast enough for the low-speed limit but without end.
// A site that took the connection but has not begun its answer after responseTimeout is taken
// for silent: a site answers a request at once, and the start of the program waits on it.
struct DownloadTimeouts {
    std::chrono::milliseconds connectTimeout{15000};
    long lowSpeedBytesPerSecond = 100;
    std::chrono::seconds lowSpeedTime{30};
    std::chrono::milliseconds totalTime{600000};
    std::chrono::milliseconds responseTimeout{10000};
};
const DownloadTimeouts& downloadTimeouts();
// Replaces the limits (tests make them short). Not thread-safe: set before transfers start.
void setDownloadTimeouts(const DownloadTimeouts& timeouts);

// A site that let a transfer run into its time limits without sending a byte (it took the
// connection and stayed silent, or never took it) is not asked again for this long: every
// transfer of the start (the version, the data base, the registration codes) would otherwise
// wait its full limits in turn before RealTraffic is served. Transfers to it fail at once.
inline constexpr std::chrono::minutes unansweredSiteWait{5};
// Forgets the sites that did not answer (tests start each case with a site that may).
void forgetUnansweredSites();

// The kinds of file the site serves; each has its own size cap.
enum class DownloadKind { versionFile, airportFile, dataZip, installer, addonPackage };

// Size caps in bytes: a transfer of a kind fails as soon as it would write more than the cap,
// and an archive of a kind unpacks to no more than it in all. Each cap is far above any real
// file of its kind, so that only a broken or hostile site meets one; they keep such a site from
// filling the disk or the memory of whatever reads the file next.
struct DownloadCaps {
    std::uint64_t versionFileBytes = 64 * 1024;           // one line of a few dozen bytes
    std::uint64_t airportFileBytes = 64 * 1024 * 1024;    // the largest airports' files have a few MB
    std::uint64_t dataZipBytes = 128 * 1024 * 1024;       // the data base and the registration codes: a few MB
    std::uint64_t installerBytes = 1024 * 1024 * 1024;    // the installer: tens of MB
    std::uint64_t addonPackageBytes = 1024 * 1024 * 1024; // the add-on's airport files: tens of MB
    std::uint64_t of(DownloadKind kind) const;
};
// In the header, so that the native build (no transfers) unpacks the shipped data under the
// same caps.
inline DownloadCaps& downloadCapsStorage()
{
    static DownloadCaps caps;
    return caps;
}
inline const DownloadCaps& downloadCaps() { return downloadCapsStorage(); }
// Replaces the caps (tests make them small). Not thread-safe: set before transfers start.
inline void setDownloadCaps(const DownloadCaps& caps) { downloadCapsStorage() = caps; }
inline std::uint64_t DownloadCaps::of(DownloadKind kind) const
{
    switch (kind) {
    case DownloadKind::versionFile:
        return versionFileBytes;
    case DownloadKind::airportFile:
        return airportFileBytes;
    case DownloadKind::dataZip:
        return dataZipBytes;
    case DownloadKind::installer:
        return installerBytes;
    case DownloadKind::addonPackage:
        return addonPackageBytes;
    }
    return 0;
}

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
// of 400 or more, a redirect (never followed), the limits above and more bytes than the kind's
// cap make it fail. A failed transfer removes the (partial) file. Airport files are what most
// callers fetch.
bool downloadToFile(CURL* handle, const std::string& url, const std::filesystem::path& path, bool binary,
                    DownloadKind kind = DownloadKind::airportFile);
// libcurl's write callback: writes the block into the open file.
std::size_t downloadWriteCallback(char* data, std::size_t size, std::size_t count, std::FILE* file);

// The published version in the version file at url; 0.0.0 when it cannot be fetched or read.
VersionData getServerVersion(CURL* handle, const std::string& url);

// Downloads downloadBaseUrl(false) + zipName into a local file of that name and writes the
// content of all its file entries, in archive order, to target (which starts from empty).
// False, with the target removed, when the download, the archive or any entry fails, and when
// the zip or what it unpacks to exceeds the cap of data zips. The local zip is removed on every
// path.
bool downloadAndUnzip(const std::filesystem::path& zipName, const std::filesystem::path& target);
// downloadAndUnzip of "dbase.zip".
bool downloadDataBaseZip(const std::filesystem::path& target);

} // namespace qtr
