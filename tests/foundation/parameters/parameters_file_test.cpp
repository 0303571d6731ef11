#include "foundation/indicators.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/parameters/parameters_file.h"
#include "foundation/paths.h"
#include "foundation/version.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <windows.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <thread>
#include <utility>
#include <vector>

using namespace qtr;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// (name, value) of every `parameter` below every top-level `parameters`, in file order.
Entries fileEntries(const std::filesystem::path& path = parametersXmlPath())
{
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file(path.c_str())) << path.string();
    Entries entries;
    for (pugi::xml_node root : doc.children("parameters"))
        for (pugi::xml_node element : root.children("parameter"))
            entries.emplace_back(element.attribute("name").as_string(), element.attribute("value").as_string());
    return entries;
}

std::string fileValue(const std::string& key)
{
    for (const auto& [name, value] : fileEntries())
        if (name == key) return value;
    return "<missing>";
}

int countOf(const Entries& entries, const std::string& key)
{
    int n = 0;
    for (const auto& entry : entries) n += entry.first == key;
    return n;
}

void removeDataFiles()
{
    std::filesystem::remove_all(dataFolder());
    std::filesystem::create_directories(dataFolder());
}

void writeParameters(const std::string& body)
{
    qtest::writeFile(parametersXmlPath(), "<?xml version=\"1.0\"?>\n<parameters>\n" + body + "</parameters>\n");
}

std::string element(const std::string& key, const std::string& value)
{
    return "<parameter name=\"" + key + "\" value=\"" + value + "\" />\n";
}

// Everything at its default again, with a fresh file.
void resetToDefaults()
{
    removeDataFiles();
    loadParameters();
}

std::vector<std::filesystem::path> dataFolderFiles()
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dataFolder())) files.push_back(entry.path().filename());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

TEST(ParametersFile, LivesInTheDataFolderOnly)
{
    const auto appData = std::filesystem::path(qtest::processRoot() / "appdata" / "Roaming");
    EXPECT_EQ(dataFolder(), appData / "Quillmarsh");
    EXPECT_EQ(parametersXmlPath(), appData / "Quillmarsh" / "parameters.xml");
    resetToDefaults();
    EXPECT_FALSE(std::filesystem::exists("parameters.xml"));
}

TEST(ParametersFile, FreshFileHoldsEveryStoredKeyInTableOrder)
{
    resetToDefaults();
    const Entries expected{
        {"RANDOM", "true"},
        {"COLLISION_LIVE_PARKED_GND", "false"},
        {"TELLMOOR", "false"},
        {"MSFS_2020", "true"},
        {"CALLSIGN_OBJECTIDS", "false"},
        {"COLLISION_USER_AIR", "true"},
        {"COLLISION_USER_GND", "true"},
        {"COLLISION_LIVE_PARKED_GND", "false"},
        {"SUPPRESS_STUB", "true"},
        {"LOG", "true"},
        {"ALWAYS_ON_TOP", "false"},
        {"SCAN_LIVERIES", "true"},
        {"LIG_AUTOMATIC", "true"},
        {"LIG_PRIORITIZE", "false"},
        {"SCAN_AIRPORTS", "true"},
        {"LIGHT_AIRCRAFT", "true"},
        {"HELICOPTERS", "true"},
        {"HIGH_PERF_AIRCRAFT", "true"},
        {"NAV_LIGHTS_WHILE_PARKED", "true"},
        {"AUTO_RANGE", "true"},
        {"LEARN_SOFT", "true"},
        {"STRAIGHT_PBS_ONLY", "false"},
        {"PARK_SOFT", "true"},
        {"PARK_FAKE", "false"},
        {"WEEK", "false"},
        {"INITIAL_LOAD_ONLY", "false"},
        {"GUID_CHANGES", "true"},
        {"CUSTOM_PARKING_PERCENTAGE", "-1"},
        {"CUSTOM_MAX_PARK", "-1"},
        {"MAIN_WINDOW_X", "400"},
        {"MAIN_WINDOW_Y", "20"},
        {"LAST_EPOCH_TIME", "0"},
        {"HOLDING_THRESHOLD_METERS", "250"},
        {"MAX_HOLDING_MINUTES", "20"},
        {"MATCHING_DEPTH", "4"},
        {"LATERAL_RANGE", "40"},
        {"MAX_FIT", "47"},
        {"AUTO_RANGE_ABOVE_HEIGHT", "49000"},
        {"MAX_LIVE", "-1"},
        {"AIRPORT_RANGE", "20"},
        {"AIRPORT_HEIGHT", "18000"},
        {"CUSTOM_MAX_PARK", "-1"},
        {"AI_PACKAGE_ORDER", "1"},
        // The first run records the program version right after writing the file.
        {"PROGRAM_VERSION", programVersion().toString()},
        {"MSFS_INSTALL_PATH", ""},
        {"PORT_NUMBER", "10747"},
        {"PROGRAM_INSTALL_PATH", ""},
        {"MYVENDRAKE24_VERSION", ""},
        {"MSFS_2024_INSTALL_PATH", ""},
        {"DESTINATION", ""},
        {"BLOCK_CALLSIGN", ""},
    };
    EXPECT_EQ(fileEntries(), expected);
    const std::string text = qtest::readFile(parametersXmlPath());
    EXPECT_EQ(text.rfind("<?xml", 0), 0u);
    EXPECT_NE(text.find("\n\t<parameter name=\"RANDOM\" value=\"true\" />"), std::string::npos);
    EXPECT_EQ(lateralRangeMetres.load(), 74080);
    EXPECT_DOUBLE_EQ(lateralRangeNm.load(), 40.0);
    EXPECT_FLOAT_EQ(static_cast<float>(MAX_FIT.value()) * 0.5f + 0.5f, MAX_FIT_FL.value());
    // Nothing is left beside the file (no temporary, no copy).
    EXPECT_EQ(dataFolderFiles(), std::vector<std::filesystem::path>{"parameters.xml"});
}

