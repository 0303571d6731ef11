#include "traffic/parking/airport_file_fetch.h"

#include "airports/airport_file_reader.h"
#include "airports/archive_download.h"
#include "foundation/clock.h"
#include "foundation/log.h"

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

struct Fetched {
    std::string icao;
    std::string archivePath;
};

// Worker-owned, like the park airport itself.
std::unique_ptr<BackgroundTransfer> transfer;
Fetched transferFor;
std::optional<Fetched> fetched;
std::map<std::string, SteadyTime> failedAt;

} // namespace

bool airportFileFailedRecently(const std::string& icao)
{
    const auto failed = failedAt.find(icao);
    if (failed == failedAt.end()) return false;
    if (clock().steadyNow() - failed->second < airportFileRetryWait) return true;
    failedAt.erase(failed);
    return false;
}

bool airportFileTransferRunning() { return transfer && !transfer->done(); }

bool airportFileArrived()
{
    if (!transfer || !transfer->done()) return false;
    if (transfer->succeeded()) {
        fetched = transferFor;
    } else {
        failedAt[transferFor.icao] = clock().steadyNow();
        logLine(downloadFailedText(transfer->url()));
    }
    transfer.reset();
    return true;
}

AirportFile lookUpAirportFile(const std::string& icao)
{
    airportFileArrived();
    const std::optional<std::string> local = findLocalAirportFile(icao);
    if (local && !isArchivePath(*local)) return {AirportFileState::ready, *local, std::filesystem::path(*local)};
    // A redirect names the archive path; without one only the stock archive may have the file.
    const std::string archivePath = local ? *local : stockArchivePath(icao);
    if (archivePath.empty()) return {AirportFileState::missing, "", {}};
    if (fetched && fetched->icao == icao && fetched->archivePath == archivePath)
        return {AirportFileState::ready, archivePath, parkAirportDownloadPath};
    if (transfer) return {AirportFileState::onItsWay, archivePath, {}};
    if (airportFileFailedRecently(icao)) return {AirportFileState::missing, archivePath, {}};
    // The target is shared: what was fetched before is gone with the new transfer.
    fetched.reset();
    transferFor = Fetched{icao, archivePath};
    transfer = std::make_unique<BackgroundTransfer>(archiveUrl(archivePath), parkAirportDownloadPath);
    return {AirportFileState::onItsWay, archivePath, {}};
}

void airportFileUsed(const std::string& icao)
{
    if (fetched && fetched->icao == icao) fetched.reset();
}

void finishAirportFileFetch()
{
    transfer.reset();
    fetched.reset();
    failedAt.clear();
}

} // namespace qtr
