#pragma once
// The park airport's file from the download site, fetched on a thread of its own: the worker's
// loop goes on, and live traffic keeps flowing, while the site is slow, stalls half-way or stays
// silent; the choice of the park airport simply waits for its file (and for a neighbour's, whose
// stands it compares on the ground). Each choice fetches its file once, and a file that could
// not be fetched is asked for again only after airportFileRetryWait, not at every look of the
// data cycle.
//
// Ownership: the worker owns all of it. A transfer's thread writes only the fetched file and its
// own result. A transfer ends by its own limits or as soon as the program is asked to stop,
// and finishAirportFileFetch joins it at the run's exit.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace qtr {

// One download into a file on a thread of its own; the thread is joined when the object goes.
class BackgroundTransfer {
public:
    BackgroundTransfer(std::string url, std::filesystem::path target);
    ~BackgroundTransfer();
    BackgroundTransfer(const BackgroundTransfer&) = delete;
    BackgroundTransfer& operator=(const BackgroundTransfer&) = delete;

    bool done() const { return done_.load(std::memory_order_acquire); }
    // Whether the file arrived whole (meaningful once done).
    bool succeeded() const { return succeeded_; }
    const std::string& url() const { return url_; }

private:
    std::string url_;
    bool succeeded_ = false; // written by the thread before done_ is released
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// A failed airport file is not asked for again before this has passed.
inline constexpr std::chrono::minutes airportFileRetryWait{5};

enum class AirportFileState { onItsWay, ready, missing };

struct AirportFile {
    AirportFileState state = AirportFileState::missing;
    // As findAirportFile gives it: a local path text or an archive path ("" when none).
    std::string pathText;
    // Where the file can be read now (ready only).
    std::filesystem::path file;
};

// What is known of the airport's file now. A local file is ready at once. A file of the site's
// archive (named by a redirect, else the stock archive's) is fetched in the background, each
// airport's into a file of its own: on its way until it has arrived (ready) or failed (missing
// until the retry wait has passed).
AirportFile lookUpAirportFile(const std::string& icao);
// Takes in the results of the transfers that have ended: true when one ended since the last
// call, so that the choice waiting for it can go on at once.
bool airportFileArrived();
// The choice has read its file: choosing the airport again fetches it anew.
void airportFileUsed(const std::string& icao);
// Whether a transfer is running now.
bool airportFileTransferRunning();
// Whether the airport's file failed within the retry wait.
bool airportFileFailedRecently(const std::string& icao);
// Joins the transfers still running (each ends within about a second once a stop is requested)
// and forgets (and removes) what was fetched and what failed.
void finishAirportFileFetch();

} // namespace qtr