TEST(ParametersFile, LoadReadsClampsCompletesAndKeepsForeignEntries)
{
    removeDataFiles();
    writeParameters(element("PROGRAM_VERSION", "10.10.10") +      //
                    element("LATERAL_RANGE", "500") +             // above the maximum
                    element("AIRPORT_HEIGHT", "abc") +            // no digits: 0, clamped up
                    element("AIRPORT_RANGE", " 0x10") +           // hexadecimal, leading blank
                    element("MAX_LIVE", "-99999999999") +         // saturates, then clamps
                    element("HOLDING_THRESHOLD_METERS", "") +     // empty: 0, clamped up
                    "<parameter name=\"MAX_HOLDING_MINUTES\" />\n" // no value attribute
                    "<parameter name=\"PORT_NUMBER\" />\n" +      //
                    element("TELLMOOR", "yes") +                  //
                    element("TELLMOOR", "false") +                // duplicate: never read
                    element("SOMETHING_ELSE", "kept") +           // unknown key
                    element("DESTINATION", "EDDF") +              //
                    element("lfolder3", "") +                     // empty livery folder
                    element("lfolder4", "D:\\Liveries") +         //
                    element("BLOCK_CALLSIGN", "DLH4AB") +         //
                    "<other attribute=\"x\">text</other>\n");
    loadParameters();

    struct Case {
        const char* key;
        std::string value;
        std::string stored;
    };
    const Case cases[] = {
        {"LATERAL_RANGE", std::to_string(LATERAL_RANGE.value()), "500"},
        {"AIRPORT_HEIGHT", std::to_string(AIRPORT_HEIGHT.value()), "abc"},
        {"AIRPORT_RANGE", std::to_string(AIRPORT_RANGE.value()), " 0x10"},
        {"MAX_LIVE", std::to_string(MAX_LIVE.value()), "-99999999999"},
        {"HOLDING_THRESHOLD_METERS", std::to_string(HOLDING_THRESHOLD_METERS.value()), ""},
        {"MAX_HOLDING_MINUTES", std::to_string(MAX_HOLDING_MINUTES.value()), ""},
        {"PORT_NUMBER", PORT_NUMBER.value(), ""},
        {"TELLMOOR", TELLMOOR.value() ? "true" : "false", "yes"},
        {"DESTINATION", DESTINATION.value(), "EDDF"},
        {"lfolder4", lfolder4.value(), "D:\\Liveries"},
        {"BLOCK_CALLSIGN", BLOCK_CALLSIGN.value(), "DLH4AB"},
        {"MATCHING_DEPTH", std::to_string(MATCHING_DEPTH.value()), "4"}, // missing: default added
    };
    const std::string expected[] = {"100", "2000", "16", "-1", "10", "1", "", "true", "EDDF", "D:\\Liveries", "DLH4AB",
                                    "4"};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].value, expected[i]) << cases[i].key;
        // Reading never rewrites a value that is present; only missing elements are added.
        EXPECT_EQ(fileValue(cases[i].key), cases[i].stored) << cases[i].key;
    }
    EXPECT_EQ(lateralRangeMetres.load(), 185200);

    const Entries entries = fileEntries();
    EXPECT_EQ(countOf(entries, "TELLMOOR"), 2);
    EXPECT_EQ(countOf(entries, "SOMETHING_ELSE"), 1);
    EXPECT_EQ(countOf(entries, "lfolder3"), 0);
    EXPECT_EQ(countOf(entries, "lfolder5"), 0); // a missing livery folder is not added
    EXPECT_EQ(countOf(entries, "GUID_CHANGES"), 1);
    EXPECT_NE(qtest::readFile(parametersXmlPath()).find("<other attribute=\"x\">text</other>"), std::string::npos);
    // The duplicate stays as it was, after the first.
    std::vector<std::string> tellmoor;
    for (const auto& [name, value] : entries)
        if (name == "TELLMOOR") tellmoor.push_back(value);
    EXPECT_EQ(tellmoor, (std::vector<std::string>{"yes", "false"}));
}

