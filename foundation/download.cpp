#include "foundation/download.h"

#include "foundation/clock.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/win_text.h"
#include "foundation/run_control.h"

#include <curl/curl.h>
#include <fmt/format.h>

#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <vector>

namespace qtr {

namespace {

DownloadTimeouts& timeoutsStorage()
{
    static DownloadTimeouts timeouts;
    return timeouts;
}

// When each site that did not answer last did so; transfers run on several threads.
struct UnansweredSites {
    std::mutex mutex;
    std::map<std::string, std::chrono::steady_clock::time_point> since;
};

UnansweredSites& unansweredSites()
{
    static UnansweredSites sites;
    return sites;
}

// "http://host:port" of an address: what answers or not is the host, whatever the path.
std::string lf_siteOf(const std::string& url)
{
    const auto scheme = url.find("://");
    return url.substr(0, url.find('/', scheme == std::string::npos ? 0 : scheme + 3));
}

bool lf_unansweredLately(const std::string& site)
{
    UnansweredSites& sites = unansweredSites();
    std::lock_guard lock(sites.mutex);
    const auto it = sites.since.find(site);
    if (it == sites.since.end()) return false;
    if (clock().steadyNow() - it->second < unansweredSiteWait) return true;
    sites.since.erase(it);
    return false;
}

void lf_noteUnanswered(const std::string& site)
{
    UnansweredSites& sites = unansweredSites();
    std::lock_guard lock(sites.mutex);
    sites.since[site] = clock().steadyNow();
}

// What one transfer has heard from the site so far.
struct TransferWatch {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::chrono::milliseconds responseTimeout;
    bool answered = false;
    bool unanswered = false;
};

// Any header line is the start of the site's answer.
std::size_t lf_noteHeader(char*, std::size_t size, std::size_t count, void* userData)
{
    static_cast<TransferWatch*>(userData)->answered = true;
    return size * count;
}

// Ends a transfer as soon as the program is asked to stop, or when the site has not begun to
// answer in time; libcurl calls this at least about once a second, also while nothing arrives.
// Real time, not the program's clock: the network's waits are real.
int lf_watchTransfer(void* userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    if (stopRequested.load() || windowClosed.load()) return 1;
    TransferWatch& watch = *static_cast<TransferWatch*>(userData);
    if (!watch.answered && std::chrono::steady_clock::now() - watch.start >= watch.responseTimeout) {
        watch.unanswered = true;
        return 1;
    }
    return 0;
}

// Reads the lines of a small file, without their line ends (LF or CRLF).
std::vector<std::string> lf_readLines(const std::filesystem::path& path, bool& opened)
{
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    opened = static_cast<bool>(in);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string lf_pathText(const std::filesystem::path& path) noexcept
{
    try {
        return pathToUtf8(path);
    } catch (...) {
        return "?";
    }
}

void lf_removeIfExists(const std::filesystem::path& path)
{
    if (std::filesystem::exists(path)) std::filesystem::remove(path);
}

// The open file of a transfer and what may still be written to it.
struct CappedFile {
    std::FILE* file;
    std::uint64_t capBytes;
    std::uint64_t written = 0;
    bool overCap = false;
};

// Writes the block unless it would take the file beyond its cap; a short count ends the
// transfer with a write error.
std::size_t lf_writeCapped(char* data, std::size_t size, std::size_t count, void* userData)
{
    CappedFile& target = *static_cast<CappedFile*>(userData);
    const std::uint64_t bytes = static_cast<std::uint64_t>(size) * count;
    if (bytes > target.capBytes - target.written) {
        target.overCap = true;
        return 0;
    }
    target.written += bytes;
    return downloadWriteCallback(data, size, count, target.file);
}

// The reason of a failed transfer for the log.
std::string lf_failureText(CURLcode result, long status, const char* errorBuffer, const CappedFile& target,
                           const TransferWatch& watch)
{
    if (watch.unanswered)
        return fmt::format("no answer began within {} ms of the request", watch.responseTimeout.count());
    if (result == CURLE_ABORTED_BY_CALLBACK) return "stopped, the program is asked to stop";
    if (target.overCap || result == CURLE_FILESIZE_EXCEEDED)
        return fmt::format("larger than the {} bytes allowed for this file", target.capBytes);
    if (result != CURLE_OK) return errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(result);
    return fmt::format("HTTP status {} (redirects are not followed)", status);
}

} // namespace

const DownloadTimeouts& downloadTimeouts() { return timeoutsStorage(); }

void setDownloadTimeouts(const DownloadTimeouts& timeouts) { timeoutsStorage() = timeouts; }

void forgetUnansweredSites()
{
    UnansweredSites& sites = unansweredSites();
    std::lock_guard lock(sites.mutex);
    sites.since.clear();
}

void CurlCleanup::operator()(CURL* handle) const
{
    if (handle != nullptr) curl_easy_cleanup(handle);
}

CurlHandle makeCurlHandle()
{
    // The library's global set-up is not thread-safe: once, before the first handle.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    return CurlHandle(curl_easy_init());
}

std::string downloadSiteRoot()
{
    std::string root = DOWNLOAD_SITE.value();
    if (root.empty() || root.back() != '/') root += '/';
    return root;
}

std::string downloadBaseUrl(bool force2020)
{
    return downloadSiteRoot() + ((MSFS_2020.value() || force2020) ? "MSFS/" : "MSFS2024/");
}

std::size_t downloadWriteCallback(char* data, std::size_t size, std::size_t count, std::FILE* file)
{
    return std::fwrite(data, size, count, file);
}

bool downloadToFile(CURL* handle, const std::string& url, const std::filesystem::path& path, bool binary,
                    DownloadKind kind)
{
    if (handle == nullptr) return false;
    const std::string site = lf_siteOf(url);
    if (lf_unansweredLately(site)) {
        logLine(fmt::format("transfer of {} skipped: {} did not answer within the last {} minutes", url, site,
                            unansweredSiteWait.count()));
        return false;
    }
    bool ok = false;
    try {
        std::FILE* file = nullptr;
        if (_wfopen_s(&file, path.c_str(), binary ? L"wb" : L"w") != 0 || file == nullptr) {
            logLine(fmt::format("could not open output file: {}", pathToUtf8(path)));
            return false;
        }
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, &std::fclose);
        CappedFile target{file, downloadCaps().of(kind)};
        char errorBuffer[CURL_ERROR_SIZE] = {};
        const DownloadTimeouts& limits = downloadTimeouts();
        curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle, CURLOPT_USERAGENT, "QMSH");
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &lf_writeCapped);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &target);
        curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
        // A stalled, dripping or endless site must neither block the worker for ever nor keep
        // the window from closing, and an announced size above the cap fails before any byte.
        curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeout.count()));
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytesPerSecond);
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits.lowSpeedTime.count()));
        curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalTime.count()));
        curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(target.capBytes));
        TransferWatch watch{.responseTimeout = limits.responseTimeout};
        curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &lf_noteHeader);
        curl_easy_setopt(handle, CURLOPT_HEADERDATA, &watch);
        curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &lf_watchTransfer);
        curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &watch);
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
        // The loopback address never goes through a proxy.
        curl_easy_setopt(handle, CURLOPT_NOPROXY, "127.0.0.1,localhost");
        const CURLcode result = curl_easy_perform(handle);
        curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, nullptr);
        // Redirects are not followed: a redirect is no file.
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        long headerBytes = 0;
        curl_easy_getinfo(handle, CURLINFO_HEADER_SIZE, &headerBytes);
        ok = result == CURLE_OK && !(status >= 300 && status < 400);
        if (!ok)
            logLine(fmt::format("transfer of {} failed: {}", url,
                                lf_failureText(result, status, errorBuffer, target, watch)));
        // Out of time without a byte: the site is down or silent, not slow.
        if (watch.unanswered || (result == CURLE_OPERATION_TIMEDOUT && headerBytes == 0)) {
            lf_noteUnanswered(site);
            logLine(
                fmt::format("{} did not answer: no transfer from it for {} minutes", site, unansweredSiteWait.count()));
        }
        if (std::fflush(file) != 0 || std::ferror(file) != 0) ok = false;
        // Closed before a removal: an open file cannot be removed on Windows.
        if (std::fclose(closer.release()) != 0) ok = false;
    } catch (const std::exception& e) {
        logLine(fmt::format("downloader exception: \"{}\", {} => {}", e.what(), url, lf_pathText(path)));
        ok = false;
    }
    // No partial file stays behind to be taken for a whole one, or to fill the disk.
    if (!ok) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
    return ok;
}

