// The stand-in simulator on its own, loaded as the program loads SimConnect.dll: scenarios,
// answers built from the client's definitions, faults, and the journal file.
#include "platform/simconnect/event_handle.h"
#include "platform/simconnect/simconnect.h"
#include "platform/simconnect/simconnect_library.h"
#include "platform/simconnect/stand_in.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

namespace {

struct Received {
    DWORD id;
    std::vector<unsigned char> bytes;
    template <class T>
    const T& as() const
    {
        return *reinterpret_cast<const T*>(bytes.data());
    }
};

void CALLBACK collect(SIMCONNECT_RECV* m, DWORD size, void* context)
{
    auto* out = static_cast<std::vector<Received>*>(context);
    const auto* p = reinterpret_cast<const unsigned char*>(m);
    Received r{m->dwID, {}};
    r.bytes.resize((size + 7) / 8 * 8);
    std::memcpy(r.bytes.data(), p, size);
    out->push_back(std::move(r));
}

// Where the data block of an object-data reply begins.
constexpr std::size_t dataHead = sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) - sizeof(DWORD);

class StandIn : public ::testing::Test {
protected:
    standin::Simulator& sim = standin::simulator();
    const qtr::SimConnectFunctions& sc = *qtr::gf_loadSimConnect().functions;
    HANDLE h = nullptr;
    std::vector<Received> got;

    void SetUp() override
    {
        standin::Scenario s;
        s.installedTitles = {"Title A"};
        sim.reset(s);
        ASSERT_GE(sc.Open(&h, "probe", nullptr, 0, nullptr, 0), 0);
    }
    void TearDown() override { sc.Close(h); }

    std::vector<Received> dispatch()
    {
        got.clear();
        sc.CallDispatch(h, collect, &got);
        return got;
    }
};

double doubleAt(const Received& r, std::size_t offset)
{
    double v;
    std::memcpy(&v, r.bytes.data() + dataHead + offset, 8);
    return v;
}

} // namespace

TEST_F(StandIn, AnswersFromTheClientsDefinitionsInTheirUnits)
{
    auto messages = dispatch();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, SIMCONNECT_RECV_ID_OPEN);
    EXPECT_STREQ(messages[0].as<SIMCONNECT_RECV_OPEN>().szApplicationName, "KittyHawk");

    // Latitude in radians first, heading in degrees: what was asked for comes back.
    sc.AddToDataDefinition(h, 1, "PLANE HEADING DEGREES TRUE", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 0,
                           SIMCONNECT_UNUSED);
    sc.AddToDataDefinition(h, 1, "Plane Latitude", "radians", SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    sc.AddToDataDefinition(h, 1, "ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32, 0, SIMCONNECT_UNUSED);
    sc.RequestDataOnSimObject(h, 9, 1, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0);
    messages = dispatch();
    ASSERT_EQ(messages.size(), 1u);
    const auto& data = messages[0].as<SIMCONNECT_RECV_SIMOBJECT_DATA>();
    EXPECT_EQ(messages[0].id, SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    EXPECT_EQ(data.dwRequestID, 9u);
    EXPECT_EQ(data.dwObjectID, 1u);
    EXPECT_NEAR(doubleAt(messages[0], 0), 280.0, 1e-9);
    EXPECT_NEAR(doubleAt(messages[0], 8), 47.4612 * 0.017453292519943295, 1e-12);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(messages[0].bytes.data() + dataHead + 16)),
              "ATCCOM.AC_MODEL A320.0.text");

    // A variable or unit the simulator does not know is refused with the call's packet id.
    sc.AddToDataDefinition(h, 2, "PLANE WOBBLE", "feet", SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    DWORD sendId = 0;
    sc.GetLastSentPacketID(h, &sendId);
    sc.AddToDataDefinition(h, 2, "Plane Altitude", "furlongs", SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    messages = dispatch();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].as<SIMCONNECT_RECV_EXCEPTION>().dwException, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED);
    EXPECT_EQ(messages[0].as<SIMCONNECT_RECV_EXCEPTION>().dwSendID, sendId);
    EXPECT_EQ(messages[1].as<SIMCONNECT_RECV_EXCEPTION>().dwSendID, sendId + 1);
}

