#include "foundation/errors.h"
#include "foundation/update.h"
#include "foundation/win_text.h"
#include "site_fixture.h"

#include <fmt/format.h>

using namespace qtr;
using qmhttp::Route;
using qtest::SiteTest;

namespace {

const char* installerPath = "/release/setup_Quillmarsh_d_v10.10.11.zip";

bool anyRequestStartsWith(const std::vector<qmhttp::Request>& requests, const std::string& prefix)
{
    for (const auto& request : requests)
        if (request.path.rfind(prefix, 0) == 0) return true;
    return false;
}

std::vector<std::string> folderFiles(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(pathToUtf8(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST_F(SiteTest, SameOrOlderProgramVersionDownloadsNothing)
{
    for (const char* published : {"10.10.10", "10.9.99", "9.99.99\r\n", "{\"major\":10,\"minor\":10,\"patch\":10}"}) {
        server.setRoute("/release/version.json", Route::ok(published));
        EXPECT_NO_THROW(checkForNewVersion()) << published;
    }
    EXPECT_FALSE(anyRequestStartsWith(server.requests(), "/release/setup_"));
    EXPECT_EQ(indicators.statusLine(), "");

    server.setRoute("/release/version.json", Route::status404());
    EXPECT_NO_THROW(checkForNewVersion());
    EXPECT_NE(log().find("===> Program Version file not found?"), std::string::npos);
}

TEST_F(SiteTest, NewerProgramVersionUnpacksTheWholeInstaller)
{
    // Larger than one read chunk, behind a folder entry.
    const std::string installer = qtest::noiseBytes(unzipChunkBytes * 2 + 4321, 1);
    server.setRoute("/release/version.json", Route::ok("{\"major\":10,\"minor\":10,\"patch\":11}\r\n"));
    server.setRoute(installerPath, Route::ok(qtest::makeZip({{"setup/", ""}, {"setup/install.exe", installer}})));
    qtest::writeFile(folder / "install_new_version.exe", "an older installer, longer than nothing");
    // The stored program folder is set only after the check; the message names this one.
    PROGRAM_INSTALL_PATH.setValue("Z:\\an\\older\\place");
    try {
        checkForNewVersion();
        ADD_FAILURE() << "no user error";
    } catch (const UserErrorException& e) {
        EXPECT_EQ(std::string(e.what()), "New version 10.10.11 available, exit Quillmarsh. Run as administrator: \"" +
                                             pathToUtf8(folder / "install_new_version.exe") + "\"");
    }
    PROGRAM_INSTALL_PATH.setValue("");
    EXPECT_EQ(qtest::readFile("install_new_version.exe"), installer);
    EXPECT_FALSE(std::filesystem::exists("setup_Quillmarsh_d_v10.10.11.zip"));
    EXPECT_FALSE(std::filesystem::exists("install_new_version.exe.part"));
}

TEST_F(SiteTest, FailedInstallerKeepsThePreviousOneAndGoesOn)
{
    DownloadCaps caps;
    caps.installerBytes = 1000000;
    setDownloadCaps(caps);
    const std::string good = qtest::makeZip({{"install.exe", qtest::noiseBytes(300000, 5), true}});
    const std::string bomb = qtest::makeZip({{"install.exe", std::string(2000000, '\0')}});
    struct Case {
        const char* what;
        Route route;
        const char* logText;
    } cases[] = {
        {"archive above the cap", Route::ok(qtest::makeZip({{"install.exe", qtest::noiseBytes(1100000, 6), true}})),
         "failed: larger than the 1000000 bytes allowed for this file"},
        {"endless archive", Route::endless("PK"), "failed: larger than the 1000000 bytes allowed for this file"},
        {"installer bomb", Route::ok(bomb),
         "entry \"install.exe\" declares 2000000 bytes, more than the 1000000 bytes"},
        {"installer bomb hiding its size", Route::ok(qtest::declareFirstEntryUnpackedSize(bomb, 5000)),
         "entry \"install.exe\" inflates beyond its declared 5000 bytes"},
        {"404", Route::status404(), "Downloading program installer file version 10.10.11 failed"},
        {"not a zip", Route::ok("no zip"), "===> could not open setup_Quillmarsh_d_v10.10.11.zip"},
        {"bad CRC", Route::ok(qtest::damageFirstEntry(good)), "===> unzipping error code : "},
        {"declared empty", Route::ok(qtest::declareFirstEntryEmpty(good)), "===> unzipping error code : 7"},
        {"only a folder", Route::ok(qtest::makeZip({{"setup/", ""}})), "downloaded setup_Quillmarsh_d_v10.10.11.zip"},
    };
    server.setRoute("/release/version.json", Route::ok("10.10.11"));
    for (const auto& c : cases) {
        server.setRoute(installerPath, c.route);
        qtest::writeFile(folder / "install_new_version.exe", "previous");
        clearStatus();
        EXPECT_NO_THROW(checkForNewVersion()) << c.what;
        EXPECT_EQ(indicators.statusLine(),
                  "The downloading/unzipping of the new version failed? Try manually via harlowden website")
            << c.what;
        EXPECT_EQ(qtest::readFile("install_new_version.exe"), "previous") << c.what;
        EXPECT_FALSE(std::filesystem::exists("install_new_version.exe.part")) << c.what;
        EXPECT_FALSE(std::filesystem::exists("setup_Quillmarsh_d_v10.10.11.zip")) << c.what;
        EXPECT_NE(log().find(c.logText), std::string::npos) << c.what;
    }
}

TEST_F(SiteTest, AddonPackageUnpacksEveryEntryAndSwapsWhole)
{
    const std::string big = qtest::noiseBytes(unzipChunkBytes + 999, 9);
    server.setRoute("/myvendrake24/version.json", Route::ok("1.2.0\r\n"));
    server.setRoute("/myvendrake24/my_vendrake2024.zip", Route::ok(qtest::makeZip({{"a/KJFK.xml", "<kjfk/>"},
                                                                                   {"b/", ""},
                                                                                   {"EGLL.txt", "<egll/>", true},
                                                                                   {"c/BIG.xml", big},
                                                                                   {"x/EHAM.xml", "<one/>"},
                                                                                   {"y/EHAM.bgl", "<two/>"}})));
    // An installed older package, and the leftover of an update that was interrupted.
    MYVENDRAKE24_VERSION.setValue("1.1.0");
    qtest::writeFile("airports/my_vendrake/OLD.txt", "old");
    qtest::writeFile("airports/my_vendrake.part/STALE.txt", "stale");

    updateAddonPackage();
    EXPECT_EQ(folderFiles("airports/my_vendrake"),
              (std::vector<std::string>{"BIG.txt", "EGLL.txt", "EHAM.txt", "KJFK.txt"}));
    EXPECT_EQ(qtest::readFile("airports/my_vendrake/KJFK.txt"), "<kjfk/>");
    EXPECT_EQ(qtest::readFile("airports/my_vendrake/EGLL.txt"), "<egll/>");
    EXPECT_EQ(qtest::readFile("airports/my_vendrake/BIG.txt"), big);
    EXPECT_EQ(qtest::readFile("airports/my_vendrake/EHAM.txt"), "<one/><two/>");
    EXPECT_EQ(folderFiles("airports"), std::vector<std::string>{"my_vendrake"});
    EXPECT_FALSE(std::filesystem::exists("my_vendrake2024.zip"));
    EXPECT_EQ(MYVENDRAKE24_VERSION.value(), "1.2.0");
    const std::string text = log();
    EXPECT_NE(text.find("\nmy_vendrake2024.zip unzipped 5 files\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nmyvendrake has been updated to version 1.2.0\n"), std::string::npos);
    MYVENDRAKE24_VERSION.setValue("");
}

TEST_F(SiteTest, AddonEntriesNamedAfterDevicesAreRefused)
{
    server.setRoute("/myvendrake24/version.json", Route::ok("1.3.0"));
    server.setRoute(
        "/myvendrake24/my_vendrake2024.zip",
        Route::ok(qtest::makeZip({{"NUL.csv", "n"}, {"x/COM1.csv", "c"}, {"con.tar.gz", "t"}, {"KJFK.xml", "<k/>"}})));
    MYVENDRAKE24_VERSION.setValue("1.2.0");
    std::filesystem::remove_all("airports");
    updateAddonPackage();
    EXPECT_EQ(folderFiles("airports/my_vendrake"), std::vector<std::string>{"KJFK.txt"});
    EXPECT_EQ(MYVENDRAKE24_VERSION.value(), "1.3.0");
    const std::string text = log();
    EXPECT_NE(text.find("\nmy_vendrake2024.zip unzipped 1 files\n"), std::string::npos) << text;
    for (const char* name : {"NUL.csv", "x/COM1.csv", "con.tar.gz"})
        EXPECT_NE(text.find(fmt::format("===> entry \"{}\" names a device of Windows and is skipped", name)),
                  std::string::npos)
            << name;
    MYVENDRAKE24_VERSION.setValue("");
}

TEST_F(SiteTest, AddonPackageFetchedOnlyWhenNewerOrMissing)
{
    server.setRoute("/myvendrake24/version.json", Route::ok("2.0.0"));
    server.setRoute("/myvendrake24/my_vendrake2024.zip", Route::ok(qtest::makeZip({{"KJFK.xml", "<new/>"}})));
    MYVENDRAKE24_VERSION.setValue("2.0.0");
    qtest::writeFile("airports/my_vendrake/KJFK.txt", "<installed/>");
    qtest::writeFile(folder / "my_vendrake2024.zip", "stale local archive");
    updateAddonPackage();
    EXPECT_FALSE(requested("/myvendrake24/my_vendrake2024.zip"));
    EXPECT_FALSE(std::filesystem::exists("my_vendrake2024.zip"));
    EXPECT_EQ(qtest::readFile("airports/my_vendrake/KJFK.txt"), "<installed/>");

    // The user deleted the folder: fetched again although the versions are equal.
    std::filesystem::remove_all("airports/my_vendrake");
    EXPECT_TRUE(addonPackageMissing());
    updateAddonPackage();
    EXPECT_EQ(qtest::readFile("airports/my_vendrake/KJFK.txt"), "<new/>");

    server.setRoute("/myvendrake24/version.json", Route::status404());
    updateAddonPackage();
    EXPECT_NE(log().find("===> No myvendrake version info found at the QMSH server?"), std::string::npos);
    MYVENDRAKE24_VERSION.setValue("");
}

TEST_F(SiteTest, FailedAddonUpdateLeavesTheInstalledPackage)
{
    DownloadCaps caps;
    caps.addonPackageBytes = 1000000;
    setDownloadCaps(caps);
    const std::string good = qtest::makeZip({{"EGLL.xml", std::string(5000, 'e'), true}, {"KJFK.xml", "<new/>"}});
    const std::string half(600000, 'x');
    struct Case {
        const char* what;
        Route route;
    } cases[] = {
        {"entries above the cap together", Route::ok(qtest::makeZip({{"EGLL.xml", half}, {"KJFK.xml", half}}))},
        {"endless archive", Route::endless("PK")},
        {"404", Route::status404()},
        {"not a zip", Route::ok("no zip")},
        {"bad CRC in the first entry", Route::ok(qtest::damageFirstEntry(good))},
        {"first entry declared empty", Route::ok(qtest::declareFirstEntryEmpty(good))},
    };
    server.setRoute("/myvendrake24/version.json", Route::ok("3.0.0"));
    for (const auto& c : cases) {
        server.setRoute("/myvendrake24/my_vendrake2024.zip", c.route);
        MYVENDRAKE24_VERSION.setValue("2.0.0");
        std::filesystem::remove_all("airports");
        qtest::writeFile("airports/my_vendrake/EGLL.txt", "<installed/>");
        updateAddonPackage();
        EXPECT_EQ(folderFiles("airports"), std::vector<std::string>{"my_vendrake"}) << c.what;
        EXPECT_EQ(folderFiles("airports/my_vendrake"), std::vector<std::string>{"EGLL.txt"}) << c.what;
        EXPECT_EQ(qtest::readFile("airports/my_vendrake/EGLL.txt"), "<installed/>") << c.what;
        EXPECT_EQ(MYVENDRAKE24_VERSION.value(), "2.0.0") << c.what;
        EXPECT_FALSE(std::filesystem::exists("my_vendrake2024.zip")) << c.what;
    }
    MYVENDRAKE24_VERSION.setValue("");
}
