#pragma once
// The open SimConnect connection as every call reaches it: the handle and the library's
// functions. The SimConnect thread sets the handle after a successful open and closes and clears
// it under simConnectMutex, so a call made under that mutex never reaches a closed connection.
// The one header of the links whose purpose is the Windows library itself: only their .cpp
// files include it.
#include "platform/simconnect/simconnect_library.h"

#include <optional>

namespace qtr {

struct OpenConnection {
    HANDLE handle;
    const SimConnectFunctions& sc;
};

// The open connection, or nothing before the open and after the close. Callers other than the
// SimConnect thread's own dispatch hold simConnectMutex while they use it.
std::optional<OpenConnection> openConnection();

// The dispatch callback handed to SimConnect_CallDispatch. It never lets an exception out into
// the library: the first one of a dispatch is kept for the thread (takeDispatchError) and the
// rest of the messages are then ignored.
void CALLBACK lf_dispatch(SIMCONNECT_RECV* message, DWORD size, void* context);

} // namespace qtr
