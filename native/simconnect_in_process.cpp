// The native test build has no SimConnect.dll to load: the stand-in simulator is linked into the
// test executables, and the one function table points straight at its SimConnect_* functions.
// The Windows build loads the library at run time instead (platform/simconnect/simconnect_library.cpp).
#include "platform/simconnect/simconnect_library.h"

#include <atomic>
#include <mutex>

// The stand-in's MSFS 2024 call, which the SDK header of older simulators does not declare.
extern "C" HRESULT __stdcall SimConnect_AICreateNonATCAircraft_EX1(HANDLE, const char*, const char*, const char*,
                                                                   SIMCONNECT_DATA_INITPOSITION,
                                                                   SIMCONNECT_DATA_REQUEST_ID);

namespace qtr {

namespace {

SimConnectFunctions inProcessTable()
{
    SimConnectFunctions t;
    t.Open = &SimConnect_Open;
    t.Close = &SimConnect_Close;
    t.CallDispatch = &SimConnect_CallDispatch;
    t.SubscribeToSystemEvent = &SimConnect_SubscribeToSystemEvent;
    t.AddToDataDefinition = &SimConnect_AddToDataDefinition;
    t.MapClientEventToSimEvent = &SimConnect_MapClientEventToSimEvent;
    t.AddClientEventToNotificationGroup = &SimConnect_AddClientEventToNotificationGroup;
    t.SetNotificationGroupPriority = &SimConnect_SetNotificationGroupPriority;
    t.RequestDataOnSimObject = &SimConnect_RequestDataOnSimObject;
    t.RequestDataOnSimObjectType = &SimConnect_RequestDataOnSimObjectType;
    t.SetDataOnSimObject = &SimConnect_SetDataOnSimObject;
    t.TransmitClientEvent = &SimConnect_TransmitClientEvent;
    t.AICreateNonATCAircraft = &SimConnect_AICreateNonATCAircraft;
    t.GetLastSentPacketID = &SimConnect_GetLastSentPacketID;
    t.AIReleaseControl = &SimConnect_AIReleaseControl;
    t.AIRemoveObject = &SimConnect_AIRemoveObject;
    t.AISetAircraftFlightPlan = &SimConnect_AISetAircraftFlightPlan;
    t.AICreateNonATCAircraft_EX1 = &SimConnect_AICreateNonATCAircraft_EX1;
    return t;
}

const SimConnectFunctions table = inProcessTable(); // constant after static initialisation

} // namespace

std::filesystem::path executableFolder() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }

const SimConnectFunctions* simConnectFunctions() { return &table; }

SimConnectLoad gf_loadSimConnect() { return {&table, {}}; }

SimConnectLoad gf_loadSimConnectFrom(const std::filesystem::path&) { return {&table, {}}; }

std::string gf_loadSimConnectInto(const std::filesystem::path&, SimConnectFunctions& into)
{
    into = table;
    return {};
}

} // namespace qtr
