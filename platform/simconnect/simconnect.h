#pragma once
// The program's view of the simulator's client library: the SimConnect functions it calls, with
// the arguments and results it relies on, and the records of the messages that come back to its
// dispatch callback. Written for this program; it declares only what the program uses.
//
// Results are HRESULTs: a negative value is a failure (some call sites also treat any non-zero
// value as one). Object id 0 names the user aircraft in requests.
#include <windows.h>

#include <cstddef>
#include <cstdint>

// --- numbers that travel through the calls -------------------------------------------------

// Received-message ids (SimConnectRecv::id).
enum SimConnectRecvId : DWORD {
    scRecvNull = 0,
    scRecvException = 1,
    scRecvOpen = 2,
    scRecvQuit = 3,
    scRecvEvent = 4,
    scRecvObjectAddRemove = 5,
    scRecvFileName = 6,
    scRecvFrame = 7,
    scRecvObjectData = 8,
    scRecvObjectDataByType = 9,
};

// Exception codes (SimConnectRecvException::exception).
enum SimConnectExceptionCode : DWORD {
    scExUnrecognizedId = 3,
    scExVersionMismatch = 5,
    scExNameUnrecognized = 7,
    scExTooManyObjects = 11,
    scExInvalidDataSize = 19,
    scExCreateObjectFailed = 22,
    scExLoadFlightPlanFailed = 23,
    scExOperationInvalidForObjectType = 24,
};

// Types of the variables of a data definition.
enum SimConnectDataType : DWORD {
    scDataFloat64 = 1,
    scDataInt64 = 2,
    scDataString32 = 3, // 32 bytes, zero-padded; a text of 32 characters has no terminator
    scDataStringV = 4,  // zero-terminated text of any length
};

// How often a data request is answered.
enum SimConnectPeriod : DWORD {
    scPeriodNever = 0,
    scPeriodOnce = 1,
    scPeriodSecond = 2,
};

// Kinds of simulation objects.
enum SimConnectObjectType : DWORD {
    scObjectUser = 0,
    scObjectAll = 1,
    scObjectAircraft = 2,
    scObjectHelicopter = 3,
    scObjectBoat = 4,
    scObjectGround = 5,
};

inline constexpr DWORD scUserObject = 0;
inline constexpr DWORD scUnused = 0xFFFFFFFF; // "no datum id" and the like
inline constexpr std::size_t scString32Size = 32;

// Where and how a non-ATC aircraft is created: degrees, feet, knots.
struct SimConnectInitPosition {
    double latitude;
    double longitude;
    double altitude;
    double pitch;
    double bank;
    double heading;
    DWORD onGround;
    DWORD airspeed;
};

// --- received messages ------------------------------------------------------------------------

struct SimConnectRecv {
    DWORD size; // bytes of the whole message
    DWORD version;
    DWORD id; // SimConnectRecvId
};

struct SimConnectRecvException : SimConnectRecv {
    DWORD exception; // SimConnectExceptionCode
    DWORD sendId;    // packet id of the call that failed
    DWORD index;     // which argument was wrong
};

struct SimConnectRecvOpen : SimConnectRecv {
    char applicationName[256];
    DWORD applicationVersionMajor;
    DWORD applicationVersionMinor;
    DWORD applicationBuildMajor;
    DWORD applicationBuildMinor;
    DWORD libraryVersionMajor;
    DWORD libraryVersionMinor;
    DWORD libraryBuildMajor;
    DWORD libraryBuildMinor;
};

struct SimConnectRecvQuit : SimConnectRecv {};

struct SimConnectRecvEvent : SimConnectRecv {
    DWORD groupId;
    DWORD eventId; // the id the client subscribed or mapped
    DWORD data;
};

// "ObjectAdded" / "ObjectRemoved": data is the object id.
struct SimConnectRecvObjectAddRemove : SimConnectRecvEvent {
    DWORD objectType; // SimConnectObjectType
};

// A system event that names a file (a flight loaded from a file).
struct SimConnectRecvFileName : SimConnectRecvEvent {
    char fileName[MAX_PATH];
    DWORD flags;
};

