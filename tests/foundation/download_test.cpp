#include "foundation/clock.h"
#include "foundation/download.h"
#include "foundation/update.h"
#include "foundation/zip_archive.h"
#include "site_fixture.h"
#include "foundation/run_control.h"

#include <algorithm>
#include <functional>
#include <future>

using namespace qtr;
using qmhttp::Route;
using qtest::SiteTest;

namespace {

// Time that moves only when the test moves it.
class StandingClock final : public Clock {
public:
    std::chrono::steady_clock::time_point steadyNow() override { return now_; }
    void sleepFor(std::chrono::milliseconds) override {}
    void sleepUntil(std::chrono::steady_clock::time_point) override {}
    void advance(std::chrono::steady_clock::duration d) { now_ += d; }

private:
    std::chrono::steady_clock::time_point now_{};
};

struct VersionCase {
    const char* what;
    Route route;
    VersionData expected;
};

} // namespace

TEST_F(SiteTest, PublishedProgramVersionFromEveryKindOfReply)
{
    const VersionData newer(10, 10, 11);
    const VersionCase cases[] = {
        {"dotted", Route::ok("10.10.11"), newer},
        {"dotted with CRLF", Route::ok("10.10.11\r\n"), newer},
        {"JSON with CRLF", Route::ok("{\"major\":10,\"minor\":10,\"patch\":11}\r\n"), newer},
        {"only the first line counts", Route::ok("2.1.0\r\n9.9.9\r\n"), VersionData(2, 1, 0)},
        {"pretty JSON over several lines",
         Route::ok("{\r\n  \"major\": 10,\r\n  \"minor\": 10,\r\n  \"patch\": 11\r\n}\r\n"),
         {}},
        {"garbage body", Route::ok("<html>no version here</html>"), {}},
        {"empty body", Route::ok(""), {}},
        {"garbage instead of HTTP", Route::garbage(), {}},
        {"404", Route::status404(), {}},
        {"redirect, not followed", Route::redirect("/elsewhere/version.json"), {}},
    };
    server.setRoute("/elsewhere/version.json", Route::ok("10.10.11"));
    for (const auto& c : cases) {
        server.setRoute("/release/version.json", c.route);
        EXPECT_EQ(fetchProgramVersionJson(), c.expected) << c.what;
        EXPECT_FALSE(std::filesystem::exists("version.json")) << c.what;
    }
    EXPECT_FALSE(requested("/elsewhere/version.json"));
    EXPECT_NE(log().find("downloading \"" + server.baseUrl() + "release/version.json\" failed"), std::string::npos);
}

TEST_F(SiteTest, DataZipsUnpackEveryFileEntryIntoAFreshTarget)
{
    const std::string big = qtest::noiseBytes(unzipChunkBytes + 12345, 7);
    server.setRoute(
        "/MSFS/dbase.zip",
        Route::ok(qtest::makeZip(
            {{"db/", ""}, {"db/first.xml", "<first/>\n"}, {"big.bin", big}, {"last.xml", "<last/>", true}})));
    server.setRoute("/MSFS2024/AIG-regcodes.zip", Route::ok(qtest::makeZip({{"AIG-regcodes.xml", "<codes/>"}})));
    std::filesystem::create_directories("input");
    // A leftover of an interrupted run is replaced, not extended.
    qtest::writeFile("input/temp2.xml", "leftover");

    MSFS_2020.setValue(true);
    EXPECT_TRUE(downloadDataBaseZip("input/temp2.xml"));
    EXPECT_EQ(qtest::readFile("input/temp2.xml"), "<first/>\n" + big + "<last/>");
    EXPECT_FALSE(std::filesystem::exists("dbase.zip"));

    MSFS_2020.setValue(false);
    EXPECT_TRUE(downloadAndUnzip("AIG-regcodes.zip", "input/AIG-regcodes.xml"));
    MSFS_2020.setValue(true);
    EXPECT_EQ(qtest::readFile("input/AIG-regcodes.xml"), "<codes/>");
    EXPECT_FALSE(std::filesystem::exists("AIG-regcodes.zip"));
    EXPECT_EQ(downloadBaseUrl(true), server.baseUrl() + "MSFS/");

    // An archive without a file entry writes no target.
    server.setRoute("/MSFS/folders.zip", Route::ok(qtest::makeZip({{"only/", ""}})));
    EXPECT_TRUE(downloadAndUnzip("folders.zip", "input/none.xml"));
    EXPECT_FALSE(std::filesystem::exists("input/none.xml"));
}

