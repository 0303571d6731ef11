#pragma once
// The open SimConnect connection as every call reaches it: the handle and the library's
// functions. The SimConnect thread sets the handle after a successful open and closes and clears
// it under simConnectMutex, so a call made under that mutex never reaches a closed connection.
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

} // namespace qtr