struct SimConnectRecvFrame : SimConnectRecvEvent {
    float frameRate;
    float simSpeed;
};

// Reply to a data request: the definition's variables follow the record, in definition order.
struct SimConnectRecvObjectData : SimConnectRecv {
    DWORD requestId;
    DWORD objectId;
    DWORD defineId;
    DWORD flags;
    DWORD entryNumber; // 1-based, for replies about several objects
    DWORD outOf;
    DWORD defineCount;
};

// Reply to a request about all objects of a kind within a radius: one message per object.
struct SimConnectRecvObjectDataByType : SimConnectRecvObjectData {};

// The data block of an object-data message and its length (bounded by the message size).
inline const unsigned char* simConnectDataBytes(const SimConnectRecvObjectData* message)
{
    return reinterpret_cast<const unsigned char*>(message) + sizeof(SimConnectRecvObjectData);
}
inline std::size_t simConnectDataLength(const SimConnectRecvObjectData* message, DWORD messageSize)
{
    const DWORD size = message->size < messageSize ? message->size : messageSize;
    return size > sizeof(SimConnectRecvObjectData) ? size - sizeof(SimConnectRecvObjectData) : 0;
}

typedef void(CALLBACK* SimConnectDispatchProc)(SimConnectRecv* message, DWORD size, void* context);

// --- calls ------------------------------------------------------------------------------------

// Opens a connection under the client's name; fails (negative) while no simulator is there.
HRESULT SimConnect_Open(HANDLE* handle, const char* name, HWND window, DWORD userMessage, HANDLE event,
                        DWORD configurationIndex);
HRESULT SimConnect_Close(HANDLE handle);
// Calls the callback once for every message that has arrived.
HRESULT SimConnect_CallDispatch(HANDLE handle, SimConnectDispatchProc callback, void* context);

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE handle, DWORD eventId, const char* eventName);
HRESULT SimConnect_AddToDataDefinition(HANDLE handle, DWORD defineId, const char* variableName,
                                       const char* unitsName, DWORD dataType, float epsilon, DWORD datumId);
HRESULT SimConnect_MapClientEventToSimEvent(HANDLE handle, DWORD eventId, const char* eventName);
HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE handle, DWORD groupId, DWORD eventId, BOOL maskable);
HRESULT SimConnect_SetNotificationGroupPriority(HANDLE handle, DWORD groupId, DWORD priority);

HRESULT SimConnect_RequestDataOnSimObject(HANDLE handle, DWORD requestId, DWORD defineId, DWORD objectId,
                                          DWORD period, DWORD flags, DWORD origin, DWORD interval, DWORD limit);
HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE handle, DWORD requestId, DWORD defineId, DWORD radiusMeters,
                                              DWORD objectType);
HRESULT SimConnect_SetDataOnSimObject(HANDLE handle, DWORD defineId, DWORD objectId, DWORD flags, DWORD arrayCount,
                                      DWORD unitSize, void* data);
HRESULT SimConnect_TransmitClientEvent(HANDLE handle, DWORD objectId, DWORD eventId, DWORD data, DWORD groupId,
                                       DWORD flags);

// Creates a non-ATC AI aircraft of an installed title with the tail number as its ATC ID. The
// object is announced later ("ObjectAdded"); a refusal comes back as exception 22 naming the
// packet id of this call.
HRESULT SimConnect_AICreateNonATCAircraft(HANDLE handle, const char* containerTitle, const char* tailNumber,
                                          SimConnectInitPosition initPosition, DWORD requestId);
// The packet id of the last call sent on this connection.
HRESULT SimConnect_GetLastSentPacketID(HANDLE handle, DWORD* sendId);
HRESULT SimConnect_AIReleaseControl(HANDLE handle, DWORD objectId, DWORD requestId);
HRESULT SimConnect_AIRemoveObject(HANDLE handle, DWORD objectId, DWORD requestId);
// Assigns a flight-plan file (narrow path); a file the simulator cannot load comes back as
// exception 23.
HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE handle, DWORD objectId, const char* flightPlanPath,
                                           DWORD requestId);
