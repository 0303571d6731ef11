// The text conversions and known folders where the Windows calls do not exist. Wide strings
// hold UTF-16 code units here too (surrogate pairs included), so that the readers of UTF-16
// files behave the same on every system; paths are UTF-8 already.
#include "foundation/win_text.h"

#include "foundation/errors.h"
#include "foundation/log.h"

#include <cstdint>
#include <cstdlib>

namespace qtr {

namespace {
// The error numbers the Windows conversions report, so that messages and codes agree.
constexpr std::uint32_t invalidSequence = 1113; // ERROR_NO_UNICODE_TRANSLATION
constexpr int appDataCsidl = 26;                // CSIDL_APPDATA
constexpr int localAppDataCsidl = 28;           // CSIDL_LOCAL_APPDATA

[[noreturn]] void throwInvalid(std::uint32_t direction, const char* text)
{
    throw win32::Utf8ConversionException(text, invalidSequence, direction);
}

[[noreturn]] void throwInvalidUtf8()
{
    throwInvalid(win32::Utf8ConversionException::fromUtf8, "Invalid UTF-8 sequence found in input string.");
}

// The code point starting at utf8[pos]; pos moves past it. Overlong forms, surrogates and
// values beyond U+10FFFF are invalid, as for the Windows conversion.
char32_t decodeUtf8(std::string_view utf8, std::size_t& pos)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int extra = 0;
    char32_t point = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        point = lead & 0x1F;
        least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        point = lead & 0x0F;
        least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        point = lead & 0x07;
        least = 0x10000;
    } else
        throwInvalidUtf8();
    if (utf8.size() - pos <= static_cast<std::size_t>(extra)) throwInvalidUtf8();
    for (int i = 1; i <= extra; ++i) {
        const unsigned char next = byte(pos + static_cast<std::size_t>(i));
        if ((next & 0xC0) != 0x80) throwInvalidUtf8();
        point = (point << 6) | (next & 0x3F);
    }
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) throwInvalidUtf8();
    pos += static_cast<std::size_t>(extra) + 1;
    return point;
}

void appendUtf8(std::string& out, char32_t point)
{
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (point >> 18));
        out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
} // namespace

std::wstring utf8ToUtf16(std::string_view utf8)
{
    std::wstring out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t point = decodeUtf8(utf8, pos);
        if (point < 0x10000) {
            out += static_cast<wchar_t>(point);
        } else {
            out += static_cast<wchar_t>(0xD800 + ((point - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        }
    }
    return out;
}

std::string utf16ToUtf8(std::wstring_view utf16)
{
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const auto unit = static_cast<char32_t>(utf16[i]);
        char32_t point = unit;
        if (isHighSurrogate(unit)) {
            if (i + 1 >= utf16.size() || !isLowSurrogate(static_cast<char32_t>(utf16[i + 1])))
                throwInvalid(win32::Utf8ConversionException::fromUtf16,
                             "Invalid UTF-16 sequence found in input string.");
            point = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(utf16[++i]) - 0xDC00);
        } else if (isLowSurrogate(unit) || unit > 0x10FFFF) {
            throwInvalid(win32::Utf8ConversionException::fromUtf16, "Invalid UTF-16 sequence found in input string.");
        }
        appendUtf8(out, point);
    }
    return out;
}

std::filesystem::path pathFromUtf8(std::string_view utf8) { return std::filesystem::path(std::string(utf8)); }

std::string pathToUtf8(const std::filesystem::path& path) { return path.native(); }

// Paths are UTF-8 here, the only code page there is.
std::string pathInCodePage(const std::filesystem::path& path) { return path.native(); }

// Only the redirection exists here: there is no shell to ask for the user's folders.
std::optional<std::filesystem::path> getKnownFolder(int csidl)
{
    const char* root = std::getenv(appDataRootVariable);
    if (root == nullptr || *root == '\0') return std::nullopt;
    if (csidl == appDataCsidl) return std::filesystem::path(root) / "Roaming";
    if (csidl == localAppDataCsidl) return std::filesystem::path(root) / "Local";
    return std::nullopt;
}

std::filesystem::path knownFolderOrLogged(int csidl, std::string_view missingText)
{
    if (auto folder = getKnownFolder(csidl)) return *folder;
    logMarked(missingText);
    return {};
}

std::filesystem::path getAppDataPath() { return knownFolderOrLogged(appDataCsidl, "Could not find the AppData path"); }

std::filesystem::path getLocalAppDataPath()
{
    return knownFolderOrLogged(localAppDataCsidl, "Could not find the a Local Appdata path");
}

} // namespace qtr
