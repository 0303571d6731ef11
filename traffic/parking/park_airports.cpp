#include "traffic/parking/park_airports.h"

#include "airports/airport_file_queries.h"
#include "airports/airport_file_reader.h"
#include "airports/airports_db.h"
#include "foundation/indicators.h"
#include "foundation/parameters/parameter_display.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/text_files.h"
#include "foundation/time_text.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"
#include "links/feed.h"
#include "links/simconnect_client.h"
#include "traffic/parking/airport_file_fetch.h"
#include "traffic/parking/live_parking.h"
#include "traffic/state/removal.h"
#include "traffic/parking/stand_learning.h"
#include "traffic/parking/static_parking.h"
#include "traffic/state/traffic_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <mutex>
#include <optional>

namespace qtr {

std::vector<ParkAirportEntry> parkAirportList;
std::string parkFilePath;
ApfFileRecord parkFileRecord;
QualityPair parkFileQuality;
bool parkAirportReload = false;
bool learningOffByFile = false;
std::atomic<std::int32_t> userMaxLive{-1};

namespace {

const std::string listName = "my_park_airports.txt";
// The stand comparison's distance for an airport whose stands are not known: beyond any stand,
// as for an airport without a file.
constexpr double noStandNm = 100.0;

// Owned by the worker.
std::string reservedStand;
LatLon lastListPosition{};
// The user's stand found by the SimConnect thread, waiting for the worker (guarded by its mutex).
std::mutex userStandMutex;
std::optional<std::string> userStandRequest;
// The show-status flag of a ground choice that waits for its airport file.
bool showWhenFileArrives = false;

// A user position inside this box near 0,0 is the simulator's way of saying it is not known yet.
bool positionUnknown(const LatLon& p) { return p.lat >= 0.0 && p.lat <= 0.0009 && p.lon >= 0.0 && p.lon <= 0.05; }

std::string entryLine(const ParkAirportEntry& e)
{
    return e.reservedStand.empty() ? e.icao : e.icao + "," + e.reservedStand;
}

std::string parkAirportDisplayText()
{
    return airportDisplayText(Airport{parkAirportIcao, parkAirportIata, parkAirportPosition.lat,
                                      parkAirportPosition.lon, parkAirportElevation});
}

void enableDestination(bool enable) { gf_enableControl(DESTINATION, enable); }

// The statistics band's copies of the park airport and its reserved stand: the worker owns both,
// the window thread only reads these copies.
void showParkAirportState()
{
    indicators.setText(indicators.parkAirportText, parkAirportIcao.empty() ? std::string() : parkAirportDisplayText());
    indicators.setText(indicators.reservedStandText, reservedStand);
    indicators.invalidate(Band::statistics);
}

// Out of sight: too far away or too high above the ground.
bool inSight(double distance)
{
    return distance <= AIRPORT_RANGE.value() && workerUser().altAboveGround <= AIRPORT_HEIGHT.value();
}

void putFirst(const std::string& icao, const std::string& stand, LatLon position)
{
    const auto listed = std::find_if(parkAirportList.begin(), parkAirportList.end(),
                                     [&icao](const ParkAirportEntry& e) { return e.icao == icao; });
    if (listed != parkAirportList.end()) {
        ParkAirportEntry entry = *listed;
        parkAirportList.erase(listed);
        if (!stand.empty()) entry.reservedStand = stand;
        parkAirportList.insert(parkAirportList.begin(), entry);
        return;
    }
    parkAirportList.insert(parkAirportList.begin(), ParkAirportEntry{icao, stand, position, 0.0});
}

// The park airport becomes the list's first entry, with the stand under the user aircraft as its
// reserved stand. A listed airport is moved to the front (not listed twice) and keeps its
// reserved stand when the user aircraft stands on none.
void noteUserStand()
{
    if (!userOnGroundKnown.load()) return;
    const std::string stand = nearestStandName(userPosition());
    if (!parkAirportList.empty() && parkAirportList.front().icao == parkAirportIcao) {
        if (stand.empty() || stand == parkAirportList.front().reservedStand) return;
        parkAirportList.front().reservedStand = stand;
    } else {
        putFirst(parkAirportIcao, stand, parkAirportPosition);
    }
    writeMyParkAirports();
}

} // namespace

void takeReservedStandFromList()
{
    const bool first = !parkAirportList.empty() && parkAirportList.front().icao == parkAirportIcao;
    const std::string name = first ? parkAirportList.front().reservedStand : std::string();
    if (!name.empty() && findStandByName(name) != stands.end()) {
        reservedStand = name;
        indicators.reservedStandOk.store(true);
    } else {
        reservedStand.clear();
        indicators.reservedStandOk.store(false);
    }
    showParkAirportState();
}

namespace {

void allowLearning()
{
    if (parkFileQuality.real >= 45 && stands.size() >= 20) {
        learningAllowed = false;
        if (LEARN_SOFT.value()) {
            LEARN_SOFT.setValue(false);
            learningOffByFile = true;
        }
        showCheckBoxParameter(LEARN_SOFT);
        gf_enableControl(LEARN_SOFT, false);
    } else {
        learningAllowed = true;
        gf_enableControl(LEARN_SOFT, true);
    }
}

void restoreUserMaxLive()
{
    const std::int32_t mine = userMaxLive.load();
    if (MAX_LIVE.value() == mine) return;
    MAX_LIVE.setValue(mine);
    showIntParameter(MAX_LIVE);
    enforceMaxLive();
}

} // namespace

std::string reservedStandName() { return reservedStand; }

bool lf_readMyParkAirports()
{
    bool result = true;
    try {
        parkAirportList.clear();
        const auto lines = gf_readLines(myParkAirportsPath);
        if (!lines) {
            logLine(fmt::format("{} not found", pathToUtf8(myParkAirportsPath)));
        } else {
            for (const std::string& line : *lines) parseMyParkAirportsLine(result, line);
        }
        if (!parkAirportList.empty()) {
            logLine(fmt::format("{} park airport{} read from \"{}\"", parkAirportList.size(),
                                gf_plural(static_cast<std::int64_t>(parkAirportList.size())), listName));
            if (parkAirportList.size() > 3000)
                setStatus(fmt::format("Warning: There are a lot of airports ({}) in {}, that will cost QMSH much cpu "
                                      "time, and may give stutters",
                                      parkAirportList.size(), listName),
                          true);
        }
        addThirdPartyParkAirports();
    } catch (const std::exception& e) {
        logLine(fmt::format("{}: {}", "lf_readMyParkAirports", e.what()));
        result = false;
    }
    return result;
}

void parseMyParkAirportsLine(bool& result, const std::string& line)
{
    const std::vector<std::string> fields = gf_split(line, ',');
    if (fields.empty() || (fields.size() == 1 && fields[0].empty())) return;
    if (fields.size() >= 3) {
        logLine(fmt::format("{}:{} wrong syntax, skipped", listName, line));
        return;
    }
    const auto airport = findAirport(fields[0]);
    if (!airport) {
        setStatus(fmt::format("airport {} is unknown", fields[0]), true);
        result = false;
        return;
    }
    if (findParkAirport(fields[0])) {
        logLine(fmt::format("{}:{} double, skipped", listName, fields[0]));
        return;
    }
    parkAirportList.push_back(ParkAirportEntry{fields[0], fields.size() == 2 ? fields[1] : std::string(),
                                               LatLon{airport->latitude, airport->longitude}, 0.0});
}

void addThirdPartyParkAirports()
{
    std::error_code ec;
    if (!std::filesystem::is_directory(myThirdpartyFolder, ec)) return;
    std::size_t added = 0;
    for (const auto& item : std::filesystem::directory_iterator(myThirdpartyFolder)) {
        if (!item.is_regular_file()) continue;
        const std::string code = pathToUtf8(item.path().stem());
        if (findParkAirport(code)) continue;
        const auto airport = findAirport(code);
        if (!airport) continue;
        parkAirportList.push_back(ParkAirportEntry{code, "", LatLon{airport->latitude, airport->longitude}, 0.0});
        ++added;
    }
    if (added > 0)
        logLine(fmt::format("{} park airport{} added from my_thirdparty folder(-s) ", added,
                            gf_plural(static_cast<std::int64_t>(added))));
}

bool findParkAirport(const std::string& icao)
{
    return std::any_of(parkAirportList.begin(), parkAirportList.end(),
                       [&icao](const ParkAirportEntry& e) { return e.icao == icao; });
}

bool updateReservedStand(std::string& line)
{
    const ParkAirportEntry& first = parkAirportList.front();
    const std::vector<std::string> fields = gf_split(line, ',');
    if (fields.empty() || fields[0] != first.icao) return false;
    line = fmt::format("{},{}", first.icao, first.reservedStand);
    logLine(fmt::format("{}:{},{} updated stand", listName, first.icao, first.reservedStand));
    return true;
}

void writeMyParkAirports()
{
    if (parkAirportList.empty()) return;
    std::vector<std::string> lines;
    if (auto existing = gf_readLines(myParkAirportsPath)) {
        lines = std::move(*existing);
        const bool updated =
            std::any_of(lines.begin(), lines.end(), [](std::string& l) { return updateReservedStand(l); });
        if (!updated) {
            lines.push_back(entryLine(parkAirportList.front()));
            logLine(fmt::format("{}:{} new entry", listName, lines.back()));
        }
    } else {
        lines.push_back(entryLine(parkAirportList.front()));
        logLine(fmt::format("{} created with {}", listName, lines.back()));
    }
    std::erase_if(lines, [](const std::string& l) { return gf_trim(l).empty(); });
    std::sort(lines.begin(), lines.end());
    std::error_code ec;
    std::filesystem::create_directories(airportsFolder, ec);
    if (!gf_writeLines(lines, myParkAirportsPath)) logMarked(fmt::format("{} could not be written", listName));
}

void setParkAirportEntry(const std::string& icao, LatLon position)
{
    const bool listed = findParkAirport(icao);
    putFirst(icao, "", position);
    if (!listed) writeMyParkAirports();
}

void updateParkAirport(bool show)
{
    if (parkingBusy.load() && staticCandidates.empty()) {
        enableParkingControls();
        clearStatus();
        countStaticParked(true);
        countLiveParked(true);
    }
    if (parkAirportReload) {
        // The loop goes on while the file is on its way; it is read once it is here.
        if (lookUpAirportFile(parkAirportIcao).state == AirportFileState::onItsWay) return;
        clearStatus();
        parkAirportReload = false;
        const std::string failed = lf_readParkedFile();
        if (failed == noStandsFound) {
            // The airport stays chosen without stands: ground reports near it still count, and
            // its file is not read again while it stays.
            computeStaticParking();
            setStatus(failed, true);
        } else if (!failed.empty()) {
            setStatus(failed, true);
            clearParkAirport();
        } else {
            computeStaticParking();
        }
        enableDestination(true);
        return;
    }
    const LatLon user = userPosition();
    if (positionUnknown(user)) return;
    if (!parkAirportList.empty()) {
        if (user.lat == lastListPosition.lat && user.lon == lastListPosition.lon) {
            parkAirportList.front().distance = distanceNm(user, parkAirportList.front().position);
        } else {
            lastListPosition = user;
            for (ParkAirportEntry& e : parkAirportList) e.distance = distanceNm(user, e.position);
            if (DESTINATION.value().empty())
                std::stable_sort(
                    parkAirportList.begin(), parkAirportList.end(),
                    [](const ParkAirportEntry& a, const ParkAirportEntry& b) { return a.distance < b.distance; });
        }
    }
    if (!parkAirportIcao.empty()) {
        checkParkAirportInSight(user);
    } else {
        chooseParkAirport(user, show);
    }
}

void chooseParkAirport(const LatLon& user, bool show)
{
    if (userOnGround.load()) {
        // Between two airports the stands decide, from files at hand or fetched in the
        // background: the choice waits for them, the loop does not.
        bool standsOnTheirWay = false;
        const auto airport = closestAirport(user.lat, user.lon,
                                            [&](const std::string& icao, double lat, double lon, std::string& stand) {
                                                const AirportFile file = lookUpAirportFile(icao);
                                                if (file.state == AirportFileState::onItsWay) standsOnTheirWay = true;
                                                if (file.state != AirportFileState::ready) return noStandNm;
                                                return closestStandInFile(file.file, LatLon{lat, lon}, stand);
                                            });
        if (standsOnTheirWay) {
            showWhenFileArrives = show;
            return;
        }
        if (!airport) {
            setStatus("User aircraft on the ground, no airport in sight", false);
            return;
        }
        const AirportFileState file = lookUpAirportFile(airport->code).state;
        showWhenFileArrives = show;
        if (file == AirportFileState::onItsWay) return;
        if (file == AirportFileState::missing) {
            setStatus(fmt::format("User aircraft on the ground at {}, no airport file found", airport->code), false);
            return;
        }
        logLine(fmt::format("User aircraft on the ground at {}", airport->code));
        if (!setParkAirport(airport->code)) return;
        parkAirportReload = true;
        startStaticParkingCalculation(show);
        return;
    }
    enableDestination(true);
    if (parkAirportList.empty()) return;
    const ParkAirportEntry& first = parkAirportList.front();
    const double d = distanceNm(user, first.position);
    if (!inSight(d) || airportFileFailedRecently(first.icao) || !setParkAirport(first.icao)) return;
    setStatus(fmt::format("{} in sight at {:.1F} nm", first.icao, d), true);
    parkAirportReload = true;
    startStaticParkingCalculation(false);
}

void checkParkAirportInSight(const LatLon& user)
{
    if (userOnGround.load()) return;
    const double d = distanceNm(user, parkAirportPosition);
    if (!inSight(d)) {
        logLine(fmt::format("\n{} {} is out of sight ({:.1F} nm), parked aircraft will be removed", simTimeText(),
                            parkAirportDisplayText(), d));
        removeAllParkedAircraft();
        return;
    }
    if (parkAirportList.empty() || parkAirportList.front().icao == parkAirportIcao) return;
    const ParkAirportEntry& first = parkAirportList.front();
    const double entryDistance = distanceNm(user, first.position);
    if (!inSight(entryDistance) || entryDistance > d) return;
    logLine(fmt::format("\n{} {} is in sight ({:.1F} nm), parked aircraft at {} will be removed first", simTimeText(),
                        first.icao, entryDistance, parkAirportDisplayText()));
    removeAllParkedAircraft();
}

bool setParkAirport(const std::string& icao)
{
    const auto airport = findAirport(icao);
    if (!airport) return false;
    parkAirportIcao = airport->code;
    parkAirportIata = airport->iata;
    parkAirportPosition = LatLon{airport->latitude, airport->longitude};
    parkAirportElevation = airport->altitude;
    // Ground reports count from now on: within 5 nm of this airport.
    setReaderParkAirport(std::pair{airport->latitude, airport->longitude});
    logLine(fmt::format("The park airport is {}", airportDisplayText(*airport)));
    showParkAirportState();
    indicators.invalidate(Band::statistics);
    return true;
}

void clearParkAirport()
{
    if (parkFileLoaded && (learningOffByFile || standChangeCount.load() >= 1 || parkingParameterChanged.load())) {
        saveLearnedAirport();
        standChangeCount.store(0);
    }
    parkFileLoaded = false;
    learningOffByFile = false;
    learningAllowed = false;
    parkHandmade = false;
    gf_enableControl(flushStaticButton, false);
    gf_enableControl(parking_percentage, false);
    parkAirportIcao.clear();
    parkAirportIata.clear();
    parkAirportPosition = LatLon{};
    parkAirportElevation = 0.0;
    setReaderParkAirport(std::nullopt);
    setReaderParkAltitude(std::nullopt);
    indicators.updateCount.store(0);
    indicators.parkWeek.store(0);
    clearStaticParking();
    maxParkedAircraft = -1;
    evictedForLimit.clear();
    reservedStand.clear();
    clearStands();
    parkFilePath.clear();
    parkFileRecord = ApfFileRecord{};
    parkFileQuality = QualityPair{};
    indicators.parkAirportLoaded.store(false);
    indicators.reservedStandOk.store(false);
    indicators.setText(indicators.parkLineText1, "");
    indicators.setText(indicators.parkLineText2, "");
    indicators.standCount.store(0);
    showParkAirportState();
}

void removeAllParkedAircraft()
{
    staticCandidates.clear();
    removeAllStaticAircraft();
    for (LiveAircraft& a : liveAircraft) {
        if (a.phase == phaseParking) {
            // Its stand id names a stand of this airport only: kept, it would claim the stand of
            // that id at the next park airport and be learned into that airport's file.
            forgetParkPlace(a);
            setPhase(a, phaseTaxi);
            continue;
        }
        const bool onGround = a.phase == phasePushingBack || a.phase == phasePushedBack || a.phase == phaseTaxi ||
                              a.phase == phaseTakeOff || a.phase == phaseParked;
        if (!onGround) continue;
        forgetParkPlace(a);
        removeOrCancel(a);
    }
    std::erase_if(liveAircraft, [](const LiveAircraft& a) { return a.erase != 0; });
    clearParkAirport();
    restoreUserMaxLive();
}

std::string lf_readParkedFile()
{
    clearStands();
    const AirportFile located = lookUpAirportFile(parkAirportIcao);
    if (located.state == AirportFileState::onItsWay)
        return fmt::format("{} {}: the airport file is still on its way", "lf_readParkedFile", parkAirportIcao);
    const std::string& path = located.pathText;
    if (located.state == AirportFileState::missing || path.empty())
        return fmt::format("{} {} not found", "lf_readParkedFile", parkAirportIcao);
    if (path.find("unknown") != std::string::npos)
        return fmt::format("{} {} has publisher:{}, {}", "lf_readParkedFile", parkAirportIcao, "unknown", path);
    indicators.setText(indicators.parkLineText1, "");
    indicators.setText(indicators.parkLineText2, "");
    parkFilePath = path;
    parkFileRecord = ApfFileRecord{};
    std::string failed;
    // The stand list was just emptied: no file counts as loaded until the read says so.
    parkFileLoaded = false;
    try {
        failed = gf_readFetchedApf(path, located.file, parkFileRecord, parkFileQuality);
    } catch (const UserErrorException& e) {
        failed = e.what();
    }
    // Fetched once for this choice: the next choice fetches it anew.
    airportFileUsed(parkAirportIcao);
    // The traffic reader measures heights above the elevation the file gave, also when the file
    // turned out to hold no stands.
    if (parkFileLoaded) setReaderParkAltitude(parkAirportElevation);
    if (!failed.empty()) {
        parkFileLoaded = false;
        clearStands();
        return failed;
    }
    allowLearning();
    noteUserStand();
    {
        std::lock_guard lock(standsMutex);
        stands.shrink_to_fit();
    }
    takeReservedStandFromList();
    indicators.parkAirportLoaded.store(true);
    indicators.parkWeek.store(parkTrafficWeek);
    // Settings applied from the file are the airport's own; only the user's later changes count.
    parkingParameterChanged.store(false);
    indicators.setText(indicators.parkLineText1, parkFileRecord.airportName);
    standChangeCount.store(0);
    indicators.updateCount.store(0);
    indicators.invalidate(Band::statistics);
    return {};
}

bool checkParkAirportsAndStands(bool apply, std::string& message)
{
    const std::string current = reservedStand;
    if (!lf_readMyParkAirports()) return false;
    if (apply && userOnGroundKnown.load() && !parkingBusy.load() && !parkAirportList.empty() &&
        parkAirportList.front().icao == parkAirportIcao && nearestStandName(userPosition()).empty()) {
        const std::string wanted = parkAirportList.front().reservedStand;
        if (!wanted.empty() && wanted != current) {
            message = fmt::format("reserved stand changed from \"{}\" to \"{}\"", current, wanted);
            if (auto old = findStandByName(current); old != stands.end()) old->reserved = false;
            reservedStand = wanted;
            removeAircraftAtStand();
            if (auto now = findStandByName(wanted); now != stands.end()) {
                now->reserved = true;
                indicators.reservedStandOk.store(true);
            } else {
                indicators.reservedStandOk.store(false);
            }
            showParkAirportState();
        }
    }
    if (message.empty()) message = "park airports and stands are okay";
    return true;
}

void updateParkAirportWhenFileArrives()
{
    if (airportFileArrived()) updateParkAirport(showWhenFileArrives);
}

void startStaticParkingCalculation(bool show)
{
    disableParkingControls();
    startCollectingReportedFlights();
    if (show) setStatus("Calculating static parked aircraft ...", false);
}

void requestUserStand(const std::string& stand)
{
    if (stand.empty()) return;
    std::lock_guard lock(userStandMutex);
    userStandRequest = stand;
}

void serveUserStandRequest()
{
    std::optional<std::string> stand;
    {
        std::lock_guard lock(userStandMutex);
        stand.swap(userStandRequest);
    }
    if (!stand || parkAirportList.empty() || parkAirportIcao.empty()) return;
    ParkAirportEntry& first = parkAirportList.front();
    if (first.icao != parkAirportIcao || first.reservedStand == *stand) return;
    first.reservedStand = *stand;
    writeMyParkAirports();
}

void clearParkAirportState()
{
    parkAirportList.clear();
    reservedStand.clear();
    showParkAirportState();
    lastListPosition = LatLon{};
    parkAirportReload = false;
    showWhenFileArrives = false;
    finishAirportFileFetch();
    learningOffByFile = false;
    learningAllowed = false;
    parkFilePath.clear();
    parkFileRecord = ApfFileRecord{};
    parkFileQuality = QualityPair{};
    maxParkedAircraft = -1;
    evictedForLimit.clear();
    std::lock_guard lock(userStandMutex);
    userStandRequest.reset();
}

} // namespace qtr