VersionData getServerVersion(CURL* handle, const std::string& url)
{
    const std::filesystem::path local{"version.json"};
    // Binary, so that a version file with CRLF line ends reads like one with LF.
    if (!downloadToFile(handle, url, local, true, DownloadKind::versionFile)) {
        logMarked(fmt::format("downloading \"{}\" failed", url));
        lf_removeIfExists(local);
        return {};
    }
    bool opened = false;
    const std::vector<std::string> lines = lf_readLines(local, opened);
    lf_removeIfExists(local);
    if (!opened || lines.empty()) return {};
    // A version file is one line: dotted text or a one-line JSON object.
    return VersionData(lines.front());
}

bool downloadAndUnzip(const std::filesystem::path& zipName, const std::filesystem::path& target)
{
    CurlHandle handle = makeCurlHandle();
    bool result = true;
    const std::string zipText = pathToUtf8(zipName);
    if (!downloadToFile(handle.get(), downloadBaseUrl(false) + zipText, zipName, true, DownloadKind::dataZip)) {
        result = false;
        logMarked(fmt::format("downloading {} failed?", zipText));
    } else {
        result = gf_unzipToFile(zipName, zipText, target, downloadCaps().dataZipBytes);
    }
    lf_removeIfExists(zipName);
    return result;
}

bool downloadDataBaseZip(const std::filesystem::path& target)
{
    static const std::filesystem::path dataBaseZip{"dbase.zip"};
    return downloadAndUnzip(dataBaseZip, target);
}

} // namespace qtr
