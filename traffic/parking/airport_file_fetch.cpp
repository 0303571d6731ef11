#include "traffic/parking/airport_file_fetch.h"

#include "airports/airport_file_reader.h"
#include "airports/archive_download.h"
#include "foundation/clock.h"
#include "foundation/log.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>

namespace qtr {

BackgroundTransfer::BackgroundTransfer(std::string url, std::filesystem::path target) : url_(std::move(url))
{
    thread_ = std::thread([this, target = std::move(target)] {
        succeeded_ = fetchArchiveUrl(url_, target);
        done_.store(true, std::memory_order_release);
    });
}

BackgroundTransfer::~BackgroundTransfer()
{
    if (thread_.joinable()) thread_.join();
}

namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

// An airport's file from the site: on its way while transfer runs, then fetched (at target) until
// a choice has read it.
struct Fetch {
    std::string archivePath;
    std::filesystem::path target;
    std::unique_ptr<BackgroundTransfer> transfer;
};

// Worker-owned, like the park airport itself. By airport: the choice on the ground compares the
// closest airport's stands with a neighbour's, so two files may be on their way at once.
std::map<std::string, Fetch> fetches;
std::map<std::string, SteadyTime> failedAt;

// Each airport's file has a name of its own: the neighbour's must not take the place of the
// closest airport's.
std::filesystem::path fetchTarget(const std::string& icao)
{
    return parkAirportDownloadPath.parent_path() /
           (parkAirportDownloadPath.stem().string() + "_" + icao + parkAirportDownloadPath.extension().string());
}

void forgetFetch(std::map<std::string, Fetch>::iterator at)
{
    std::error_code ec;
    std::filesystem::remove(at->second.target, ec);
    fetches.erase(at);
}

} // namespace

bool airportFileFailedRecently(const std::string& icao)
{
    const auto failed = failedAt.find(icao);
    if (failed == failedAt.end()) return false;
    if (clock().steadyNow() - failed->second < airportFileRetryWait) return true;
    failedAt.erase(failed);
    return false;
}

bool airportFileTransferRunning()
{
    return std::any_of(fetches.begin(), fetches.end(),
                       [](const auto& f) { return f.second.transfer && !f.second.transfer->done(); });
}

bool airportFileArrived()
{
    bool arrived = false;
    for (auto at = fetches.begin(); at != fetches.end();) {
        Fetch& f = at->second;
        if (!f.transfer || !f.transfer->done()) {
            ++at;
            continue;
        }
        arrived = true;
        if (f.transfer->succeeded()) {
            f.transfer.reset();
            ++at;
            continue;
        }
        failedAt[at->first] = clock().steadyNow();
        logLine(downloadFailedText(f.transfer->url()));
        f.transfer.reset();
        at = fetches.erase(at);
    }
    return arrived;
}

AirportFile lookUpAirportFile(const std::string& icao)
{
    airportFileArrived();
    const std::optional<std::string> local = findLocalAirportFile(icao);
    if (local && !isArchivePath(*local)) return {AirportFileState::ready, *local, std::filesystem::path(*local)};
    // A redirect names the archive path; without one only the stock archive may have the file.
    const std::string archivePath = local ? *local : stockArchivePath(icao);
    if (archivePath.empty()) return {AirportFileState::missing, "", {}};
    if (auto at = fetches.find(icao); at != fetches.end()) {
        // A transfer still running is waited for, never joined here: the loop goes on.
        if (at->second.transfer) return {AirportFileState::onItsWay, archivePath, {}};
        if (at->second.archivePath == archivePath) return {AirportFileState::ready, archivePath, at->second.target};
        // The airport's redirect changed: what was fetched for the old one does not count.
        forgetFetch(at);
    }
    if (airportFileFailedRecently(icao)) return {AirportFileState::missing, archivePath, {}};
    Fetch& f = fetches[icao];
    f.archivePath = archivePath;
    f.target = fetchTarget(icao);
    f.transfer = std::make_unique<BackgroundTransfer>(archiveUrl(archivePath), f.target);
    return {AirportFileState::onItsWay, archivePath, {}};
}

void airportFileUsed(const std::string& icao)
{
    if (auto at = fetches.find(icao); at != fetches.end() && !at->second.transfer) forgetFetch(at);
}

void finishAirportFileFetch()
{
    // Each transfer is joined as its fetch goes.
    while (!fetches.empty()) forgetFetch(fetches.begin());
    failedAt.clear();
}

} // namespace qtr