TEST_F(SiteTest, FailedDataZipsLeaveNoTargetAndNoZip)
{
    const std::string good = qtest::makeZip({{"a.xml", std::string(4000, 'a'), true}, {"b.xml", "<b/>"}});
    struct Case {
        const char* what;
        Route route;
        const char* logText;
        bool targetRemoved;
    } cases[] = {
        {"404", Route::status404(), "===> downloading dbase.zip failed?", false},
        {"not a zip", Route::ok("this is no zip archive"), "===> unzipping dbase.zip failed?", true},
        {"bad CRC", Route::ok(qtest::damageFirstEntry(good)), "===> unzipping dbase.zip failed?", true},
        {"bad deflate data",
         Route::ok(qtest::damageFirstEntry(qtest::makeZip({{"a.xml", qtest::noiseBytes(5000, 3)}}))),
         "===> unzipping dbase.zip failed?", true},
    };
    for (const auto& c : cases) {
        server.setRoute("/MSFS/dbase.zip", c.route);
        qtest::writeFile(folder / "temp2.xml", "leftover");
        EXPECT_FALSE(downloadDataBaseZip("temp2.xml")) << c.what;
        EXPECT_EQ(!std::filesystem::exists("temp2.xml"), c.targetRemoved) << c.what;
        EXPECT_FALSE(std::filesystem::exists("dbase.zip")) << c.what;
        EXPECT_NE(log().find(c.logText), std::string::npos) << c.what;
    }
}

TEST_F(SiteTest, StalledServerEndsInATimeOutError)
{
    setDownloadTimeouts({std::chrono::milliseconds(5000), 1000, std::chrono::seconds(1)});
    server.setRoute("/release/version.json", Route::silent());
    server.setRoute("/MSFS/dbase.zip", Route::stall("PK\x03\x04 and then nothing"));
    EXPECT_EQ(fetchProgramVersionJson(), VersionData{});
    // Each transfer's own limit is the matter here, not the silent site's skip.
    forgetUnansweredSites();
    EXPECT_FALSE(downloadDataBaseZip("temp2.xml"));
    EXPECT_FALSE(std::filesystem::exists("temp2.xml"));
    EXPECT_FALSE(std::filesystem::exists("dbase.zip"));
    const std::string text = log();
    for (const std::string& url : {server.baseUrl() + "release/version.json", server.baseUrl() + "MSFS/dbase.zip"})
        EXPECT_NE(text.find("transfer of " + url + " failed: Operation too slow"), std::string::npos) << text;
}

TEST_F(SiteTest, StopRequestAbortsARunningTransfer)
{
    // Only the stop can end this transfer: the server never answers and the limits are long.
    setDownloadTimeouts({std::chrono::milliseconds(600000), 1, std::chrono::seconds(600),
                         std::chrono::milliseconds(600000), std::chrono::milliseconds(600000)});
    server.setRoute("/release/version.json", Route::silent());
    auto result = std::async(std::launch::async, [] { return fetchProgramVersionJson(); });
    ASSERT_TRUE(server.waitForRequests(1, std::chrono::seconds(60)));
    stopRequested = true;
    const VersionData version = result.get();
    stopRequested = false;
    EXPECT_EQ(version, VersionData{});
    EXPECT_NE(log().find("version.json failed: stopped, the program is asked to stop\n"), std::string::npos) << log();
}