TEST(ParametersFile, BooleanTexts)
{
    const std::pair<const char*, bool> cases[] = {{"yes", true},   {"True", true}, {"1", true},  {"t", true},
                                                  {"no", false},   {"0", false},   {"false", false},
                                                  {"", false},     {" true", false}};
    for (const auto& [text, expected] : cases) {
        removeDataFiles();
        writeParameters(element("PROGRAM_VERSION", "10.10.10") + element("RANDOM", text) +
                        element("COLLISION_LIVE_PARKED_GND", text));
        RANDOM.setValue(!expected);
        loadParameters();
        EXPECT_EQ(RANDOM.value(), expected) << '"' << text << '"';
        EXPECT_EQ(COLLISION_LIVE_PARKED_GND.value(), expected) << '"' << text << '"';
    }
}

TEST(ParametersFile, FileWithoutParametersRootIsLeftAsItWas)
{
    removeDataFiles();
    const std::string foreign = "<?xml version=\"1.0\"?>\n<settings>\n\t<parameter name=\"LATERAL_RANGE\" value=\"7\" />\n</settings>\n";
    qtest::writeFile(parametersXmlPath(), foreign);
    LATERAL_RANGE.setValue(55);
    loadParameters();
    EXPECT_EQ(LATERAL_RANGE.value(), 40);
    // The version check's save appends a second top-level element; the foreign one stays.
    const std::string text = qtest::readFile(parametersXmlPath());
    EXPECT_NE(text.find("<settings>"), std::string::npos);
    EXPECT_NE(text.find("value=\"7\""), std::string::npos);
    EXPECT_EQ(fileEntries(), (Entries{{"PROGRAM_VERSION", programVersion().toString()}}));
}

