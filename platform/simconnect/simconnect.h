#pragma once
// The simulator's client library, SimConnect, as this program uses it: the functions, message
// records and numbers under the names of Microsoft's SimConnect SDK, with the SDK's values and
// its 1-byte record packing, so that the program also builds against the SDK's own SimConnect.h
// without a change. Written for this program from the SDK's public documentation and checked
// against an independent implementation of the protocol (tests/platform/simconnect); it declares
// only what the program needs.
//
// The functions are declared, never linked: the program looks them up at run time in the
// SimConnect.dll beside its executable (simconnect_library.h), so a PC without the library still
// starts the program, which then reports it missing.
//
// Results are HRESULTs: negative is a failure (some call sites count any non-zero value as one).
#ifdef _WIN32
#include <windows.h>
#else
// The native test build of the core (sanitizers, fuzzing) reads the records and numbers but never
// calls the library: the few Windows types the declarations use, with their Windows widths, so
// the record layouts stay the same.
#include <cstdint>
typedef std::uint32_t DWORD;
typedef std::int32_t HRESULT;
typedef std::int32_t BOOL;
typedef void* HANDLE;
typedef void* HWND;
typedef const char* LPCSTR;
#define MAX_PATH 260
#define TRUE 1
#define FALSE 0
#define S_OK ((HRESULT)0)
#define E_FAIL ((HRESULT)0x80004005)
#define __stdcall
#define CALLBACK
#endif

// --- identifiers that the client chooses ----------------------------------------------------

typedef DWORD SIMCONNECT_OBJECT_ID;
typedef DWORD SIMCONNECT_CLIENT_EVENT_ID;
typedef DWORD SIMCONNECT_NOTIFICATION_GROUP_ID;
typedef DWORD SIMCONNECT_DATA_DEFINITION_ID;
typedef DWORD SIMCONNECT_DATA_REQUEST_ID;

// Flag words of the calls (the program passes 0 throughout).
typedef DWORD SIMCONNECT_DATA_REQUEST_FLAG;
typedef DWORD SIMCONNECT_DATA_SET_FLAG;
typedef DWORD SIMCONNECT_EVENT_FLAG;

// "No datum id" and the like.
static const DWORD SIMCONNECT_UNUSED = 0xFFFFFFFF;
// The user aircraft in requests about one object.
static const DWORD SIMCONNECT_OBJECT_ID_USER = 0;

// --- numbers ---------------------------------------------------------------------------------

// What a received message is (SIMCONNECT_RECV::dwID). The numbering runs without gaps from 0.
enum SIMCONNECT_RECV_ID {
    SIMCONNECT_RECV_ID_NULL = 0,
    SIMCONNECT_RECV_ID_EXCEPTION = 1,
    SIMCONNECT_RECV_ID_OPEN = 2,
    SIMCONNECT_RECV_ID_QUIT = 3,
    SIMCONNECT_RECV_ID_EVENT = 4,
    SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE = 5,
    SIMCONNECT_RECV_ID_EVENT_FILENAME = 6,
    SIMCONNECT_RECV_ID_EVENT_FRAME = 7,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA = 8,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE = 9,
    SIMCONNECT_RECV_ID_WEATHER_OBSERVATION = 10,
    SIMCONNECT_RECV_ID_CLOUD_STATE = 11,
    SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID = 12,
    SIMCONNECT_RECV_ID_RESERVED_KEY = 13,
    SIMCONNECT_RECV_ID_CUSTOM_ACTION = 14,
    SIMCONNECT_RECV_ID_SYSTEM_STATE = 15,
    SIMCONNECT_RECV_ID_CLIENT_DATA = 16,
    SIMCONNECT_RECV_ID_EVENT_WEATHER_MODE = 17,
    SIMCONNECT_RECV_ID_AIRPORT_LIST = 18,
    SIMCONNECT_RECV_ID_VOR_LIST = 19,
    SIMCONNECT_RECV_ID_NDB_LIST = 20,
    SIMCONNECT_RECV_ID_WAYPOINT_LIST = 21,
    SIMCONNECT_RECV_ID_EVENT_MULTIPLAYER_SERVER_STARTED = 22,
    SIMCONNECT_RECV_ID_EVENT_MULTIPLAYER_CLIENT_STARTED = 23,
    SIMCONNECT_RECV_ID_EVENT_MULTIPLAYER_SESSION_ENDED = 24,
    SIMCONNECT_RECV_ID_EVENT_RACE_END = 25,
    SIMCONNECT_RECV_ID_EVENT_RACE_LAP = 26,
    SIMCONNECT_RECV_ID_EVENT_EX1 = 27,
};

