#pragma once
// The park airport: the one airport near the user aircraft whose stands are stocked with static
// aircraft and on which live aircraft park. The user's list of park airports
// ("airports/my_park_airports.txt", each with the stand reserved for the user aircraft), the
// choice of the park airport in the data cycle, dropping it when it goes out of sight, loading
// its stands, and leaving it (saving what was learned there).
//
// Ownership: the worker thread owns the list, the park airport and the reserved stand. The
// SimConnect thread only hands the user's stand over (requestUserStand), which the worker serves.
#include "airports/airport_file_reader.h"
#include "foundation/geometry.h"

#include <atomic>
#include <string>
#include <vector>

namespace qtr {

struct ParkAirportEntry {
    std::string icao;
    std::string reservedStand;
    LatLon position;
    double distance = 0; // nm to the user aircraft
};
// Nearest first after a re-sort, or the entry last put in front.
extern std::vector<ParkAirportEntry> parkAirportList;
// The park airport's file as it was read: its path text, record and quality.
extern std::string parkFilePath;
extern ApfFileRecord parkFileRecord;
extern QualityPair parkFileQuality;
// The next update loads the chosen park airport's file.
extern bool parkAirportReload;
// The park file switched learning off (it is good enough already).
extern bool learningOffByFile;
// The user's own MAX_LIVE, put back when a park airport's file that set its own is left: noted
// at the worker's start and when typed while no park airport's stands are loaded.
extern std::atomic<std::int32_t> userMaxLive;

// The stand of the current park airport kept free for the user aircraft ("" when none).
std::string reservedStandName();
// The first list entry's reserved stand becomes the park airport's when it is the park airport's
// entry and the stand exists (the last step of loading the airport).
void takeReservedStandFromList();

bool lf_readMyParkAirports();
void addThirdPartyParkAirports();
void parseMyParkAirportsLine(bool& result, const std::string& line);
bool findParkAirport(const std::string& icao);
void writeMyParkAirports();
bool updateReservedStand(std::string& line);
void setParkAirportEntry(const std::string& icao, LatLon position);

void updateParkAirport(bool show);
void chooseParkAirport(const LatLon& user, bool show);
void checkParkAirportInSight(const LatLon& user);
bool setParkAirport(const std::string& icao);
void clearParkAirport();
void removeAllParkedAircraft();
std::string lf_readParkedFile();
bool checkParkAirportsAndStands(bool apply, std::string& message);
void startStaticParkingCalculation(bool show);
// Goes on with the choice or the read that waited for the park airport's file as soon as its
// transfer has ended (every data cycle; the periodic update comes only every 16).
void updateParkAirportWhenFileArrives();

// The SimConnect thread found the user aircraft standing still on this stand (at the close of
// the connection or a new flight): the worker makes it the reserved stand of the park airport.
void requestUserStand(const std::string& stand);
// Serves that request (worker thread): in the data cycle and before the exit clears the airport.
void serveUserStandRequest();

// Back to the start of a run: no park airport, empty list, no pending request.
void clearParkAirportState();

} // namespace qtr
