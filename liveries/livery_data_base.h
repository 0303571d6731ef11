#pragma once
// The livery data base: every installed AI livery the program may give to a flight, grouped so
// that the matcher finds the titles of one airline and type, or of one type over all airlines,
// with one or two hash lookups. It is built from "LiveriesScanned.xml" once per process.
//
// Ownership: airlineLiveries owns every title. The pax/cargo and model maps, the regcode map,
// specialTitles, the matcher's remembered choices and the title of every aircraft record hold
// views of these titles, so the data base changes only in gf_clearLiveries, which empties all of
// those views with it. Everything here is built and read on the worker thread, without a lock;
// scannedLiveries is also filled by the scan's walk on the worker.
#include "liveries/fnv_hash.h"

#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qtr {

struct LiveryRecord {
    std::string airline; // ICAO code; "ZZZ" generic, "PVT" private
    std::string icaoType;
    std::string title;
    std::string regcode;            // the registration painted on it, "" when none
    std::uint32_t folderNumber = 0; // 1...10 in scan order; 0 when read from the file
    bool cargo = false;
};

// Equal title, airline, type, regcode and cargo flag (the folder is not compared).
bool liveryEquals(const LiveryRecord& a, const LiveryRecord& b);
// By airline, then type, then title, byte-wise.
bool liveryBefore(const LiveryRecord& a, const LiveryRecord& b);
bool sameAirlineAndType(const LiveryRecord& a, const LiveryRecord& b);

// The records of a scan, or of the file while the data base is built.
extern std::list<LiveryRecord> scannedLiveries;

struct LiveryEntry {
    std::string title;
    bool cargo = false;
};

// A non-owning view of a title stored in airlineLiveries.
using TitleView = std::string_view;
using TitleList = std::vector<TitleView>;

extern FnvMap<FnvMap<std::vector<LiveryEntry>>> airlineLiveries;
extern FnvMap<FnvMap<TitleList>> paxAirlineTitles;
extern FnvMap<FnvMap<TitleList>> cargoAirlineTitles;
extern FnvMap<TitleList> paxModelTitles;
extern FnvMap<TitleList> cargoModelTitles;
// Installed types of the categories Light, Buzjets and Rotorcraft, sorted.
extern std::vector<std::string> lightTypes;
extern std::vector<std::string> buzjetTypes;
extern std::vector<std::string> rotorcraftTypes;
// Liveries reserved for their own registrations; the matcher's random pick avoids them.
extern TitleList specialTitles;
// The data base has been built in this process.
extern bool liveriesProcessed;

// Builds the data base from "LiveriesScanned.xml" unless it was built already; the file
// reader's user errors (51, 52, 533) pass on.
void lf_processScannedLiveries();
// The building steps after the file is read, from scannedLiveries as it stands (tests fill it).
void buildLiveryDataBase();
void lf_buildAirlineMap();
void lf_buildPaxCargoMaps();
void lf_buildModelMaps();
void lf_reportGenericLiveries();
void lf_logLiveryCategories(std::uint32_t category);

// The stored title equal to the text, an empty view when no livery has it.
TitleView gf_findTitleOwner(std::string_view title);
bool gf_airlineHasModel(std::string_view airline, std::string_view type);
bool gf_modelHasLivery(std::string_view type);
std::vector<std::string> gf_getAirlineCodes();
// Empties the data base and everything that holds views of its titles. Worker thread only.
void gf_clearLiveries();
void gf_reserveLiveryContainers();

// Asks the worker to clear the livery data at its next start (the window thread's commands
// must not free titles that the running worker's aircraft still show).
void gf_requestLiveryClear();
// At a worker start: serves that request (clear, liveriesProcessed off).
void gf_serveLiveryClearRequest();

} // namespace qtr
