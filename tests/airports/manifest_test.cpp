// Package manifests and airport publishers, on the real scenery packages and on small fixtures.
#include "airports/manifest.h"
#include "airports/scan_messages.h"
#include "foundation/win_text.h"
#include "liveries/type_data_base.h"
#include "liveries/type_queries.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qtr;

namespace {

const std::filesystem::path realPackages = std::filesystem::path(QM_SOURCE_DIR "/../shared/realdata/packages");

// The absolute path text of a file below a folder, with the backslashes scenery paths have.
std::string pathText(const std::filesystem::path& path)
{
    return pathToUtf8(std::filesystem::absolute(path).lexically_normal().make_preferred());
}

bool messaged(const std::string& line)
{
    const auto messages = scanMessagesCopy();
    return std::find(messages.begin(), messages.end(), line) != messages.end();
}

class Publishers : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearScanMessages();
        clearTypeDataBase();
        publisherGroups = {{"FlyTampa", "fly-tampa"}, {"Project Colombia", "projectcolombia"}};
    }
    void TearDown() override
    {
        clearScanMessages();
        clearTypeDataBase();
    }
};

} // namespace

TEST_F(Publishers, RealPackageManifests)
{
    const struct {
        const char* package;
        const char* bgl;
        ManifestInfo info;
    } cases[] = {
        {"msfs2020-scenery-tabletopandroid-airport-kphp-philip",
         "Scenery/airport-kphp-philip/scenery/KPHP.bgl",
         {"", "Marc Ferguson", "Philip Airport", true}},
        {"msfs2020-scenery-vikingstudios-airport-lmml-malta",
         "Scenery/airport-lmml-malta/scenery/LMML.bgl",
         {"", "vikingstudios", "LMML", true}},
        {"msfs2020-scenery-projectcolombia-airport-skbo",
         "scenery/world/scenery/skbo-airport.bgl",
         {"Project Colombia", "Diego O-Andres R-", "El Dorado International Airport", true}},
        {"msfs2024-builder-zzzz-robins-airport-freq-fixes",
         "Scenery/robins-airport-freq-fixes/scenery/EDDN.bgl",
         {"", "Robin Harazim", "Robins Airport Frequency Fixes", true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.package);
        // Not below a "Community" folder: the first folder with a manifest on the way down decides.
        const ManifestInfo info = lf_searchManifest(pathText(realPackages / c.package / c.bgl));
        EXPECT_TRUE(info.found);
        EXPECT_EQ(info.manufacturer, c.info.manufacturer);
        EXPECT_EQ(info.creator, c.info.creator);
        EXPECT_EQ(info.title, c.info.title);
        EXPECT_TRUE(messaged(pathText(realPackages / c.package / "manifest.json") + " found"));
    }
    // The manufacturer names the publisher; for the others the manifest names none.
    const std::string skbo = pathText(realPackages / cases[2].package / cases[2].bgl);
    EXPECT_EQ(findPublisher(skbo).publisher, "Project Colombia"); // from the path already
    publisherGroups = {{"Project Colombia"}};
    const PublisherResult kphp = findPublisher(pathText(realPackages / cases[0].package / cases[0].bgl));
    EXPECT_EQ(kphp.publisher, "unknown");
    EXPECT_EQ(kphp.creator, "Marc Ferguson");
    EXPECT_EQ(kphp.title, "Philip Airport");
}

TEST_F(Publishers, CommunityPackageFolderFirst)
{
    const std::filesystem::path root = qtest::freshFolder("community");
    const std::filesystem::path package = root / "Community" / "my-airport-x";
    qtest::writeFile(package / "manifest.json", R"({"title": "X", "creator": "fly-tampa team", "manufacturer": {}})");
    qtest::writeFile(root / "manifest.json", R"({"title": "outer"})");
    const std::string bgl = pathText(package / "scenery" / "global" / "x.bgl");
    const ManifestInfo info = lf_searchManifest(bgl);
    EXPECT_EQ(info.title, "X");
    EXPECT_EQ(info.manufacturer, ""); // an empty object reads as empty
    const PublisherResult result = findPublisher(bgl);
    EXPECT_EQ(result.publisher, "FlyTampa");
    EXPECT_TRUE(messaged("from manifest.json creator \"fly-tampa team\" => publisher \"FlyTampa\""));

    // Without a manifest in the package folder the walk from the root finds the outer one.
    std::filesystem::remove(package / "manifest.json");
    EXPECT_EQ(lf_searchManifest(bgl).title, "outer");
}

TEST_F(Publishers, PublisherFromPathTableOrManifest)
{
    const std::filesystem::path root = qtest::freshFolder("publishers");
    const struct {
        const char* name;
        const char* manifest; // nullptr: none
        const char* package;
        const char* publisher;
        const char* message;
    } cases[] = {
        {"the simulator's own airport, any letter case", nullptr, "Asobo-Airport-egll", "vendrake",
         "from filename => publisher vendrake"},
        {"microsoft", nullptr, "microsoft-airport-kjfk", "vendrake", "from filename => publisher vendrake"},
        {"named in the path", nullptr, "flytampa-kbos", "FlyTampa", "publisher \"FlyTampa\" found"},
        {"manufacturer", R"({"manufacturer": "Project Colombia", "creator": "someone"})", "pkg-a", "Project Colombia",
         "from manifest.json: manufacturer \"Project Colombia\" => publisher \"Project Colombia\""},
        {"empty manufacturer, known creator", R"({"manufacturer": "", "creator": "FLY-TAMPA"})", "pkg-b", "FlyTampa",
         "from manifest.json creator \"FLY-TAMPA\" => publisher \"FlyTampa\""},
        {"nobody known", R"({"manufacturer": "M", "creator": null})", "pkg-c", "unknown",
         "no valid info found in manifest about publisher, manufacturer:\"M\", creator:\"\" "},
        {"no manifest", nullptr, "pkg-d", "unknown", "===> No publisher found"},
        {"a creator that is a number", R"({"creator": 5})", "pkg-e", "unknown", nullptr},
        {"no JSON", "{title", "pkg-f", "unknown", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clearScanMessages();
        const std::filesystem::path package = root / "Community" / c.package;
        std::filesystem::create_directories(package / "scenery");
        if (c.manifest) qtest::writeFile(package / "manifest.json", c.manifest);
        EXPECT_EQ(findPublisher(pathText(package / "scenery" / "a.bgl")).publisher, c.publisher);
        if (c.message) {
            const auto messages = scanMessagesCopy();
            EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [&](const std::string& m) {
                return m.rfind(c.message, 0) == 0;
            })) << c.message;
        }
    }
    const auto messages = scanMessagesCopy();
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(),
                            [](const std::string& m) { return m.rfind("exception in lf_searchManifest: ", 0) == 0; }));
    EXPECT_TRUE(findManifestFile(root / "nowhere").empty());
}