TEST(ParametersFile, BrokenFileIsKeptAsideAndSettingsSurvive)
{
    const std::string broken = "<?xml version=\"1.0\"?>\n<parameters>\n\t<parameter name=\"LATERAL_RANGE\" value=\"77\" />\n\t<parameter name=";
    // A broken file met by the load and by a single save: either way the user's file is kept
    // byte for byte, and a well-formed file takes its place.
    struct Case {
        const char* what;
        void (*act)();
        Entries expectedEntries;
    };
    const Case cases[] = {
        {"load", [] { loadParameters(); }, {}},
        {"save",
         [] {
             LATERAL_RANGE.setValue(12);
             LATERAL_RANGE.save();
         },
         {{"LATERAL_RANGE", "12"}}},
    };
    for (const auto& c : cases) {
        removeDataFiles();
        qtest::writeFile(parametersXmlPath(), broken);
        c.act();
        EXPECT_EQ(qtest::readFile(parametersXmlPath().wstring() + L".broken"), broken) << c.what;
        const Entries entries = fileEntries();
        if (c.expectedEntries.empty()) {
            EXPECT_EQ(entries.size(), 51u) << c.what;
            EXPECT_EQ(LATERAL_RANGE.value(), 40) << c.what;
        } else {
            EXPECT_EQ(entries, c.expectedEntries) << c.what;
        }
    }
    EXPECT_EQ(parametersFileProblem().rfind("parameters.xml was no valid settings file (", 0), 0u) << parametersFileProblem();
    EXPECT_NE(parametersFileProblem().find("kept as parameters.xml.broken; default settings are used"), std::string::npos);
    // A second broken file never replaces the first copy.
    qtest::writeFile(parametersXmlPath(), "<parameters");
    loadParameters();
    EXPECT_EQ(qtest::readFile(parametersXmlPath().wstring() + L".broken"), broken);
    EXPECT_EQ(qtest::readFile(parametersXmlPath().wstring() + L".broken2"), "<parameters");
}