TEST_F(StandIn, CreatesOnlyInstalledTitlesAndJournalsTheObjectsLife)
{
    const auto journalPath = qtest::freshFolder("journal") / "journal.jsonl";
    sim.setJournalPath(journalPath.wstring());
    sc.SubscribeToSystemEvent(h, 7, "ObjectAdded");
    sc.SubscribeToSystemEvent(h, 8, "ObjectRemoved");
    sc.AddToDataDefinition(h, 2, "Plane Latitude", "degree", SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    sc.AddToDataDefinition(h, 2, "Plane Longitude", "degree", SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    sc.AddToDataDefinition(h, 2, "Plane Altitude", "feet", SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    sc.AddToDataDefinition(h, 2, "Plane Heading degrees true", "radians", SIMCONNECT_DATATYPE_FLOAT64, 0,
                           SIMCONNECT_UNUSED);
    dispatch();
    SIMCONNECT_DATA_INITPOSITION p{47.0, 8.0, 3000.0, 0, 0, 90.0, 0, 250};
    sc.AICreateNonATCAircraft(h, "Title B", "BAD1", p, 1);
    DWORD refusedId = 0;
    sc.GetLastSentPacketID(h, &refusedId);
    sc.AICreateNonATCAircraft(h, "Title A", "GOOD1", p, 1);
    auto messages = dispatch();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].as<SIMCONNECT_RECV_EXCEPTION>().dwException, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED);
    EXPECT_EQ(messages[0].as<SIMCONNECT_RECV_EXCEPTION>().dwSendID, refusedId);
    const auto& added = messages[1].as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>();
    EXPECT_EQ(added.uEventID, 7u);
    EXPECT_EQ(added.eObjType, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    const DWORD id = added.dwData;
    EXPECT_EQ(sim.object(id)->atcId, "GOOD1");

    double block[4] = {47.1, 8.1, 3500.0, 3.14159265358979 / 2};
    EXPECT_EQ(sc.SetDataOnSimObject(h, 2, id, 0, 0, sizeof block, block), S_OK);
    sc.SetDataOnSimObject(h, 2, id, 0, 0, 24, block); // wrong size
    sc.AIRemoveObject(h, id, 5);
    messages = dispatch();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].as<SIMCONNECT_RECV_EXCEPTION>().dwException, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE);
    EXPECT_EQ(messages[1].as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>().uEventID, 8u);

    std::ifstream in(journalPath);
    std::vector<nlohmann::json> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    std::vector<std::string> kinds;
    for (const auto& l : lines) kinds.push_back(l["kind"]);
    EXPECT_EQ(kinds, (std::vector<std::string>{"refused", "exception", "created", "pose", "exception", "removed"}));
    EXPECT_EQ(lines[2]["object"], id);
    EXPECT_EQ(lines[2]["title"], "Title A");
    EXPECT_EQ(lines[2]["tail"], "GOOD1");
    EXPECT_EQ(lines[3]["lat"], 47.1);
    EXPECT_EQ(lines[3]["alt"], 3500.0);
    EXPECT_NEAR(lines[3]["heading"].get<double>(), 90.0, 1e-9);
    EXPECT_EQ(lines[5]["object"], id);
}

