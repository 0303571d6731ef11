#include "foundation/errors.h"
#include "foundation/install_detect.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/win_text.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>

using namespace qtr;
namespace fs = std::filesystem;

namespace {

const std::string noPathMessage =
    "150: No install path detected, type full path to your Community folder above, and press Enter";

// A fresh working folder with its own log, and application-data folders of its own (Roaming,
// Local) below it.
class Detection : public ::testing::Test {
protected:
    void SetUp() override
    {
        dataFolder(); // the parameters file stays where it was
        root = qtest::freshFolder("detect");
        roaming = root / "Roaming";
        local = root / "Local";
        fs::create_directories(roaming);
        fs::create_directories(local);
        const wchar_t* previous = _wgetenv(L"QUILLMARSH_APPDATA_ROOT");
        previousRoot = previous ? previous : L"";
        _wputenv_s(L"QUILLMARSH_APPDATA_ROOT", root.c_str());
        cwd.emplace(root);
        gf_startLog();
    }

    void TearDown() override
    {
        closeLog();
        cwd.reset();
        _wputenv_s(L"QUILLMARSH_APPDATA_ROOT", previousRoot.c_str());
        MSFS_2020.setValue(true);
        MSFS_INSTALL_PATH.setValue("");
        MSFS_2024_INSTALL_PATH.setValue("");
    }

    std::string log() const
    {
        std::string text;
        for (char c : qtest::readFile(root / "Log.txt"))
            if (c != '\r') text += c;
        return text;
    }

    static fs::path packagesFolder(const fs::path& folder, const char* official)
    {
        fs::create_directories(folder / "Community");
        fs::create_directories(folder / official);
        return folder;
    }

    fs::path storeUserCfg(bool msfs2020) const
    {
        return local / "Packages" /
               (msfs2020 ? "Microsoft.FlightSimulator_8wekyb3d8bbwe" : "Microsoft.Limitless_8wekyb3d8bbwe") /
               "LocalCache" / "UserCfg.opt";
    }

    fs::path root, roaming, local;
    std::wstring previousRoot;
    std::optional<qtest::ScopedCwd> cwd;
};

std::string realSample(const char* name)
{
    return qtest::readFile(fs::path(QM_SOURCE_DIR "/../shared/realdata/usercfg") / name);
}

} // namespace

TEST_F(Detection, RealUserCfgSamples)
{
    struct Sample {
        const char* file;
        bool msfs2020;
        fs::path place;          // where the file lies
        std::string namedPrefix; // the start of the folder it names ...
        fs::path rebasedPrefix;  // ... and where that start lies in this test's folders
        const char* official;
    } samples[] = {
        {"UserCfg_msfs2020_steam_dcheva-MSFS.opt", true, roaming / "Microsoft Flight Simulator" / "UserCfg.opt",
         "C:\\Games\\MSFS", root / "drive_c" / "Games" / "MSFS", "Official"},
        {"UserCfg_msfs2024_store_gizmo71-MsfsLocalCache.opt", false, storeUserCfg(false),
         "C:\\Users\\micro\\AppData\\Local", local, "Official2024"},
    };
    for (const auto& s : samples) {
        SCOPED_TRACE(s.file);
        MSFS_2020.setValue(s.msfs2020);
        const std::string original = realSample(s.file);
        ASSERT_NE(original.find("InstalledPackagesPath \"" + s.namedPrefix), std::string::npos);
        const fs::path& userCfg = s.place;
        qtest::writeFile(userCfg, original);

        // As written on its owner's PC: the named folder is not on this one.
        EXPECT_EQ(getPackagesPath(), fs::path());
        EXPECT_NE(log().find("\nUserCfg.opt: InstalledPackagesPath=???\n"), std::string::npos);
        try {
            detectAndStorePackagesPath();
            ADD_FAILURE() << "no user error";
        } catch (const UserErrorException& e) {
            EXPECT_EQ(std::string(e.what()), noPathMessage);
        }

        // The same file with its folder moved into this test's folders.
        std::string rebased = original;
        const std::string prefix = pathToUtf8(s.rebasedPrefix);
        rebased.replace(rebased.find("\"" + s.namedPrefix) + 1, s.namedPrefix.size(), prefix);
        qtest::writeFile(userCfg, rebased);
        std::string named = rebased.substr(rebased.find("InstalledPackagesPath \"") + 23);
        const fs::path packages = packagesFolder(pathFromUtf8(named.substr(0, named.find('"'))), s.official);
        EXPECT_EQ(detectAndStorePackagesPath(), packages);
        EXPECT_EQ((s.msfs2020 ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH).value(), pathToUtf8(packages));
        EXPECT_EQ(msfsInstallSubPath("Community"), packages / "Community");
        {
            StringParameter& stored = s.msfs2020 ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH;
            const std::string kept = stored.value();
            stored.setValue("");
            EXPECT_TRUE(msfsInstallSubPath("Community").empty()); // not a folder relative to the program's
            stored.setValue(kept);
        }
        EXPECT_NE(log().find("\nUserCfg.opt: InstalledPackagesPath=" + pathToUtf8(packages) + "\n"), std::string::npos);
        fs::remove(userCfg);
    }
}

