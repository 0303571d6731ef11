#include "foundation/win_text.h"

#include "foundation/errors.h"
#include "foundation/log.h"

#include <climits>
#include <cstdlib>
#include <stdexcept>

#include <windows.h>
#include <shlobj.h>

namespace qtr {

namespace {
constexpr DWORD invalidSequence = 1113; // ERROR_NO_UNICODE_TRANSLATION

[[noreturn]] void throwConversion(DWORD error, std::uint32_t direction, const char* invalidText, const char* otherText)
{
    throw win32::Utf8ConversionException(error == invalidSequence ? invalidText : otherText, error, direction);
}
} // namespace

std::wstring utf8ToUtf16(std::string_view utf8)
{
    if (utf8.empty()) return {};
    if (utf8.size() > static_cast<std::size_t>(INT_MAX))
        throw std::overflow_error("Input string too long: size_t-length doesn't fit into int.");
    const int inLength = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, nullptr, 0);
    if (length == 0)
        throwConversion(
            GetLastError(), win32::Utf8ConversionException::fromUtf8, "Invalid UTF-8 sequence found in input string.",
            "Cannot get result string length when converting from UTF-8 to UTF-16 (MultiByteToWideChar failed).");
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, out.data(), length) == 0)
        throwConversion(GetLastError(), win32::Utf8ConversionException::fromUtf8,
                        "Invalid UTF-8 sequence found in input string.",
                        "Cannot convert from UTF-8 to UTF-16 (MultiByteToWideChar failed).");
    return out;
}

std::string utf16ToUtf8(std::wstring_view utf16)
{
    if (utf16.empty()) return {};
    if (utf16.size() > static_cast<std::size_t>(INT_MAX))
        throw std::overflow_error("Input string too long: size_t-length doesn't fit into int.");
    const int inLength = static_cast<int>(utf16.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), inLength, nullptr, 0, nullptr, nullptr);
    if (length == 0)
        throwConversion(
            GetLastError(), win32::Utf8ConversionException::fromUtf16, "Invalid UTF-16 sequence found in input string.",
            "Cannot get result string length when converting from UTF-16 to UTF-8 (WideCharToMultiByte failed).");
    std::string out(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), inLength, out.data(), length, nullptr,
                            nullptr) == 0)
        throwConversion(GetLastError(), win32::Utf8ConversionException::fromUtf16,
                        "Invalid UTF-16 sequence found in input string.",
                        "Cannot convert from UTF-16 to UTF-8 (WideCharToMultiByte failed).");
    return out;
}

std::filesystem::path pathFromUtf8(std::string_view utf8) { return std::filesystem::path(utf8ToUtf16(utf8)); }

std::string pathToUtf8(const std::filesystem::path& path) { return utf16ToUtf8(path.native()); }

namespace {

// The text in the system's code page; empty when a character does not fit it.
std::string inCodePage(const std::wstring& wide)
{
    if (wide.empty()) return {};
    BOOL lossy = FALSE;
    const int n =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy) return {};
    std::string narrow(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), n, nullptr, nullptr);
    return narrow;
}

} // namespace

std::string pathInCodePage(const std::filesystem::path& path)
{
    const std::wstring wide = path.wstring();
    if (std::string narrow = inCodePage(wide); !narrow.empty() || wide.empty()) return narrow;
    // A name in another script (a user profile named in Cyrillic on a Western system): the
    // short form of the same path names the same file in plain ASCII where the volume keeps
    // short names.
    const DWORD needed = GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (needed == 0) return {};
    std::wstring shortPath(needed, L'\0');
    const DWORD written = GetShortPathNameW(wide.c_str(), shortPath.data(), needed);
    if (written == 0 || written >= needed) return {};
    shortPath.resize(written);
    return inCodePage(shortPath);
}

static std::optional<std::filesystem::path> redirectedFolder(int csidl)
{
    const wchar_t* root = _wgetenv(L"QUILLMARSH_APPDATA_ROOT");
    if (root == nullptr || *root == L'\0') return std::nullopt;
    if (csidl == CSIDL_APPDATA) return std::filesystem::path(root) / L"Roaming";
    if (csidl == CSIDL_LOCAL_APPDATA) return std::filesystem::path(root) / L"Local";
    return std::nullopt;
}

std::optional<std::filesystem::path> getKnownFolder(int csidl)
{
    if (auto redirected = redirectedFolder(csidl)) return redirected;
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return std::nullopt;
    return pathFromUtf8(utf16ToUtf8(buffer));
}

std::filesystem::path knownFolderOrLogged(int csidl, std::string_view missingText)
{
    if (auto folder = getKnownFolder(csidl)) return *folder;
    logMarked(missingText);
    return {};
}

std::filesystem::path getAppDataPath() { return knownFolderOrLogged(CSIDL_APPDATA, "Could not find the AppData path"); }

std::filesystem::path getLocalAppDataPath()
{
    return knownFolderOrLogged(CSIDL_LOCAL_APPDATA, "Could not find the a Local Appdata path");
}

} // namespace qtr
