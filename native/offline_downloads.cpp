// The native test build has no download site and no Schannel: every transfer fails the way an
// unreachable site makes it fail, so the callers take their "download failed" paths. The Windows
// build links the real foundation/download.cpp instead.
#include "foundation/download.h"

#include <system_error>

namespace qtr {

void CurlCleanup::operator()(CURL*) const {}

CurlHandle makeCurlHandle() { return CurlHandle(nullptr); }

std::string downloadBaseUrl(bool force2020) { return force2020 ? "offline/MSFS/" : "offline/MSFS2024/"; }

bool downloadToFile(CURL*, const std::string&, const std::filesystem::path&, bool, DownloadKind) { return false; }

void forgetUnansweredSites() {}

bool downloadAndUnzip(const std::filesystem::path&, const std::filesystem::path& target)
{
    std::error_code ec;
    std::filesystem::remove(target, ec); // as after a failed download: no partial target
    return false;
}

bool downloadDataBaseZip(const std::filesystem::path& target) { return downloadAndUnzip("dbase.zip", target); }

} // namespace qtr
