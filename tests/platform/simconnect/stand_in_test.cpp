// The stand-in simulator on its own: scenarios, answers built from the client's definitions,
// faults, and the journal file.
#include "platform/simconnect/simconnect.h"
#include "platform/simconnect/stand_in.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
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

void CALLBACK collect(SimConnectRecv* m, DWORD size, void* context)
{
    auto* out = static_cast<std::vector<Received>*>(context);
    const auto* p = reinterpret_cast<const unsigned char*>(m);
    Received r{m->id, {}};
    r.bytes.resize((size + 7) / 8 * 8);
    std::memcpy(r.bytes.data(), p, size);
    out->push_back(std::move(r));
}

class StandIn : public ::testing::Test {
protected:
    standin::Simulator& sim = standin::simulator();
    HANDLE h = nullptr;
    std::vector<Received> got;

    void SetUp() override
    {
        standin::Scenario s;
        s.installedTitles = {"Title A"};
        sim.reset(s);
        ASSERT_GE(SimConnect_Open(&h, "probe", nullptr, 0, nullptr, 0), 0);
    }
    void TearDown() override { SimConnect_Close(h); }

    std::vector<Received> dispatch()
    {
        got.clear();
        SimConnect_CallDispatch(h, collect, &got);
        return got;
    }
};

double doubleAt(const Received& r, std::size_t offset)
{
    double v;
    std::memcpy(&v, r.bytes.data() + sizeof(SimConnectRecvObjectData) + offset, 8);
    return v;
}

} // namespace

TEST_F(StandIn, AnswersFromTheClientsDefinitionsInTheirUnits)
{
    auto messages = dispatch();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, scRecvOpen);
    EXPECT_STREQ(messages[0].as<SimConnectRecvOpen>().applicationName, "KittyHawk");

    // Latitude in radians first, heading in degrees: what was asked for comes back.
    SimConnect_AddToDataDefinition(h, 1, "PLANE HEADING DEGREES TRUE", "degrees", scDataFloat64, 0, scUnused);
    SimConnect_AddToDataDefinition(h, 1, "Plane Latitude", "radians", scDataFloat64, 0, scUnused);
    SimConnect_AddToDataDefinition(h, 1, "ATC MODEL", nullptr, scDataString32, 0, scUnused);
    SimConnect_RequestDataOnSimObject(h, 9, 1, scUserObject, scPeriodOnce, 0, 0, 0, 0);
    messages = dispatch();
    ASSERT_EQ(messages.size(), 1u);
    const auto& data = messages[0].as<SimConnectRecvObjectData>();
    EXPECT_EQ(messages[0].id, scRecvObjectData);
    EXPECT_EQ(data.requestId, 9u);
    EXPECT_EQ(data.objectId, 1u);
    EXPECT_NEAR(doubleAt(messages[0], 0), 280.0, 1e-9);
    EXPECT_NEAR(doubleAt(messages[0], 8), 47.4612 * 0.017453292519943295, 1e-12);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(messages[0].bytes.data() + sizeof(SimConnectRecvObjectData) + 16)),
              "ATCCOM.AC_MODEL A320.0.text");

    // A variable or unit the simulator does not know is refused with the call's packet id.
    SimConnect_AddToDataDefinition(h, 2, "PLANE WOBBLE", "feet", scDataFloat64, 0, scUnused);
    DWORD sendId = 0;
    SimConnect_GetLastSentPacketID(h, &sendId);
    SimConnect_AddToDataDefinition(h, 2, "Plane Altitude", "furlongs", scDataFloat64, 0, scUnused);
    messages = dispatch();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].as<SimConnectRecvException>().exception, scExNameUnrecognized);
    EXPECT_EQ(messages[0].as<SimConnectRecvException>().sendId, sendId);
    EXPECT_EQ(messages[1].as<SimConnectRecvException>().sendId, sendId + 1);
}