// Each settable variable of the simulator's table, written by a client, reads back as written, shows
// in the object the tests see and in the journal; text variables too.
TEST_F(StandIn, EverySettableVariableReadsBackAndShowsInTheObjectAndTheJournal)
{
    using standin::VariableKind;
    // The stand-in's own unit of each kind of number: the object keeps what was sent.
    const std::map<VariableKind, const char*> ownUnit = {
        {VariableKind::LatLon, "degrees"},
        {VariableKind::Angle, "radians"},
        {VariableKind::Length, "feet"},
        {VariableKind::Speed, "knots"},
        {VariableKind::VerticalSpeed, "feet per second"},
        {VariableKind::Percent, "percent"},
        {VariableKind::Bool, "bool"},
        {VariableKind::Number, "number"},
        {VariableKind::Mask, "mask"},
        {VariableKind::Seconds, "seconds"},
    };
    SIMCONNECT_DATA_INITPOSITION p{47.0, 8.0, 3000.0, 0, 0, 90.0, 0, 250};
    sc.AICreateNonATCAircraft(h, "Title A", "TAIL1", p, 1);
    const std::uint32_t id = sim.objects().back().id;
    dispatch();

    DWORD defineId = 100;
    int texts = 0;
    for (const standin::ObjectVariable& v : standin::objectVariables()) {
        if (!v.settable) continue;
        const std::string name(v.name);
        SCOPED_TRACE(name);
        ASSERT_FALSE(v.key.empty()) << "not shown in the object";
        ++defineId;
        const bool text = v.kind == VariableKind::Text;
        const nlohmann::json value = text ? nlohmann::json("TEXT" + std::to_string(defineId))
                                          : nlohmann::json(defineId + 0.25);
        unsigned char block[32] = {};
        if (text) {
            ++texts;
            const std::string t = value.get<std::string>();
            std::memcpy(block, t.data(), t.size());
        } else {
            ASSERT_TRUE(ownUnit.count(v.kind)) << "no unit for its kind";
            const double number = value.get<double>();
            std::memcpy(block, &number, 8);
        }
        sc.AddToDataDefinition(h, defineId, name.c_str(), text ? nullptr : ownUnit.at(v.kind),
                               text ? SIMCONNECT_DATATYPE_STRING32 : SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
        EXPECT_EQ(sc.SetDataOnSimObject(h, defineId, id, 0, 0, text ? 32 : 8, block), S_OK);
        sc.RequestDataOnSimObject(h, defineId, defineId, id, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0);
        const auto messages = dispatch();
        ASSERT_EQ(messages.size(), 1u) << "an exception instead of the reply";
        ASSERT_EQ(messages[0].id, SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
        if (text)
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(messages[0].bytes.data() + dataHead)), value);
        else
            EXPECT_EQ(doubleAt(messages[0], 0), value);

        EXPECT_EQ(standin::objectToJson(*sim.object(id))[std::string(v.key)], value);

        auto entry = sim.journal().back(); // not const: a missing key reads as null
        if (v.journal == standin::Journal::Pose) {
            EXPECT_EQ(entry["kind"], "pose");
            const double journalled = entry[std::string(v.poseKey)].get<double>();
            const double degreesPerRadian = 57.29577951308232; // the journal's angles are degrees
            EXPECT_NEAR(journalled, value.get<double>() * (v.kind == VariableKind::Angle ? degreesPerRadian : 1.0),
                        1e-9);
        } else if (v.journal == standin::Journal::Data) {
            EXPECT_EQ(entry["kind"], "data");
            EXPECT_EQ(entry["values"][name], value) << entry.dump();
        }
    }
    EXPECT_GE(texts, 1) << "no settable text variable";
}

// The client's texts need not be UTF-8 (a plan path in the system's code page, a tail number):
// the call still succeeds, and the journal file and every view write such bytes as U+FFFD.
TEST_F(StandIn, TextsThatAreNotUtf8ComeOutWithReplacementCharacters)
{
    const auto journalPath = qtest::freshFolder("journal_latin1") / "journal.jsonl";
    sim.setJournalPath(journalPath.wstring());
    SIMCONNECT_DATA_INITPOSITION p{47.0, 8.0, 3000.0, 0, 0, 90.0, 0, 250};
    EXPECT_EQ(sc.AICreateNonATCAircraft(h, "Title A", "M\xFCller", p, 1), S_OK);
    EXPECT_EQ(sc.AISetAircraftFlightPlan(h, 4242, "C:\\Users\\J\xFCrgen\\plan.pln", 2), S_OK);

    const std::string replacement = "\xEF\xBF\xBD";
    std::ifstream in(journalPath);
    std::map<std::string, nlohmann::json> byKind;
    for (std::string line; std::getline(in, line);) {
        const auto entry = nlohmann::json::parse(line);
        byKind[entry["kind"]] = entry;
    }
    ASSERT_TRUE(byKind.count("created") && byKind.count("plan-failed"));
    EXPECT_EQ(byKind["created"]["tail"], "M" + replacement + "ller");
    EXPECT_EQ(byKind["plan-failed"]["path"], "C:\\Users\\J" + replacement + "rgen\\plan.pln");
    for (const auto& e : sim.journal()) {
        if (e["kind"] == "created") {
            EXPECT_EQ(e["tail"], "M" + replacement + "ller");
        }
    }
    EXPECT_EQ(sim.calls().back()["path"], "C:\\Users\\J" + replacement + "rgen\\plan.pln");
    const auto objects = sim.objects();
    ASSERT_EQ(objects.size(), 2u); // the user's and the created one
    EXPECT_EQ(objects.back().atcId, "M" + replacement + "ller");
}

