#include "foundation/indicators.h"
#include "foundation/parameters/parameters_xml.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/parameters/parameters_file.h"
#include "foundation/paths.h"
#include "foundation/version.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <thread>
#include <utility>
#include <vector>

using namespace qtr;
using namespace qtest;

TEST(ParametersFile, LivesInTheDataFolderOnly)
{
    const auto appData = std::filesystem::path(qtest::processRoot() / "appdata" / "Roaming");
    EXPECT_EQ(dataFolder(), appData / "Quillmarsh");
    EXPECT_EQ(parametersXmlPath(), appData / "Quillmarsh" / "parameters.xml");
    resetToDefaults();
    EXPECT_FALSE(std::filesystem::exists("parameters.xml"));
}

TEST(ParametersFile, LoadReadsClampsCompletesAndKeepsForeignEntries)
{
    removeDataFiles();
    writeParameters(element("PROGRAM_VERSION", "10.10.10") +       //
                    element("LATERAL_RANGE", "500") +              // above the maximum
                    element("AIRPORT_HEIGHT", "abc") +             // no digits: 0, clamped up
                    element("AIRPORT_RANGE", " 0x10") +            // hexadecimal, leading blank
                    element("MAX_LIVE", "-99999999999") +          // saturates, then clamps
                    element("HOLDING_THRESHOLD_METERS", "") +      // empty: 0, clamped up
                    "<parameter name=\"MAX_HOLDING_MINUTES\" />\n" // no value attribute
                    "<parameter name=\"PORT_NUMBER\" />\n" +       //
                    element("TELLMOOR", "yes") +                   //
                    element("TELLMOOR", "false") +                 // duplicate: never read
                    element("SOMETHING_ELSE", "kept") +            // unknown key
                    element("DESTINATION", "EDDF") +               //
                    element("lfolder3", "") +                      // empty livery folder
                    element("lfolder4", "D:\\Liveries") +          //
                    element("BLOCK_CALLSIGN", "DLH4AB") +          //
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
    const std::string expected[] = {"100", "2000", "16",   "-1",           "10",     "1",
                                    "",    "true", "EDDF", "D:\\Liveries", "DLH4AB", "4"};
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
    const std::pair<const char*, bool> cases[] = {{"yes", true},    {"True", true}, {"1", true},
                                                  {"t", true},      {"no", false},  {"0", false},
                                                  {"false", false}, {"", false},    {" true", false}};
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
    const std::string foreign =
        "<?xml version=\"1.0\"?>\n<settings>\n\t<parameter name=\"LATERAL_RANGE\" value=\"7\" />\n</settings>\n";
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
    const std::string broken = "<?xml version=\"1.0\"?>\n<parameters>\n\t<parameter name=\"LATERAL_RANGE\" "
                               "value=\"77\" />\n\t<parameter name=";
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
            EXPECT_EQ(entries.size(), freshFileFromRows().size()) << c.what;
            EXPECT_EQ(LATERAL_RANGE.value(), 40) << c.what;
        } else {
            EXPECT_EQ(entries, c.expectedEntries) << c.what;
        }
    }
    EXPECT_EQ(parametersFileProblem().rfind("parameters.xml was no valid settings file (", 0), 0u)
        << parametersFileProblem();
    EXPECT_NE(parametersFileProblem().find("kept as parameters.xml.broken; default settings are used"),
              std::string::npos);
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
    EXPECT_EQ(parametersFileProblem(),
              "parameters.xml could not be read (File was not found), default settings are used until it can");
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

// A settings folder the program may not write to (here: the save's temporary name is taken by a
// folder, which refuses the write on every system): the run goes on with the settings it read,
// and the status line says that they cannot be saved, at the start and for each change.
TEST(ParametersFile, FolderThatCannotBeWrittenLeavesTheSettingsForThisRun)
{
    const std::string mine =
        "<?xml version=\"1.0\"?>\n<parameters>\n\t" + element("LATERAL_RANGE", "77") + "</parameters>\n";
    const struct {
        const char* what;
        bool fileThere;
        std::int32_t range;
    } cases[] = {{"existing file", true, 77}, {"no file yet", false, 40}};
    for (const auto& c : cases) {
        removeDataFiles();
        if (c.fileThere) qtest::writeFile(parametersXmlPath(), mine);
        std::filesystem::path blocker = parametersXmlPath();
        blocker += ".tmp";
        qtest::writeFile(blocker / "taken", "");
        clearStatus();
        loadParameters();
        EXPECT_EQ(LATERAL_RANGE.value(), c.range) << c.what;
        EXPECT_EQ(parametersFileProblem().rfind("Settings cannot be saved in ", 0), 0u) << parametersFileProblem();
        EXPECT_TRUE(parametersFileProblem().ends_with("changes hold for this run only")) << parametersFileProblem();

        LATERAL_RANGE.setValue(12);
        LATERAL_RANGE.save();
        EXPECT_EQ(indicators.statusLine(), "LATERAL_RANGE=12 could not be saved, it holds for this run only") << c.what;
        EXPECT_EQ(std::filesystem::exists(parametersXmlPath()), c.fileThere) << c.what;
        if (c.fileThere) {
            EXPECT_EQ(qtest::readFile(parametersXmlPath()), mine);
        }

        std::filesystem::remove_all(blocker);
        clearStatus();
        LATERAL_RANGE.save(); // writable again: saved, and nothing to tell
        EXPECT_EQ(indicators.statusLine(), "") << c.what;
    }
    resetToDefaults();
    EXPECT_EQ(parametersFileProblem(), "");
}

TEST(ParametersFile, SaveChangesOnlyItsElement)
{
    removeDataFiles();
    writeParameters("<parameter name=\"LATERAL_RANGE\" />\n" + element("UNKNOWN", "x") + element("PORT_NUMBER", "1") +
                    element("PORT_NUMBER", "2"));
    struct Case {
        void (*act)();
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        // An element without a value attribute gets one instead of swallowing the change.
        {[] {
             LATERAL_RANGE.setValue(61);
             LATERAL_RANGE.save();
         },
         "LATERAL_RANGE", "61"},
        // The first of two elements with the same key is the one changed.
        {[] { PORT_NUMBER.set("4321"); }, "PORT_NUMBER", "4321"},
        // A missing element is appended.
        {[] {
             WEEK.setValue(true);
             WEEK.save();
         },
         "WEEK", "true"},
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
    EXPECT_EQ(fileEntries().size(), distinctKeys(freshFileFromRows()));
    EXPECT_LT(distinctKeys(freshFileFromRows()), freshFileFromRows().size());
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
    EXPECT_EQ(fileEntries().size(), freshFileFromRows().size());
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
