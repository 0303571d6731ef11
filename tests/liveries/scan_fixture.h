#pragma once
// A program folder for scans: the real aircraft type data base, empty scan lists, a folder of
// AI packages to fill, and the records of a scan as one line each.
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/text_files.h"
#include "foundation/utilities.h"
#include "liveries/livery_data_base.h"
#include "liveries/livery_folder_walk.h"
#include "liveries/regcodes.h"
#include "liveries/scan_problems.h"
#include "support/livery_support.h"
#include "support/test_support.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <optional>

namespace qtest {

class ScanTest : public ::testing::Test {
public:
    void SetUp() override
    {
        clearTestDataBases();
        loadRealDataBase();
        qtr::lf_clearScannedLiveries();
        qtr::scannedLiveries.clear();
        qtr::gf_initWorkerSlots();
        qtr::SUPPRESS_STUB.setValue(true);
        root = freshFolder("scan");
        cwd.emplace(root);
        for (const auto* f : {&qtr::outputFolder, &qtr::infoFolder, &qtr::errorsFolder, &qtr::inputFolder})
            std::filesystem::create_directories(*f);
        qtr::gf_startLog();
    }
    void TearDown() override
    {
        qtr::lf_clearScannedLiveries();
        qtr::scannedLiveries.clear();
        qtr::closeLog();
        cwd.reset();
        clearTestDataBases();
    }

    // A copy of a file at a path below the fixture's folder.
    std::filesystem::path place(const std::filesystem::path& from, const std::string& to)
    {
        const auto target = root / to;
        std::filesystem::create_directories(target.parent_path());
        std::filesystem::copy_file(from, target, std::filesystem::copy_options::overwrite_existing);
        return target;
    }
    std::filesystem::path write(const std::string& to, const std::string& bytes)
    {
        const auto target = root / to;
        std::filesystem::create_directories(target.parent_path());
        writeFile(target, bytes);
        return target;
    }

    // The walk of one folder below the fixture's folder.
    std::list<qtr::LiveryRecord> scan(const std::string& folder, std::uint32_t number = 1)
    {
        std::list<qtr::LiveryRecord> records;
        qtr::lf_searchLiveriesInFolder(number, root / folder, records);
        return records;
    }

    static std::string describe(const qtr::LiveryRecord& r)
    {
        return fmt::format("{}|{}|{}|{}|{}|{}", r.airline, r.icaoType, r.title, r.regcode, r.folderNumber,
                           r.cargo ? "cargo" : "pax");
    }

    std::filesystem::path root;
    std::optional<ScopedCwd> cwd;
};

} // namespace qtest