// With the scenario's airports every object stands on the ground of the airport it is at, not on
// the user's: the user at Burbank (778 ft) and an aircraft at Los Angeles, 650 ft lower.
TEST_F(StandIn, EachObjectHasTheGroundOfItsAirport)
{
    sc.Close(h);
    standin::Scenario s;
    s.installedTitles = {"Title A"};
    s.user.latitude = 34.2008;
    s.user.longitude = -118.3585;
    s.user.altitude = s.user.groundAltitude = 778.0;
    s.airports = {{"KBUR", 34.2008, -118.3585, 778.0}, {"KLAX", 33.9425, -118.4081, 128.0}};
    sim.reset(s);
    sim.setCallClock([] { return std::chrono::steady_clock::time_point(std::chrono::seconds(1234)); });
    ASSERT_GE(sc.Open(&h, "probe", nullptr, 0, nullptr, 0), 0);
    sc.AddToDataDefinition(h, 2, "Plane Latitude", "degree", SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    sc.AddToDataDefinition(h, 2, "Plane Longitude", "degree", SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    sc.AddToDataDefinition(h, 2, "Plane Altitude", "feet", SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED);
    SIMCONNECT_DATA_INITPOSITION p{33.9425, -118.4081, 0.0, 0, 0, 250.0, 1, 0};
    sc.AICreateNonATCAircraft(h, "Title A", "DEP1", p, 1);
    const std::uint32_t id = sim.objects().back().id;
    EXPECT_DOUBLE_EQ(sim.object(id)->altitude, 128.0 + s.staticCg); // created on its airport's ground

    struct Case {
        const char* where;
        double lat, lon, altFt, groundFt;
        bool onGround;
    };
    const Case cases[] = {
        {"climbing out of KLAX, 1 nm west", 33.9425, -118.4281, 400.0, 128.0, false},
        {"at sea, 20 nm from both", 33.75, -118.75, 300.0, 0.0, false},
        {"on the ground at KBUR", 34.2010, -118.3590, 778.0 + s.staticCg, 778.0, true},
    };
    for (const Case& c : cases) {
        double block[3] = {c.lat, c.lon, c.altFt};
        EXPECT_EQ(sc.SetDataOnSimObject(h, 2, id, 0, 0, sizeof block, block), S_OK);
        const auto o = sim.object(id);
        EXPECT_DOUBLE_EQ(o->groundAltitude, c.groundFt) << c.where;
        EXPECT_EQ(o->onGround, c.onGround) << c.where;
        EXPECT_DOUBLE_EQ(o->altitude, c.altFt) << c.where;
    }
    // Every journal entry carries its time (here the call clock's).
    for (const auto& e : sim.journal()) EXPECT_DOUBLE_EQ(e["t"].get<double>(), 1234.0) << e.dump();
}

TEST_F(StandIn, FaultsAndAbsence)
{
    sim.failCalls("SimConnect_AIRemoveObject", 1);
    EXPECT_LT(sc.AIRemoveObject(h, 1000, 5), 0);
    sc.AIRemoveObject(h, 1000, 5); // unknown object now: an exception, not a failed call
    EXPECT_EQ(dispatch().back().as<SIMCONNECT_RECV_EXCEPTION>().dwException, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID);
    sim.quit();
    const auto messages = dispatch();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, SIMCONNECT_RECV_ID_QUIT);
    EXPECT_LT(sc.AIRemoveObject(h, 1000, 5), 0); // the simulator is gone
    HANDLE again = nullptr;
    EXPECT_LT(sc.Open(&again, "probe", nullptr, 0, nullptr, 0), 0);
}

// A client that hands an event to Open has it set when a message comes into the empty queue, and
// only then: a client that sleeps on it and then dispatches until the queue is empty misses
// nothing and wakes for nothing.
TEST_F(StandIn, SetsTheClientsEventWhenAMessageWaits)
{
    using std::chrono::milliseconds;
    sc.Close(h);
    qtr::AutoResetEvent event;
    ASSERT_GE(sc.Open(&h, "waiter", nullptr, 0, event.handle(), 0), 0);
    EXPECT_EQ(sim.calls().back()["event"], true);
    EXPECT_TRUE(event.wait(milliseconds(0))) << "the open message";
    EXPECT_FALSE(event.wait(milliseconds(0))) << "an auto-reset event";
    dispatch();
    EXPECT_FALSE(event.wait(milliseconds(0))) << "no message, no signal";

    struct Case {
        const char* what;
        std::function<void()> cause;
        std::size_t messages;
    };
    const Case cases[] = {
        {"a frame",
         [this] {
             sc.SubscribeToSystemEvent(h, 4, "Frame");
             sim.frame();
         },
         1},
        {"an exception of a call",
         [this] { sc.RequestDataOnSimObject(h, 1, 99, 0, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0); }, 1},
        {"a once-a-second reply",
         [this] {
             sc.AddToDataDefinition(h, 3, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64, 0, SIMCONNECT_UNUSED);
             sc.RequestDataOnSimObject(h, 2, 3, 0, SIMCONNECT_PERIOD_SECOND, 0, 0, 0, 0);
             sim.second();
         },
         1},
        {"three frames before a dispatch", [this] { sim.frame(), sim.frame(), sim.frame(); }, 3},
        {"the simulator quits", [this] { sim.quit(); }, 1},
    };
    for (const Case& c : cases) {
        c.cause();
        EXPECT_TRUE(event.wait(milliseconds(0))) << c.what;
        EXPECT_EQ(dispatch().size(), c.messages) << c.what;
        EXPECT_FALSE(event.wait(milliseconds(0))) << c.what;
    }
    sc.Close(h); // before the event goes
    h = nullptr;
}

TEST(StandInScenario, ReadsTheExampleAndRefusesBadOnes)
{
    std::ifstream in(QM_SOURCE_DIR "/platform/simconnect/example_scenario.json");
    const auto s = standin::scenarioFromJson(nlohmann::json::parse(in));
    EXPECT_EQ(s.applicationName, "KittyHawk");
    EXPECT_EQ(s.user.title, "Airbus A320 Neo Asobo");
    EXPECT_EQ(s.installedTitles.size(), 3u);
    EXPECT_EQ(s.presentAfterSeconds, 3.0);
    for (const char* bad : {R"([1,2])", R"({"user": 5})", R"({"frameRate": "fast"})",
                            R"({"applicationVersion": [1,2]})", R"({"userObjectId": 5, "firstObjectId": 3})"}) {
        SCOPED_TRACE(bad);
        try {
            standin::scenarioFromJson(nlohmann::json::parse(bad));
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()).rfind("scenario: ", 0), 0u) << e.what();
        }
    }
}