// Sites that answer too slowly, never, or too much: each transfer ends at its limit, and no
// file of it stays behind, neither the download nor what it would unpack to.
TEST_F(SiteTest, MisbehavingSiteEndsEachTransferAtItsLimitAndLeavesNoFile)
{
    // The low-speed limit is lenient here: only the total time and the caps can end these.
    setDownloadTimeouts(
        {std::chrono::milliseconds(5000), 1, std::chrono::seconds(30), std::chrono::milliseconds(1000)});
    DownloadCaps caps;
    caps.versionFileBytes = 1000;
    caps.airportFileBytes = 4000;
    caps.dataZipBytes = 20000;
    setDownloadCaps(caps);
    const std::function<bool()> version = [] { return fetchProgramVersionJson() != VersionData{}; };
    const std::function<bool()> airport = [this] {
        CurlHandle handle = makeCurlHandle();
        return downloadToFile(handle.get(), server.baseUrl() + "MSFS/archive/stock/KLAX.xml", "KLAX.xml", false,
                              DownloadKind::airportFile);
    };
    const std::function<bool()> dataBase = [] { return downloadDataBaseZip("temp2.xml"); };
    const std::string zeros(1 << 20, '\0'); // inflates from about a kilobyte
    const struct Case {
        const char* what;
        const char* path;
        Route route;
        const std::function<bool()>& fetch;
        std::string reason;
    } cases[] = {
        {"a byte now and then", "/release/version.json", Route::drip("10.10.11", 1, 300), version,
         "failed: Operation timed out"},
        {"200 bytes a second", "/MSFS/archive/stock/KLAX.xml", Route::drip(std::string(3000, 'k'), 20, 100), airport,
         "failed: Operation timed out"},
        {"silent after accepting", "/MSFS/dbase.zip", Route::silent(), dataBase, "failed: Operation timed out"},
        {"endless version file", "/release/version.json", Route::endless("10.10.11\n"), version,
         "failed: larger than the 1000 bytes allowed for this file"},
        {"endless airport file", "/MSFS/archive/stock/KLAX.xml", Route::endless("<stand/>"), airport,
         "failed: larger than the 4000 bytes allowed for this file"},
        {"data zip above its cap", "/MSFS/dbase.zip", Route::ok(qtest::noiseBytes(30000, 2)), dataBase,
         "failed: larger than the 20000 bytes allowed for this file"},
        {"zip bomb as data base", "/MSFS/dbase.zip", Route::ok(qtest::makeZip({{"dbase.xml", zeros}})), dataBase,
         "unzipping dbase.zip failed? entry \"dbase.xml\" declares 1048576 bytes, more than the 20000 bytes allowed"},
        {"zip bomb hiding its size", "/MSFS/dbase.zip",
         Route::ok(qtest::declareFirstEntryUnpackedSize(qtest::makeZip({{"dbase.xml", zeros}}), 100)), dataBase,
         "unzipping dbase.zip failed? entry \"dbase.xml\" inflates beyond its declared 100 bytes"},
    };
    MSFS_2020.setValue(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        server.clearRoutes();
        server.setRoute(c.path, c.route);
        forgetUnansweredSites();
        const std::size_t logBefore = log().size();
        EXPECT_FALSE(c.fetch());
        for (const char* file : {"version.json", "KLAX.xml", "dbase.zip", "temp2.xml"})
            EXPECT_FALSE(std::filesystem::exists(file)) << file;
        const std::string lines = log().substr(logBefore);
        EXPECT_NE(lines.find(c.reason), std::string::npos) << lines;
    }
}

