#pragma once
// The requests the worker hands to the SimConnect thread. The worker fills the queues under
// simConnectMutex at any time; the SimConnect thread sends them once per simulator frame, and
// only when it gets the mutex without waiting.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace qtr {

// The simulator holds at most 12 characters of a tail number; a longer callsign would come back
// cut as the object's ATC ID and never be recognised, so such creations are refused.
inline constexpr std::size_t maxTailNumberLength = 12;
bool isValidTailNumber(const std::string& callsign);

// Where and how an AI object is created: degrees, feet, knots.
struct AiInitialPosition {
    double latitude = 0;
    double longitude = 0;
    double altitude = 0;
    double pitch = 0;
    double bank = 0;
    double heading = 0;
    std::uint32_t onGround = 0;
    std::uint32_t airspeed = 0;
};

struct AiCreateRequest {
    AiInitialPosition position;
    std::string callsign;       // the tail number; comes back as the object's ATC ID
    std::string liveryTitle;    // owned: the record's title may change before the frame sends it
    std::uint32_t recordId = 0; // the flight id (isLiveFlightId tells live from static)
};

struct ClientEvent {
    std::uint32_t objectId = 0;
    std::uint32_t eventId = 0;
    std::uint32_t data = 0;
};

// The eight values of the position definition, in its order, then the object id.
struct PositionUpdate {
    double latitude = 0;      // degrees
    double longitude = 0;     // degrees
    double pitch = 0;         // radians
    double bank = 0;          // radians
    double heading = 0;       // radians, true
    double altitude = 0;      // feet
    double verticalSpeed = 0; // feet per second
    double trueAirspeed = 0;  // knots
    std::uint32_t objectId = 0;
};
static_assert(offsetof(PositionUpdate, objectId) == 64, "the eight values are sent as one 64-byte block");

// A creation sent to the simulator, waiting for its object to be recognised by its ATC ID.
struct PendingCreation {
    std::uint32_t sendId = 0; // packet id of the creation call; 0 when it could not be read
    std::uint32_t recordId = 0;
    std::string tailNumber;
    std::chrono::steady_clock::time_point sentAt; // the program's clock
};
// A creation whose object is not recognised within this time is given up and its record freed
// (recognition normally takes the next in-range reply, a fraction of a second).
inline constexpr std::chrono::seconds pendingCreationLifetime{60};

extern std::mutex simConnectMutex;
// Guarded by simConnectMutex.
extern std::vector<AiCreateRequest> aiCreateQueue;
extern std::vector<ClientEvent> clientEventQueue;
extern std::vector<std::uint32_t> removalQueue;
extern std::vector<PositionUpdate> sendPositions;
// Position updates the simulator refused in this run (each is logged, a line every 10 s at most).
extern std::atomic<std::uint64_t> failedPositionUpdates;
// The worker's alone.
extern std::vector<PositionUpdate> fillPositions;
// The SimConnect thread's alone.
extern std::vector<PendingCreation> pendingCreations;

// Worker side (each takes simConnectMutex for the append).
// False, and nothing queued, when the callsign cannot serve as an ATC ID (logged).
bool gf_queueAiCreate(const AiCreateRequest& request);
void gf_queueAiEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data);
// The seven lights of an AI aircraft, each on (1) or off (0); sent together, in this order.
struct Lights {
    std::uint32_t nav = 0;
    std::uint32_t beacon = 0;
    std::uint32_t landing = 0;
    std::uint32_t taxi = 0;
    std::uint32_t strobes = 0;
    std::uint32_t logo = 0;
    std::uint32_t cabin = 0;
};
void gf_queueLights(std::uint32_t objectId, const Lights& lights);
void gf_queueNavLights(std::uint32_t objectId, std::uint32_t value);
void gf_queueCabinLights(std::uint32_t objectId, std::uint32_t value);
void gf_queueRemoval(std::uint32_t objectId);
// End of a worker tick: hands this tick's positions to the SimConnect thread.
void gf_exchangePositionBuffers();
// Erases the queued creations with this callsign; true when one was found.
bool removeFromPendingQueue(std::vector<AiCreateRequest>& queue, const std::string& callsign);

// SimConnect thread side.
struct OpenConnection;
struct SimConnectFunctions;
void lf_onFrame();
// MSFS 2024 with a library that has the newer creation call.
bool lf_createsWithEx1(const SimConnectFunctions& sc);
void lf_createAiAircraft(const OpenConnection& connection, const AiCreateRequest& request);
// Gives up the pending creations older than pendingCreationLifetime (kind 7 events).
void lf_expirePendingCreations();

// Empties every queue (end of a run).
void clearSimConnectQueues();

} // namespace qtr