// Types of the variables of a data definition.
enum SIMCONNECT_DATATYPE {
    SIMCONNECT_DATATYPE_INVALID = 0,
    SIMCONNECT_DATATYPE_INT32 = 1,
    SIMCONNECT_DATATYPE_INT64 = 2,
    SIMCONNECT_DATATYPE_FLOAT32 = 3,
    SIMCONNECT_DATATYPE_FLOAT64 = 4,
    SIMCONNECT_DATATYPE_STRING8 = 5,
    SIMCONNECT_DATATYPE_STRING32 = 6, // 32 bytes, zero-padded; 32 characters leave no terminator
    SIMCONNECT_DATATYPE_STRING64 = 7,
    SIMCONNECT_DATATYPE_STRING128 = 8,
    SIMCONNECT_DATATYPE_STRING256 = 9,
    SIMCONNECT_DATATYPE_STRING260 = 10,
    SIMCONNECT_DATATYPE_STRINGV = 11, // zero-terminated text of any length
};

// Exception codes (SIMCONNECT_RECV_EXCEPTION::dwException), those the program names.
enum SIMCONNECT_EXCEPTION {
    SIMCONNECT_EXCEPTION_NONE = 0,
    SIMCONNECT_EXCEPTION_ERROR = 1,
    SIMCONNECT_EXCEPTION_SIZE_MISMATCH = 2,
    SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID = 3,
    SIMCONNECT_EXCEPTION_UNOPENED = 4,
    SIMCONNECT_EXCEPTION_VERSION_MISMATCH = 5,
    SIMCONNECT_EXCEPTION_TOO_MANY_GROUPS = 6,
    SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED = 7,
    SIMCONNECT_EXCEPTION_TOO_MANY_EVENT_NAMES = 8,
    SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE = 9,
    SIMCONNECT_EXCEPTION_TOO_MANY_MAPS = 10,
    SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS = 11,
    SIMCONNECT_EXCEPTION_TOO_MANY_REQUESTS = 12,
    SIMCONNECT_EXCEPTION_INVALID_DATA_TYPE = 18,
    SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE = 19,
    SIMCONNECT_EXCEPTION_DATA_ERROR = 20,
    SIMCONNECT_EXCEPTION_INVALID_ARRAY = 21,
    SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED = 22,
    SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED = 23,
    SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE = 24,
    SIMCONNECT_EXCEPTION_ILLEGAL_OPERATION = 25,
    SIMCONNECT_EXCEPTION_ALREADY_SUBSCRIBED = 26,
    SIMCONNECT_EXCEPTION_INVALID_ENUM = 27,
    SIMCONNECT_EXCEPTION_DEFINITION_ERROR = 28,
    SIMCONNECT_EXCEPTION_DUPLICATE_ID = 29,
    SIMCONNECT_EXCEPTION_DATUM_ID = 30,
    SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS = 31,
    SIMCONNECT_EXCEPTION_ALREADY_CREATED = 32,
    SIMCONNECT_EXCEPTION_OBJECT_OUTSIDE_REALITY_BUBBLE = 33,
    SIMCONNECT_EXCEPTION_OBJECT_CONTAINER = 34,
    SIMCONNECT_EXCEPTION_OBJECT_AI = 35,
    SIMCONNECT_EXCEPTION_OBJECT_ATC = 36,
    SIMCONNECT_EXCEPTION_OBJECT_SCHEDULE = 37,
};