// A site that takes the connection and never answers costs the start one transfer's limit, not
// one for each file: the next transfers fail at once until the wait has passed, while a site
// that answers slowly is asked every time.
TEST_F(SiteTest, SilentSiteIsSkippedUntilTheWaitHasPassed)
{
    StandingClock testClock;
    setClock(&testClock);
    setDownloadTimeouts({std::chrono::milliseconds(5000), 1000, std::chrono::seconds(1)});
    const auto requestsOf = [this](const std::string& path) {
        const auto all = server.requests();
        return std::count_if(all.begin(), all.end(), [&](const qmhttp::Request& r) { return r.path == path; });
    };
    // The silent site last: the wait is then seen to pass below.
    const struct {
        const char* site;
        Route route;
        long versionRequests;
        long dataBaseRequests;
    } cases[] = {
        {"stalls after its headers", Route::stall(""), 2, 1},
        {"silent", Route::silent(), 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.site);
        forgetUnansweredSites();
        server.clearRequests();
        server.setRoute("/release/version.json", c.route);
        server.setRoute("/MSFS/dbase.zip", c.route);
        EXPECT_EQ(fetchProgramVersionJson(), VersionData{});
        testClock.advance(unansweredSiteWait - std::chrono::seconds(1));
        EXPECT_EQ(fetchProgramVersionJson(), VersionData{});
        EXPECT_FALSE(downloadDataBaseZip("temp2.xml"));
        EXPECT_EQ(requestsOf("/release/version.json"), c.versionRequests);
        EXPECT_EQ(requestsOf("/MSFS/dbase.zip"), c.dataBaseRequests);
    }
    // Once the wait has passed the site is asked again, and one that answers is served.
    server.setRoute("/release/version.json", Route::ok("10.10.11\n"));
    testClock.advance(std::chrono::seconds(2));
    EXPECT_EQ(fetchProgramVersionJson(), VersionData("10.10.11"));
    setClock(nullptr);
}