TEST(SimConnectLibrary, LoadsFromTheFolderOrSaysWhatIsWrong)
{
    qtr::SimConnectFunctions table;
    // Beside this executable: the stand-in, with every function and the MSFS 2024 creation call.
    EXPECT_EQ(qtr::gf_loadSimConnectInto(qtr::executableFolder(), table), "");
    EXPECT_NE(table.Open, nullptr);
    EXPECT_NE(table.AISetAircraftFlightPlan, nullptr);
    EXPECT_NE(table.AICreateNonATCAircraft_EX1, nullptr);

    const auto empty = qtest::freshFolder("no-library");
    qtr::SimConnectFunctions none;
    EXPECT_EQ(qtr::gf_loadSimConnectInto(empty, none), "SimConnect.dll not found in " + empty.string());
    EXPECT_EQ(none.Open, nullptr);

    const auto broken = qtest::freshFolder("broken-library");
    qtest::writeFile(broken / "SimConnect.dll", "not a library at all");
    const std::string problem = qtr::gf_loadSimConnectInto(broken, none);
    EXPECT_EQ(problem.rfind("SimConnect.dll in " + broken.string() +
                                " is not a usable SimConnect.dll: it cannot be loaded (Windows error ",
                            0),
              0u)
        << problem;
    EXPECT_EQ(problem.find("Unknown error"), std::string::npos) << problem;

    // Some other library under the name: it lacks the functions.
    const auto other = qtest::freshFolder("other-library");
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    std::filesystem::copy_file(std::filesystem::path(system) / "version.dll", other / "SimConnect.dll");
    EXPECT_EQ(qtr::gf_loadSimConnectInto(other, none),
              "SimConnect.dll in " + other.string() + " lacks SimConnect_Open");
}