// Kinds of simulation objects.
enum SIMCONNECT_SIMOBJECT_TYPE {
    SIMCONNECT_SIMOBJECT_TYPE_USER = 0,
    SIMCONNECT_SIMOBJECT_TYPE_ALL = 1,
    SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT = 2,
    SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER = 3,
    SIMCONNECT_SIMOBJECT_TYPE_BOAT = 4,
    SIMCONNECT_SIMOBJECT_TYPE_GROUND = 5,
};

// How often a data request is answered.
enum SIMCONNECT_PERIOD {
    SIMCONNECT_PERIOD_NEVER = 0,
    SIMCONNECT_PERIOD_ONCE = 1,
    SIMCONNECT_PERIOD_VISUAL_FRAME = 2,
    SIMCONNECT_PERIOD_SIM_FRAME = 3,
    SIMCONNECT_PERIOD_SECOND = 4,
};

// --- records, packed to single bytes as the library lays them out ---------------------------

#pragma pack(push, 1)

// Where and how a non-ATC aircraft is created: degrees, feet, knots. 56 bytes.
struct SIMCONNECT_DATA_INITPOSITION {
    double Latitude;
    double Longitude;
    double Altitude;
    double Pitch;
    double Bank;
    double Heading;
    DWORD OnGround; // 1: placed on the ground, whatever the altitude
    DWORD Airspeed;
};

// The head of every message: its size in bytes, the protocol version and what it is.
struct SIMCONNECT_RECV {
    DWORD dwSize;
    DWORD dwVersion;
    DWORD dwID; // SIMCONNECT_RECV_ID
};

struct SIMCONNECT_RECV_EXCEPTION : public SIMCONNECT_RECV {
    DWORD dwException; // SIMCONNECT_EXCEPTION
    DWORD dwSendID;    // packet id of the call that caused it
    DWORD dwIndex;     // which argument was wrong
};

struct SIMCONNECT_RECV_OPEN : public SIMCONNECT_RECV {
    char szApplicationName[256]; // "KittyHawk" (MSFS 2020), "SunRise" (MSFS 2024)
    DWORD dwApplicationVersionMajor;
    DWORD dwApplicationVersionMinor;
    DWORD dwApplicationBuildMajor;
    DWORD dwApplicationBuildMinor;
    DWORD dwSimConnectVersionMajor;
    DWORD dwSimConnectVersionMinor;
    DWORD dwSimConnectBuildMajor;
    DWORD dwSimConnectBuildMinor;
    DWORD dwReserved1;
    DWORD dwReserved2;
};

struct SIMCONNECT_RECV_QUIT : public SIMCONNECT_RECV {};

struct SIMCONNECT_RECV_EVENT : public SIMCONNECT_RECV {
    DWORD uGroupID;
    DWORD uEventID; // the id the client subscribed or mapped
    DWORD dwData;
};

// "ObjectAdded" / "ObjectRemoved": dwData is the object id.
struct SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE : public SIMCONNECT_RECV_EVENT {
    SIMCONNECT_SIMOBJECT_TYPE eObjType;
};

// A system event that names a file (a flight loaded from a file).
struct SIMCONNECT_RECV_EVENT_FILENAME : public SIMCONNECT_RECV_EVENT {
    char szFileName[MAX_PATH];
    DWORD dwFlags;
};

struct SIMCONNECT_RECV_EVENT_FRAME : public SIMCONNECT_RECV_EVENT {
    float fFrameRate;
    float fSimSpeed;
};

// Reply to a data request: the definition's variables begin at dwData, in definition order.
struct SIMCONNECT_RECV_SIMOBJECT_DATA : public SIMCONNECT_RECV {
    DWORD dwRequestID;
    DWORD dwObjectID;
    DWORD dwDefineID;
    DWORD dwFlags;
    DWORD dwentrynumber; // 1-based, for replies about several objects
    DWORD dwoutof;
    DWORD dwDefineCount;
    DWORD dwData; // the first 4 bytes of the data block
};