TEST_F(Detection, SteamPackagesFolderWinsWithoutReadingUserCfg)
{
    const fs::path steam = packagesFolder(roaming / "Microsoft Flight Simulator" / "Packages", "Official");
    const fs::path other = packagesFolder(root / "other", "Official");
    qtest::writeFile(storeUserCfg(true), "InstalledPackagesPath \"" + pathToUtf8(other) + "\"\r\n");
    EXPECT_EQ(getPackagesPath(), steam);
    const std::string text = log();
    EXPECT_NE(text.find("\nSteam packages:" + pathToUtf8(steam) + "\n"), std::string::npos);
    EXPECT_EQ(text.find("UserCfg.opt"), std::string::npos);
    // The same folder is no 2024 installation.
    MSFS_2020.setValue(false);
    EXPECT_EQ(getPackagesPath(), fs::path());
}

TEST_F(Detection, UserCfgEdgeCases)
{
    struct Case {
        const char* what;
        bool msfs2020;
        std::function<std::string(const fs::path& valid, const fs::path& missing)> content;
        bool found;
    } cases[] = {
        {"Store 2020, quoted valid folder", true,
         [](const fs::path& valid, const fs::path&) {
             return "Version 1\r\nInstalledPackagesPath \"" + pathToUtf8(valid) + "\"\r\n";
         },
         true},
        {"same file, 2024 selected, no Official2024", false,
         [](const fs::path& valid, const fs::path&) { return "InstalledPackagesPath \"" + pathToUtf8(valid) + "\"\n"; },
         false},
        {"first key line names a missing folder", true,
         [](const fs::path& valid, const fs::path& missing) {
             return "InstalledPackagesPath \"" + pathToUtf8(missing) + "\"\nInstalledPackagesPath \"" +
                    pathToUtf8(valid) + "\"\n";
         },
         false},
        {"key without quotes", true,
         [](const fs::path& valid, const fs::path&) { return "InstalledPackagesPath " + pathToUtf8(valid); }, false},
        {"empty quotes", true,
         [](const fs::path&, const fs::path&) { return std::string("InstalledPackagesPath \"\"\n"); }, false},
        {"no key", true, [](const fs::path&, const fs::path&) { return std::string("[GRAPHICS]\nVersion 1\n"); },
         false},
        // A relative folder names no folder of the simulator, even where the program's folder
        // holds one of that name.
        {"relative folder", true,
         [](const fs::path&, const fs::path&) { return std::string("InstalledPackagesPath \"Packages 2020\"\n"); },
         false},
        // A name the file system refuses to look at (longer than any folder name may be) is
        // no folder, not an exception that ends the detection.
        {"name too long to look at", true,
         [](const fs::path&, const fs::path& missing) {
             return "InstalledPackagesPath \"" + pathToUtf8(missing / std::string(300, 'x')) + "\"\n";
         },
         false},
    };
    const fs::path valid = packagesFolder(root / "Packages 2020", "Official");
    for (const auto& c : cases) {
        MSFS_2020.setValue(c.msfs2020);
        const fs::path file = storeUserCfg(c.msfs2020);
        qtest::writeFile(file, c.content(valid, root / "missing"));
        EXPECT_EQ(getPackagesPath(), c.found ? valid : fs::path()) << c.what;
        fs::remove(file);
    }
    EXPECT_NE(log().find("\nUserCfg.opt: InstalledPackagesPath=" + pathToUtf8(valid) + "\n"), std::string::npos);
    // Without a stored install path there is no folder below it (not the relative "Community").
    MSFS_2020.setValue(true);
    MSFS_INSTALL_PATH.setValue("");
    EXPECT_EQ(msfsInstallSubPath("Community"), fs::path());
}

TEST_F(Detection, LaterCandidatesAndNoneAtAll)
{
    MSFS_2020.setValue(false);
    EXPECT_EQ(getPackagesPath(), fs::path());
    const std::string text = log();
    const fs::path missing[] = {
        storeUserCfg(false),
        roaming / "Microsoft Flight Simulator 2024" / "UserCfg.opt",
        local / "Packages" / "Microsoft.FlightDashboard_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt",
        local / "MSFSPackages" / "UserCfg.opt",
    };
    const char* names[] = {"Store", "Steam1", "Steam2", "Boxed"};
    std::size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        at = text.find(std::string("\nMSFS detection, no ") + names[i] + ":" + pathToUtf8(missing[i]) + "\n", at);
        EXPECT_NE(at, std::string::npos) << names[i];
    }
    EXPECT_NE(text.find("\nNo UserCfg.opt found?\n", at), std::string::npos);
    EXPECT_THROW(detectAndStorePackagesPath(), UserErrorException);

    // The boxed and the dashboard places are read too, in that order of preference.
    const fs::path boxed = packagesFolder(root / "boxed", "Official2024");
    const fs::path dashboard = packagesFolder(root / "dashboard", "Official2024");
    qtest::writeFile(missing[3], "InstalledPackagesPath \"" + pathToUtf8(boxed) + "\"\n");
    EXPECT_EQ(getPackagesPath(), boxed);
    qtest::writeFile(missing[2], "InstalledPackagesPath \"" + pathToUtf8(dashboard) + "\"\n");
    EXPECT_EQ(getPackagesPath(), dashboard);
}
