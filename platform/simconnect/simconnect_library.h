#pragma once
// The simulator's client library, loaded at run time: "SimConnect.dll" from the program's own
// folder, its functions looked up by name into one table. A PC without the library (or with one
// that lacks a function the program needs) still runs the program, which reports the problem and
// waits as for an absent simulator.
//
// Ownership: the table is filled once, under its own mutex, by the first successful load and is
// then read by any thread without a lock; the library stays loaded for the rest of the process.
#include "platform/simconnect/simconnect.h"

#include <filesystem>
#include <string>

namespace qtr {

// MSFS 2024 only: older libraries lack it, so the table does not take its type from a
// declaration that an older SDK header would not have.
using AICreateNonATCAircraftEx1Function = HRESULT(__stdcall*)(HANDLE, const char*, const char*, const char*,
                                                              SIMCONNECT_DATA_INITPOSITION, SIMCONNECT_DATA_REQUEST_ID);

struct SimConnectFunctions {
    decltype(&SimConnect_Open) Open = nullptr;
    decltype(&SimConnect_Close) Close = nullptr;
    decltype(&SimConnect_CallDispatch) CallDispatch = nullptr;
    decltype(&SimConnect_SubscribeToSystemEvent) SubscribeToSystemEvent = nullptr;
    decltype(&SimConnect_AddToDataDefinition) AddToDataDefinition = nullptr;
    decltype(&SimConnect_MapClientEventToSimEvent) MapClientEventToSimEvent = nullptr;
    decltype(&SimConnect_AddClientEventToNotificationGroup) AddClientEventToNotificationGroup = nullptr;
    decltype(&SimConnect_SetNotificationGroupPriority) SetNotificationGroupPriority = nullptr;
    decltype(&SimConnect_RequestDataOnSimObject) RequestDataOnSimObject = nullptr;
    decltype(&SimConnect_RequestDataOnSimObjectType) RequestDataOnSimObjectType = nullptr;
    decltype(&SimConnect_SetDataOnSimObject) SetDataOnSimObject = nullptr;
    decltype(&SimConnect_TransmitClientEvent) TransmitClientEvent = nullptr;
    decltype(&SimConnect_AICreateNonATCAircraft) AICreateNonATCAircraft = nullptr;
    decltype(&SimConnect_GetLastSentPacketID) GetLastSentPacketID = nullptr;
    decltype(&SimConnect_AIReleaseControl) AIReleaseControl = nullptr;
    decltype(&SimConnect_AIRemoveObject) AIRemoveObject = nullptr;
    decltype(&SimConnect_AISetAircraftFlightPlan) AISetAircraftFlightPlan = nullptr;
    // Optional: null when the library does not export it.
    AICreateNonATCAircraftEx1Function AICreateNonATCAircraft_EX1 = nullptr;
};

// The outcome of a load: the table, or null with the reason in words.
struct SimConnectLoad {
    const SimConnectFunctions* functions = nullptr;
    std::string problem;
};

inline constexpr const wchar_t* simConnectLibraryName = L"SimConnect.dll";

// The table once a load succeeded; otherwise tries to load the library from the folder of the
// running executable (again at every call until one succeeds, so a library put there while the
// program waits is found). Never shows a loader dialog.
SimConnectLoad gf_loadSimConnect();
// Loads from the given folder instead (tests); the first success is kept for the process.
SimConnectLoad gf_loadSimConnectFrom(const std::filesystem::path& folder);
// The loader's own step: loads the library of that folder into the caller's table and keeps
// nothing; the problem in words, or empty on success (the library then stays loaded).
std::string gf_loadSimConnectInto(const std::filesystem::path& folder, SimConnectFunctions& table);
// The table, or null before a successful load.
const SimConnectFunctions* simConnectFunctions();
// The folder of the running executable.
std::filesystem::path executableFolder();

} // namespace qtr