// Reply to a request about all objects of a kind within a radius: one message per object.
struct SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE : public SIMCONNECT_RECV_SIMOBJECT_DATA {};

#pragma pack(pop)

typedef void(CALLBACK* DispatchProc)(SIMCONNECT_RECV* pData, DWORD cbData, void* pContext);

// --- calls -----------------------------------------------------------------------------------

extern "C" {

// Opens a connection under the client's name; fails (negative) while no simulator is there.
HRESULT __stdcall SimConnect_Open(HANDLE* phSimConnect, LPCSTR szName, HWND hWnd, DWORD UserEventWin32,
                                  HANDLE hEventHandle, DWORD ConfigIndex);
HRESULT __stdcall SimConnect_Close(HANDLE hSimConnect);
// Calls the callback once for every message that has arrived.
HRESULT __stdcall SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext);

HRESULT __stdcall SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                    const char* SystemEventName);
HRESULT __stdcall SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                                 const char* DatumName, const char* UnitsName,
                                                 SIMCONNECT_DATATYPE DatumType, float fEpsilon, DWORD DatumID);
HRESULT __stdcall SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                      const char* EventName);
HRESULT __stdcall SimConnect_AddClientEventToNotificationGroup(HANDLE hSimConnect,
                                                               SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                               SIMCONNECT_CLIENT_EVENT_ID EventID, BOOL bMaskable);
HRESULT __stdcall SimConnect_SetNotificationGroupPriority(HANDLE hSimConnect, SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                          DWORD uPriority);

HRESULT __stdcall SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                                    SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                                    SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
                                                    SIMCONNECT_DATA_REQUEST_FLAG Flags, DWORD origin, DWORD interval,
                                                    DWORD limit);
HRESULT __stdcall SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                                        SIMCONNECT_DATA_DEFINITION_ID DefineID, DWORD dwRadiusMeters,
                                                        SIMCONNECT_SIMOBJECT_TYPE type);
HRESULT __stdcall SimConnect_SetDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                                SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_DATA_SET_FLAG Flags,
                                                DWORD ArrayCount, DWORD cbUnitSize, void* pDataSet);
HRESULT __stdcall SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                                 SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                                 SIMCONNECT_NOTIFICATION_GROUP_ID GroupID, SIMCONNECT_EVENT_FLAG Flags);

// Creates a non-ATC AI aircraft of an installed title with the tail number (at most 12
// characters) as its ATC ID. The object is announced later ("ObjectAdded"); a refusal comes back
// as exception 22 naming the packet id of this call. MSFS 2024 calls this the legacy way, for
// aircraft that are not modular.
HRESULT __stdcall SimConnect_AICreateNonATCAircraft(HANDLE hSimConnect, const char* szContainerTitle,
                                                    const char* szTailNumber, SIMCONNECT_DATA_INITPOSITION InitPos,
                                                    SIMCONNECT_DATA_REQUEST_ID RequestID);
// MSFS 2024: the same for legacy and modular aircraft, with a livery name (empty: the livery
// that the title names). Older libraries do not have it.
HRESULT __stdcall SimConnect_AICreateNonATCAircraft_EX1(HANDLE hSimConnect, const char* szContainerTitle,
                                                        const char* szLivery, const char* szTailNumber,
                                                        SIMCONNECT_DATA_INITPOSITION InitPos,
                                                        SIMCONNECT_DATA_REQUEST_ID RequestID);
// The packet id of the last call sent on this connection.
HRESULT __stdcall SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwError);
HRESULT __stdcall SimConnect_AIReleaseControl(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                              SIMCONNECT_DATA_REQUEST_ID RequestID);
HRESULT __stdcall SimConnect_AIRemoveObject(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                            SIMCONNECT_DATA_REQUEST_ID RequestID);
// Assigns a flight-plan file (narrow path; its ".pln" may be left off); a file the simulator
// cannot load comes back as exception 23.
HRESULT __stdcall SimConnect_AISetAircraftFlightPlan(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                                     const char* szFlightPlanPath,
                                                     SIMCONNECT_DATA_REQUEST_ID RequestID);

} // extern "C"
