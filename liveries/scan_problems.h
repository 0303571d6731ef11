#pragma once
// What the scan of installed aircraft.cfg files finds wrong: one line per problem in a few shared
// lists, written to report files after the scan; and the corrections from the data base's
// registration records.
//
// Ownership: the scan tasks append from many threads, each list under its own mutex; the driver
// reads, sorts, writes and empties them on the worker thread when no task runs. dbaseConversions
// is the driver's alone.
#include "liveries/livery_data_base.h"

#include <list>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace qtr {

// A list of report lines that many threads append to.
template <class Container>
class ProblemList {
public:
    void add(std::string line)
    {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
    }
    // Only while no task runs.
    Container& lines() { return lines_; }
    void clear()
    {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

private:
    std::mutex mutex_;
    Container lines_;
};

extern ProblemList<std::list<std::string>> emptyCfgFiles;
extern ProblemList<std::list<std::string>> invalidCfgFiles;
extern ProblemList<std::list<std::string>> incompleteSections;
extern ProblemList<std::list<std::string>> invalidAirlineCodes;
extern ProblemList<std::list<std::string>> invalidModelCodes;
extern ProblemList<std::vector<std::string>> codeFixes;
extern std::vector<std::string> dbaseConversions;

// The titles already taken by a section in this scan (a title is given to one section only).
bool lf_takeTitle(const std::string& title);
void clearSeenTitles();

// "{:12} in {} " and the header line, to invalidAirlineCodes.
void lf_addProblemLine(const std::string& code, const std::string& filePath, const std::string& header);
// "{:16} in {}", to invalidModelCodes.
void lf_addInvalidModel(const std::string& code, const std::string& filePath);

// Removes the previous scan's report files (not "LiveriesScanned.xml", which stays until a
// complete new one replaces it) and the errors folder when it is empty.
void lf_removeOldReports();
// Corrects a scanned livery's cargo flag, airline and type from the data base's record of its
// regcode, with a line per change in dbaseConversions.
void lf_applyDbaseData(LiveryRecord& livery);
// The log summary and the report files.
void lf_writeScanSummary();
// Empties the problem lists, codeFixes, dbaseConversions, seenTitles and dontUseTitles.
void lf_clearScannedLiveries();

} // namespace qtr
