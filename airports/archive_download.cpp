#include "airports/archive_download.h"

#include "foundation/download.h"
#include "foundation/log.h"
#include "foundation/text_files.h"

#include <fmt/format.h>

namespace qtr {

std::string xmlFileName(const std::string& name) { return name + ".xml"; }

std::filesystem::path xmlPath(const std::string& name) { return std::filesystem::path(xmlFileName(name)); }

std::filesystem::path txtPath(const std::string& name) { return std::filesystem::path(name + ".txt"); }

std::string archiveUrl(const std::string& archivePath)
{
    // The stock and add-on archives exist once, below "MSFS/"; other publishers' files differ
    // per simulator.
    const bool shared = (archivePath.size() >= 8 && archivePath.find("vendrake") != std::string::npos) ||
                        (archivePath.size() >= 5 && archivePath.find("stock") != std::string::npos);
    return downloadBaseUrl(shared) + archivePath;
}

bool downloadStockApf(const std::string& name)
{
    CurlHandle handle = makeCurlHandle();
    const std::filesystem::path local = xmlPath(name);
    const bool fetched = downloadToFile(handle.get(), downloadBaseUrl(true) + "archive/stock/" + xmlFileName(name),
                                        local, false, DownloadKind::airportFile);
    // Only the answer counts: the file goes on every path, so that a failed fetch leaves no empty
    // file that a later look-up would take for the airport's file.
    gf_removeIfExists(local);
    return fetched;
}

bool fetchArchiveUrl(const std::string& url, const std::filesystem::path& target)
{
    CurlHandle handle = makeCurlHandle();
    if (downloadToFile(handle.get(), url, target, false, DownloadKind::airportFile)) return true;
    // A partial or empty file must not be read as the airport's file later.
    std::error_code ec;
    std::filesystem::remove(target, ec);
    return false;
}

std::string downloadFailedText(const std::string& url) { return fmt::format("failed to download: \"{}\"", url); }

std::string downloadApf(const std::string& archivePath, const std::filesystem::path& target)
{
    const std::string url = archiveUrl(archivePath);
    if (fetchArchiveUrl(url, target)) return {};
    const std::string message = downloadFailedText(url);
    logLine(message);
    return message;
}

} // namespace qtr
