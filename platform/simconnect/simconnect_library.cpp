#include "platform/simconnect/simconnect_library.h"

#include <atomic>
#include <cctype>
#include <mutex>
#include <string_view>
#include <system_error>

namespace qtr {

namespace {

std::mutex loadMutex;            // guards loadedTable while it is filled
SimConnectFunctions loadedTable; // written once, before `loaded` is set
std::atomic<const SimConnectFunctions*> loaded{nullptr};

std::string narrow(const std::filesystem::path& path)
{
    const std::wstring wide = path.wstring();
    if (wide.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr, nullptr);
    return text;
}

// The system's own text of a Windows error, without its closing full stop; empty when the system
// has none (the C library's text would only say "Unknown error").
std::string windowsErrorText(DWORD error)
{
    wchar_t* buffer = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = n > 0 && buffer ? narrow(std::filesystem::path(std::wstring(buffer, n))) : std::string();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (std::isspace(static_cast<unsigned char>(text.back())) || text.back() == '.'))
        text.pop_back();
    return text;
}

// Looks a function up by its unmangled name; false when the library lacks it.
template <class Function>
bool lookUp(HMODULE module, const char* name, Function& slot)
{
    FARPROC address = GetProcAddress(module, name);
    if (!address) return false;
    slot = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
    return true;
}

// Fills the table; the name of the first missing function, or empty when all are there.
std::string fillTable(HMODULE module, SimConnectFunctions& t)
{
    struct Entry {
        const char* name;
        bool found;
    };
// Each slot of the table is named after its function without the "SimConnect_" prefix.
#define QM_LOOK_UP(slot)                                                                                               \
    Entry { "SimConnect_" #slot, lookUp(module, "SimConnect_" #slot, t.slot) }
    const Entry entries[] = {
        QM_LOOK_UP(Open),
        QM_LOOK_UP(Close),
        QM_LOOK_UP(CallDispatch),
        QM_LOOK_UP(SubscribeToSystemEvent),
        QM_LOOK_UP(AddToDataDefinition),
        QM_LOOK_UP(MapClientEventToSimEvent),
        QM_LOOK_UP(AddClientEventToNotificationGroup),
        QM_LOOK_UP(SetNotificationGroupPriority),
        QM_LOOK_UP(RequestDataOnSimObject),
        QM_LOOK_UP(RequestDataOnSimObjectType),
        QM_LOOK_UP(SetDataOnSimObject),
        QM_LOOK_UP(TransmitClientEvent),
        QM_LOOK_UP(AICreateNonATCAircraft),
        QM_LOOK_UP(GetLastSentPacketID),
        QM_LOOK_UP(AIReleaseControl),
        QM_LOOK_UP(AIRemoveObject),
        QM_LOOK_UP(AISetAircraftFlightPlan),
    };
#undef QM_LOOK_UP
    lookUp(module, "SimConnect_AICreateNonATCAircraft_EX1", t.AICreateNonATCAircraft_EX1);
    for (const Entry& e : entries)
        if (!e.found) return e.name;
    return {};
}

} // namespace

std::filesystem::path executableFolder()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    return std::filesystem::path(buffer).parent_path();
}

const SimConnectFunctions* simConnectFunctions() { return loaded.load(); }

SimConnectLoad gf_loadSimConnect() { return gf_loadSimConnectFrom(executableFolder()); }

std::string gf_loadSimConnectInto(const std::filesystem::path& folder, SimConnectFunctions& table)
{
    const std::filesystem::path path = folder / simConnectLibraryName;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return "SimConnect.dll not found in " + narrow(folder);
    // No error box for a library that cannot be loaded: the program reports it itself. The
    // library's own dependencies are looked for in its folder first.
    DWORD previousMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    const DWORD error = module ? 0 : GetLastError();
    SetThreadErrorMode(previousMode, nullptr);
    if (!module) {
        // Most often a damaged download or a library of another system: the user must replace
        // the file, which the error number alone would not tell.
        const std::string reason = windowsErrorText(error);
        return "SimConnect.dll in " + narrow(folder) +
               " is not a usable SimConnect.dll: it cannot be loaded (Windows error " + std::to_string(error) +
               (reason.empty() ? "" : ": " + reason) + ")";
    }
    const std::string missing = fillTable(module, table);
    if (missing.empty()) return {};
    FreeLibrary(module);
    return "SimConnect.dll in " + narrow(folder) + " lacks " + missing;
}

SimConnectLoad gf_loadSimConnectFrom(const std::filesystem::path& folder)
{
    if (const SimConnectFunctions* table = loaded.load()) return {table, {}};
    std::lock_guard lock(loadMutex);
    if (const SimConnectFunctions* table = loaded.load()) return {table, {}};
    SimConnectFunctions table;
    const std::string problem = gf_loadSimConnectInto(folder, table);
    if (!problem.empty()) return {nullptr, problem};
    loadedTable = table;
    loaded.store(&loadedTable);
    return {&loadedTable, {}};
}

} // namespace qtr