TEST_F(StandIn, CreatesOnlyInstalledTitlesAndJournalsTheObjectsLife)
{
    const auto journalPath = qtest::freshFolder("journal") / "journal.jsonl";
    sim.setJournalPath(journalPath.wstring());
    SimConnect_SubscribeToSystemEvent(h, 7, "ObjectAdded");
    SimConnect_SubscribeToSystemEvent(h, 8, "ObjectRemoved");
    SimConnect_AddToDataDefinition(h, 2, "Plane Latitude", "degree", scDataFloat64, 0, scUnused);
    SimConnect_AddToDataDefinition(h, 2, "Plane Longitude", "degree", scDataFloat64, 0, scUnused);
    SimConnect_AddToDataDefinition(h, 2, "Plane Altitude", "feet", scDataFloat64, 0, scUnused);
    SimConnect_AddToDataDefinition(h, 2, "Plane Heading degrees true", "radians", scDataFloat64, 0, scUnused);
    dispatch();
    SimConnectInitPosition p{47.0, 8.0, 3000.0, 0, 0, 90.0, 0, 250};
    SimConnect_AICreateNonATCAircraft(h, "Title B", "BAD1", p, 1);
    DWORD refusedId = 0;
    SimConnect_GetLastSentPacketID(h, &refusedId);
    SimConnect_AICreateNonATCAircraft(h, "Title A", "GOOD1", p, 1);
    auto messages = dispatch();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].as<SimConnectRecvException>().exception, scExCreateObjectFailed);
    EXPECT_EQ(messages[0].as<SimConnectRecvException>().sendId, refusedId);
    const auto& added = messages[1].as<SimConnectRecvObjectAddRemove>();
    EXPECT_EQ(added.eventId, 7u);
    EXPECT_EQ(added.objectType, scObjectAircraft);
    const DWORD id = added.data;
    EXPECT_EQ(sim.object(id)->atcId, "GOOD1");

    double block[4] = {47.1, 8.1, 3500.0, 3.14159265358979 / 2};
    EXPECT_EQ(SimConnect_SetDataOnSimObject(h, 2, id, 0, 0, sizeof block, block), S_OK);
    SimConnect_SetDataOnSimObject(h, 2, id, 0, 0, 24, block); // wrong size
    SimConnect_AIRemoveObject(h, id, 5);
    messages = dispatch();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].as<SimConnectRecvException>().exception, scExInvalidDataSize);
    EXPECT_EQ(messages[1].as<SimConnectRecvObjectAddRemove>().eventId, 8u);

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

TEST_F(StandIn, FaultsAndAbsence)
{
    sim.failCalls("SimConnect_AIRemoveObject", 1);
    EXPECT_LT(SimConnect_AIRemoveObject(h, 1000, 5), 0);
    SimConnect_AIRemoveObject(h, 1000, 5); // unknown object now: an exception, not a failed call
    EXPECT_EQ(dispatch().back().as<SimConnectRecvException>().exception, scExUnrecognizedId);
    sim.quit();
    const auto messages = dispatch();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, scRecvQuit);
    EXPECT_LT(SimConnect_AIRemoveObject(h, 1000, 5), 0); // the simulator is gone
    HANDLE again = nullptr;
    EXPECT_LT(SimConnect_Open(&again, "probe", nullptr, 0, nullptr, 0), 0);
}

TEST(StandInScenario, ReadsTheExampleAndRefusesBadOnes)
{
    std::ifstream in(QM_SOURCE_DIR "/platform/simconnect/example_scenario.json");
    const auto s = standin::scenarioFromJson(nlohmann::json::parse(in));
    EXPECT_EQ(s.applicationName, "KittyHawk");
    EXPECT_EQ(s.user.title, "Airbus A320 Neo Asobo");
    EXPECT_EQ(s.installedTitles.size(), 3u);
    EXPECT_EQ(s.presentAfterSeconds, 3.0);
    for (const char* bad : {R"([1,2])", R"({"user": 5})", R"({"frameRate": "fast"})", R"({"applicationVersion": [1,2]})",
                            R"({"userObjectId": 5, "firstObjectId": 3})"}) {
        SCOPED_TRACE(bad);
        try {
            standin::scenarioFromJson(nlohmann::json::parse(bad));
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()).rfind("scenario: ", 0), 0u) << e.what();
        }
    }
}
