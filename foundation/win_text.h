#pragma once
// UTF-8 <-> UTF-16 conversion at the Windows boundary, and the user's known folders.
// All text inside the program is UTF-8; UTF-16 exists only at Windows calls.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qtr {

std::wstring utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::wstring_view utf16);

// A path from UTF-8 text, always through UTF-16 (never the ANSI code page).
std::filesystem::path pathFromUtf8(std::string_view utf8);
// The UTF-8 text of a path.
std::string pathToUtf8(const std::filesystem::path& path);
// The path as narrow text in the system's code page (what the simulator's ANSI calls take). A
// path that does not fit the code page gives its short form when that fits (the file must
// exist); empty when neither does.
std::string pathInCodePage(const std::filesystem::path& path);

// SHGetFolderPathW for a CSIDL; empty when the shell cannot resolve it.
std::optional<std::filesystem::path> getKnownFolder(int csidl);
// The folder of a CSIDL; when the shell cannot resolve it, an empty path and one marked log
// line with missingText.
std::filesystem::path knownFolderOrLogged(int csidl, std::string_view missingText);
// Roaming (CSIDL 26) and local (CSIDL 28) application-data folders, or an empty path (logged).
std::filesystem::path getAppDataPath();
std::filesystem::path getLocalAppDataPath();

// Tests and scripted runs redirect both application-data folders below one root
// (root/Roaming and root/Local) with the environment variable QUILLMARSH_APPDATA_ROOT,
// so that no run touches the user's real folders.
inline constexpr const char* appDataRootVariable = "QUILLMARSH_APPDATA_ROOT";

} // namespace qtr
