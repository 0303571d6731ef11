#pragma once
// Fills the aircraft type data base and the livery data base directly, for tests of the matcher
// and of the traffic manager: no "dbase.zip", no scan, no registration-code download.
#include "foundation/parameters/parameter_table.h"
#include "foundation/zip_archive.h"
#include "liveries/livery_data_base.h"
#include "liveries/type_data_base.h"
#include "liveries/type_queries.h"
#include "support/test_support.h"
#include "traffic/state/records.h"

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

namespace qtest {

// A type of the given category (0 Light ... 5 Rotorcraft) with its half span in nm (0: none).
inline void addTestType(const std::string& type, std::uint32_t category, double halfSpanNm = 0.0)
{
    using namespace qtr;
    validTypes.insert(type);
    OrderedSet* sets[] = {nullptr, &buzjetTypeSet, &largeTypeSet, &heavyTypeSet, &highPerfTypeSet, &rotorcraftTypeSet};
    if (category < 6 && sets[category]) sets[category]->insert(type);
    if (halfSpanNm > 0.0) typeHalfWingSpans[type] = halfSpanNm;
}

// Builds the livery data base from these records as the program builds it from its file. The
// registration-code download goes to the given site, by default a closed port of this machine
// (it fails at once), and
// the categories that the building switches off for want of liveries are switched on again, so
// that a test sees only the matching data it asked for.
inline void installTestLiveries(std::vector<qtr::LiveryRecord> records,
                                const std::string& regcodeSite = "http://127.0.0.1:9/")
{
    using namespace qtr;
    gf_clearLiveries();
    liveriesProcessed = false;
    const std::string site = DOWNLOAD_SITE.value();
    DOWNLOAD_SITE.setValue(regcodeSite);
    const std::array<bool, 3> categories{LIGHT_AIRCRAFT.value(), HIGH_PERF_AIRCRAFT.value(), HELICOPTERS.value()};
    scannedLiveries.assign(records.begin(), records.end());
    scannedLiveries.sort(liveryBefore);
    buildLiveryDataBase();
    DOWNLOAD_SITE.setValue(site);
    LIGHT_AIRCRAFT.setValue(categories[0]);
    HIGH_PERF_AIRCRAFT.setValue(categories[1]);
    HELICOPTERS.setValue(categories[2]);
}

// Reads the data base that tools/dbase/make_dbase.py made from the real data (build/data/dbase.zip).
inline void loadRealDataBase()
{
    qtr::ZipArchive zip;
    if (!zip.open(QM_DBASE_ZIP)) throw std::runtime_error("no " QM_DBASE_ZIP);
    const auto path = freshFolder("dbase") / "dbase.xml";
    writeFile(path, zip.readAsText(zip.entries().front()));
    qtr::readDataBaseFile(path);
}

// Empties both data bases.
inline void clearTestDataBases()
{
    qtr::gf_clearLiveries();
    qtr::liveriesProcessed = false;
    qtr::clearTypeDataBase();
}

} // namespace qtest