// A site that took the request but has not begun its answer within the response time is given
// up then, not after the low-speed limit, and skipped as silent; one that began its answer may
// take longer than that to finish it.
TEST_F(SiteTest, AnAnswerThatDoesNotBeginInTimeEndsTheTransfer)
{
    // Only the response time can end the silent transfer within the total time.
    setDownloadTimeouts({std::chrono::milliseconds(5000), 1, std::chrono::seconds(30), std::chrono::milliseconds(20000),
                         std::chrono::milliseconds(2000)});
    const struct {
        const char* site;
        Route route;
        VersionData version;
        bool skippedAfter;
    } cases[] = {
        {"silent", Route::silent(), VersionData{}, true},
        {"answers slowly", Route::drip("10.10.11\n", 1, 300), VersionData("10.10.11"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.site);
        forgetUnansweredSites();
        server.setRoute("/release/version.json", c.route);
        const std::size_t logBefore = log().size();
        EXPECT_EQ(fetchProgramVersionJson(), c.version);
        const std::string lines = log().substr(logBefore);
        EXPECT_EQ(lines.find("failed: no answer began within 2000 ms of the request") != std::string::npos,
                  c.skippedAfter)
            << lines;
        EXPECT_EQ(lines.find(" did not answer: no transfer from it for 5 minutes") != std::string::npos, c.skippedAfter)
            << lines;
    }
}

// The unpacker refuses an archive that declares more than its cap, alone or together, and one
// whose entry inflates beyond what it declares, before a byte beyond is written; a stop request
// ends it. On every failure the target is gone, a leftover of an earlier run included.
TEST_F(SiteTest, UnpackingRefusesBombsAndEndsOnAStopRequest)
{
    const std::uint64_t cap = 100000;
    const std::string zeros(1 << 20, '\0');
    const std::string part = qtest::noiseBytes(60000, 4);
    const struct Case {
        const char* what;
        std::string zip;
        bool stop;
        std::string reason; // empty: unpacks
    } cases[] = {
        {"within the cap", qtest::makeZip({{"a.xml", part}, {"b.xml", "<b/>"}}), false, ""},
        {"one entry declares more", qtest::makeZip({{"a.xml", "<a/>"}, {"bomb.xml", zeros}}), false,
         "entry \"bomb.xml\" declares 1048576 bytes, more than the 100000 bytes allowed in all"},
        {"entries declare more together", qtest::makeZip({{"a.xml", part}, {"b.xml", part}}), false,
         "entry \"b.xml\" declares 60000 bytes, more than the 100000 bytes allowed in all"},
        {"declared small, inflating large",
         qtest::declareFirstEntryUnpackedSize(qtest::makeZip({{"bomb.xml", zeros}}), 1000), false,
         "entry \"bomb.xml\" inflates beyond its declared 1000 bytes"},
        {"stop requested", qtest::makeZip({{"a.xml", part}}), true, "stopped, the program is asked to stop"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qtest::writeFile("data.zip", c.zip);
        qtest::writeFile("out.xml", "leftover");
        const std::size_t logBefore = log().size();
        stopRequested = c.stop;
        const bool unpacked = gf_unzipToFile("data.zip", "data.zip", "out.xml", cap);
        stopRequested = false;
        EXPECT_EQ(unpacked, c.reason.empty());
        if (unpacked) {
            EXPECT_EQ(qtest::readFile("out.xml"), part + "<b/>");
            continue;
        }
        EXPECT_FALSE(std::filesystem::exists("out.xml"));
        const std::string lines = log().substr(logBefore);
        EXPECT_NE(lines.find("===> unzipping data.zip failed? " + c.reason), std::string::npos) << lines;
    }
}

TEST(ZipArchive, ListsReadsAndRefusesDamage)
{
    const std::string big = qtest::noiseBytes(200000, 11);
    const auto folder = qtest::freshFolder("zip-read");
    qtest::writeFile(folder / "a.zip", qtest::makeZip({{"dir/", ""}, {"dir/big.bin", big}, {"t.txt", "text"}}));
    ZipArchive archive;
    ASSERT_TRUE(archive.open(folder / "a.zip"));
    const auto entries = archive.entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_TRUE(entries[0].isFolder());
    EXPECT_FALSE(entries[1].isFolder());
    EXPECT_EQ(entries[1].name, "dir/big.bin");
    EXPECT_EQ(entries[1].size, big.size());
    std::string chunked;
    std::size_t pieces = 0;
    archive.readContent(entries[1], 65536, [&](std::string_view chunk) {
        EXPECT_LE(chunk.size(), 65536u);
        chunked.append(chunk);
        ++pieces;
        return true;
    });
    EXPECT_EQ(chunked, big);
    EXPECT_GE(pieces, 4u);
    EXPECT_EQ(archive.readAsText(entries[2]), "text");
    // A receiver that cannot take a chunk ends the read with an error.
    EXPECT_THROW(archive.readContent(entries[1], 1024, [](std::string_view) { return false; }), ZipReadError);

    qtest::writeFile(folder / "bad.zip",
                     qtest::damageFirstEntry(qtest::makeZip({{"x.txt", std::string(3000, 'x'), true}})));
    ZipArchive damaged;
    ASSERT_TRUE(damaged.open(folder / "bad.zip"));
    try {
        damaged.readAsText(damaged.entries().at(0));
        ADD_FAILURE() << "a damaged entry was read";
    } catch (const ZipReadError& e) {
        EXPECT_EQ(e.code(), ZIP_ER_CRC);
    }
    // Declared empty but carrying data: the library reads nothing and checks no CRC; we do.
    for (bool stored : {true, false}) {
        qtest::writeFile(folder / "empty.zip",
                         qtest::declareFirstEntryEmpty(qtest::makeZip({{"x.txt", "payload", stored}})));
        ZipArchive declaredEmpty;
        ASSERT_TRUE(declaredEmpty.open(folder / "empty.zip"));
        EXPECT_EQ(declaredEmpty.entries().at(0).size, 0u);
        EXPECT_THROW(declaredEmpty.readAsText(declaredEmpty.entries().at(0)), ZipReadError) << stored;
    }
    // A really empty entry reads as empty.
    qtest::writeFile(folder / "really-empty.zip", qtest::makeZip({{"e.txt", ""}}));
    ZipArchive reallyEmpty;
    ASSERT_TRUE(reallyEmpty.open(folder / "really-empty.zip"));
    EXPECT_EQ(reallyEmpty.readAsText(reallyEmpty.entries().at(0)), "");

    ZipArchive missing;
    EXPECT_FALSE(missing.open(folder / "none.zip"));
    EXPECT_FALSE(missing.errorText().empty());
}