TEST(ParametersFile, FileThatCannotBeReadNowIsLeftAlone)
{
    removeDataFiles();
    const std::string mine =
        "<?xml version=\"1.0\"?>\n<parameters>\n\t<parameter name=\"LATERAL_RANGE\" value=\"77\" />\n</parameters>\n";
    qtest::writeFile(parametersXmlPath(), mine);
    // Another program holds the file open without sharing it, for a moment.
    HANDLE held = CreateFileW(parametersXmlPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    LATERAL_RANGE.setValue(55);
    loadParameters();
    EXPECT_EQ(LATERAL_RANGE.value(), 40);
    EXPECT_EQ(parametersFileProblem(), "parameters.xml could not be read (File was not found), default settings are used until it can");
    LATERAL_RANGE.setValue(12);
    LATERAL_RANGE.save();
    CloseHandle(held);
    // Neither moved aside nor overwritten: the next start has the user's settings again.
    EXPECT_EQ(qtest::readFile(parametersXmlPath()), mine);
    EXPECT_FALSE(std::filesystem::exists(parametersXmlPath().wstring() + L".broken"));
    loadParameters();
    EXPECT_EQ(LATERAL_RANGE.value(), 77);
    EXPECT_EQ(parametersFileProblem(), "");
}

TEST(ParametersFile, SaveChangesOnlyItsElement)
{
    removeDataFiles();
    writeParameters("<parameter name=\"LATERAL_RANGE\" />\n" + element("UNKNOWN", "x") +
                    element("PORT_NUMBER", "1") + element("PORT_NUMBER", "2"));
    struct Case {
        void (*act)();
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        // An element without a value attribute gets one instead of swallowing the change.
        {[] { LATERAL_RANGE.setValue(61); LATERAL_RANGE.save(); }, "LATERAL_RANGE", "61"},
        // The first of two elements with the same key is the one changed.
        {[] { PORT_NUMBER.set("4321"); }, "PORT_NUMBER", "4321"},
        // A missing element is appended.
        {[] { WEEK.setValue(true); WEEK.save(); }, "WEEK", "true"},
    };
    for (const auto& c : cases) c.act();
    for (const auto& c : cases) EXPECT_EQ(fileValue(c.key), c.value) << c.key;
    EXPECT_EQ(fileEntries(), (Entries{{"LATERAL_RANGE", "61"},
                                      {"UNKNOWN", "x"},
                                      {"PORT_NUMBER", "4321"},
                                      {"PORT_NUMBER", "2"},
                                      {"WEEK", "true"}}));
    EXPECT_EQ(dataFolderFiles(), std::vector<std::filesystem::path>{"parameters.xml"});

    // A missing file is created with the one parameter; the next load completes it.
    removeDataFiles();
    WEEK.save();
    EXPECT_EQ(fileEntries(), (Entries{{"WEEK", "true"}}));
    loadParameters();
    EXPECT_TRUE(WEEK.value());
    // Completing appends each missing key once (a fresh file holds two keys twice).
    EXPECT_EQ(fileEntries().size(), 49u);
    resetToDefaults();
}

TEST(ParametersFile, RemoveParameter)
{
    removeDataFiles();
    EXPECT_FALSE(removeParameter(lfolder2)); // no file: nothing written
    EXPECT_FALSE(std::filesystem::exists(parametersXmlPath()));
    writeParameters(element("lfolder2", "a") + element("lfolder2", "b"));
    EXPECT_TRUE(removeParameter(lfolder2));
    EXPECT_EQ(fileEntries(), (Entries{{"lfolder2", "b"}}));
}

TEST(ParametersFile, ConcurrentSavesLoseNothing)
{
    resetToDefaults();
    // Two threads saving different keys read, change and write the whole file each time;
    // without one lock around that, one thread's change would overwrite the other's.
    std::thread window([] {
        for (int i = 1; i <= 40; ++i) {
            MAX_HOLDING_MINUTES.setValue(i);
            MAX_HOLDING_MINUTES.save();
        }
    });
    std::thread worker([] {
        for (int i = 1; i <= 40; ++i) {
            PROGRAM_INSTALL_PATH.set("C:\\Programs\\Quillmarsh\\" + std::to_string(i));
        }
    });
    window.join();
    worker.join();
    EXPECT_EQ(fileValue("MAX_HOLDING_MINUTES"), "40");
    EXPECT_EQ(fileValue("PROGRAM_INSTALL_PATH"), "C:\\Programs\\Quillmarsh\\40");
    EXPECT_EQ(fileEntries().size(), 51u);
    resetToDefaults();
}

TEST(ParametersFile, XmlHelpers)
{
    EXPECT_EQ(parameterXPath("LOG"), "/parameters/parameter[@name='LOG']");
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("parameters");
    EXPECT_TRUE(appendBoolParameterNode(root, "A", false));
    EXPECT_TRUE(appendIntParameterNode(root, "B", -7));
    EXPECT_TRUE(appendParameterNode(root, "C", "x y"));
    EXPECT_TRUE(setAttributeInt(root, "count", 3));
    EXPECT_EQ(root.attribute("count").as_int(), 3);
    const std::pair<const char*, const char*> expected[] = {{"A", "false"}, {"B", "-7"}, {"C", "x y"}};
    int i = 0;
    for (pugi::xml_node element : root.children()) {
        EXPECT_STREQ(element.attribute("name").as_string(), expected[i].first);
        EXPECT_STREQ(element.attribute("value").as_string(), expected[i].second);
        EXPECT_STREQ(element.first_attribute().name(), "name");
        ++i;
    }
    EXPECT_EQ(i, 3);
    // Nodes that cannot take children or attributes.
    pugi::xml_node text = root.append_child(pugi::node_pcdata);
    EXPECT_FALSE(appendParameterNode(text, "D", "1"));
    EXPECT_FALSE(appendIntParameterNode(pugi::xml_node(), "D", 1));
    EXPECT_FALSE(setAttributeInt(text, "n", 1));
    EXPECT_TRUE(isLiveryFolderParameter("lfolder7"));
    EXPECT_TRUE(isLiveryFolderParameter("mylfolders"));
    EXPECT_FALSE(isLiveryFolderParameter("LFOLDER1"));
}

// The rows are the only list of settings: a stored row is in a new file once per load list it
// names, every key of a new file is a row, and the settings that are never stored are exactly
// these (a row that lost its load list would otherwise go unread without a sound).
TEST(SettingRows, EveryStoredRowIsInTheFile)
{
    resetToDefaults();
    const Entries entries = fileEntries();
    std::vector<std::string> neverStored;
    for (const Parameter* p : allParameters()) {
        if (p->lists == notStored) {
            neverStored.push_back(p->name);
            continue;
        }
        // Empty livery folders are never written.
        const int lists = std::popcount(p->lists);
        EXPECT_EQ(countOf(entries, p->name), isLiveryFolderParameter(p->name) ? 0 : lists) << p->name;
    }
    EXPECT_EQ(neverStored, (std::vector<std::string>{"parking_percentage", "MAX_FIT_FL", "ALL_INSTALL_PATH",
                                                     "CALLSIGN_2_OBJECTID", "Unblock", "Re-read", "Flush static",
                                                     "DOWNLOAD_SITE"}));
    for (const auto& [key, value] : entries)
        EXPECT_TRUE(std::any_of(allParameters().begin(), allParameters().end(),
                                [&key](const Parameter* p) { return p->name == key && p->lists != notStored; }))
            << key;
}

// The controls come from the rows: 42, each with its own id and its own place in the order of
// creation, inside the window's width (the install-path edit runs past the right edge on purpose).
TEST(SettingRows, EveryControlHasItsOwnIdAndPlace)
{
    const auto& controls = allControls();
    ASSERT_EQ(controls.size(), 42u);
    std::vector<std::uint16_t> ids;
    for (std::size_t k = 0; k < controls.size(); ++k) {
        const ControlPlace& place = controls[k]->place();
        EXPECT_EQ(place.tab, static_cast<std::int32_t>(k + 1)) << place.id;
        EXPECT_EQ(controlWithId(place.id), controls[k]);
        EXPECT_GE(place.x, 5) << place.id;
        EXPECT_LT(place.x, 880) << place.id;
        if (place.label != nullptr) {
            EXPECT_LT(place.labelX, 880) << place.id;
        }
        ids.push_back(place.id);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
    EXPECT_EQ(controlWithId(40000), nullptr);
    // A row without a control of its own.
    EXPECT_EQ(std::find(controls.begin(), controls.end(), static_cast<ParameterControl*>(&MAX_FIT)), controls.end());
}

// resetParametersToDefaults puts every row back, whatever its kind.
TEST(SettingRows, ResetPutsEveryRowBackToItsDefault)
{
    for (Parameter* p : allParameters()) {
        if (auto* b = dynamic_cast<BoolParameter*>(p)) b->setValue(!b->defaultValue());
        else if (auto* i = dynamic_cast<IntParameter*>(p)) i->setValue(i->defaultValue() == i->maximum() ? i->minimum() : i->maximum());
        else if (auto* f = dynamic_cast<FloatParameter*>(p)) f->setValue(f->minimum() + 0.25f);
        else if (auto* s = dynamic_cast<StringParameter*>(p)) s->setValue(s->defaultValue() + "changed");
    }
    resetParametersToDefaults();
    for (Parameter* p : allParameters()) {
        if (auto* b = dynamic_cast<BoolParameter*>(p)) {
            EXPECT_EQ(b->value(), b->defaultValue()) << p->name;
        } else if (auto* i = dynamic_cast<IntParameter*>(p)) {
            EXPECT_EQ(i->value(), i->defaultValue()) << p->name;
        } else if (auto* f = dynamic_cast<FloatParameter*>(p)) {
            EXPECT_EQ(f->value(), f->defaultValue()) << p->name;
        } else if (auto* s = dynamic_cast<StringParameter*>(p)) {
            EXPECT_EQ(s->value(), s->defaultValue()) << p->name;
        }
    }
    EXPECT_EQ(lateralRangeMetres.load(), 40 * 1852);
}

// Every stored number's bounds are values of their own: a file holding a row's minimum or maximum
// reads back as exactly that (a typed 1 for the matching depth stays 1), and one step beyond is
// clamped to it.
TEST(SettingRows, BoundsReadBackUnchangedFromTheFile)
{
    for (Parameter* p : allParameters()) {
        if (p->lists == notStored) continue;
        auto* i = dynamic_cast<IntParameter*>(p);
        if (i == nullptr) continue;
        const std::int64_t minimum = i->minimum();
        const std::int64_t maximum = i->maximum();
        const std::pair<std::int64_t, std::int64_t> cases[] = {
            {minimum, minimum}, {maximum, maximum}, {minimum - 1, minimum}, {maximum + 1, maximum}};
        for (const auto& [written, expected] : cases) {
            // A step beyond a bound that is the type's own limit is no number of the row.
            if (written < INT32_MIN || written > INT32_MAX) continue;
            removeDataFiles();
            writeParameters(element(p->name, std::to_string(written)));
            loadParameters();
            EXPECT_EQ(i->value(), expected) << p->name << " written as " << written;
        }
    }
    resetToDefaults();
}
