#include "foundation/errors.h"
#include "foundation/win_text.h"
#include "log_capture.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <shlobj.h>
#endif

using namespace qtr;

TEST(UserError, CodeIsFoldedIntoTheTextExceptForCode99)
{
    EXPECT_STREQ(UserErrorException(41, "x").what(), "41: x");
    EXPECT_STREQ(UserErrorException(5, "").what(), "5: ");
    EXPECT_STREQ(UserErrorException(99, "x").what(), "x");
    // Caught as the standard errors too.
    try {
        throw UserErrorException(150, "y");
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "150: y");
    }
}

TEST(Utf8Conversion, RoundTripsBothWays)
{
    const struct {
        const char* utf8;
        const wchar_t* utf16;
    } cases[] = {
        {"", L""},
        {"EHAM", L"EHAM"},
        {"Z\xC3\xBCrich", L"Z\u00FCrich"},                   // two-byte sequence
        {"\xE2\x82\xAC 5", L"\u20AC 5"},                     // three-byte sequence
        {"\xF0\x9F\x9B\xAB", L"\xD83D\xDEEB"},               // four bytes <-> surrogate pair
        {"C:\\Users\\J\xC3\xB8rn", L"C:\\Users\\J\u00F8rn"}, // a user name that is not ASCII
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8ToUtf16(c.utf8), std::wstring(c.utf16)) << c.utf8;
        EXPECT_EQ(utf16ToUtf8(c.utf16), std::string(c.utf8)) << c.utf8;
    }
    EXPECT_EQ(pathToUtf8(pathFromUtf8("J\xC3\xB8rn/a.xml")), "J\xC3\xB8rn/a.xml");
#ifdef _WIN32
    EXPECT_EQ(pathFromUtf8("J\xC3\xB8rn").native(), L"J\u00F8rn");
#else
    EXPECT_EQ(pathFromUtf8("J\xC3\xB8rn").native(), "J\xC3\xB8rn"); // paths are UTF-8 already
#endif
}

TEST(Utf8Conversion, InvalidUtf8FailsWithError1113)
{
    const std::string cases[] = {
        "\xC3",             // sequence cut at the end
        "ab\xE2\x82",       // three-byte sequence cut at the end
        "\x80",             // lone continuation byte
        "\xFF",             // never valid
        "\xC0\xAF",         // overlong encoding of '/'
        "\xED\xA0\x80",     // encoded surrogate
        "\xF4\x90\x80\x80", // above U+10FFFF
        "a\xC3(b",          // lead byte followed by a non-continuation
    };
    for (const std::string& text : cases) {
        try {
            utf8ToUtf16(text);
            ADD_FAILURE() << "accepted " << ::testing::PrintToString(text);
        } catch (const win32::Utf8ConversionException& e) {
            EXPECT_EQ(e.errorCode(), 1113u);
            EXPECT_EQ(e.direction(), 0u);
            EXPECT_STREQ(e.what(), "Invalid UTF-8 sequence found in input string.");
        }
    }
}

TEST(Utf8Conversion, InvalidUtf16FailsWithError1113)
{
    const std::wstring cases[] = {
        std::wstring(1, wchar_t(0xD800)),               // lone high surrogate
        std::wstring(1, wchar_t(0xDC00)),               // lone low surrogate
        std::wstring{L'a', wchar_t(0xD83D), L'b'},      // high surrogate followed by a letter
        std::wstring{wchar_t(0xDEEB), wchar_t(0xD83D)}, // pair in the wrong order
    };
    for (const std::wstring& text : cases) {
        try {
            utf16ToUtf8(text);
            ADD_FAILURE() << "accepted a text of " << text.size() << " units";
        } catch (const win32::Utf8ConversionException& e) {
            EXPECT_EQ(e.errorCode(), 1113u);
            EXPECT_EQ(e.direction(), 1u);
            EXPECT_STREQ(e.what(), "Invalid UTF-16 sequence found in input string.");
        }
    }
}

TEST(KnownFolders, ResolvedFolderAndUnresolvableFolder)
{
    // Tests redirect the application-data folders; the roaming one is below the redirect root.
    EXPECT_EQ(getAppDataPath().filename(), "Roaming");
    EXPECT_EQ(getLocalAppDataPath().filename(), "Local");
#ifdef _WIN32
    // Only Windows has a shell to ask for the folders that are not redirected.
    const auto windows = getKnownFolder(CSIDL_WINDOWS);
    ASSERT_TRUE(windows.has_value());
    EXPECT_FALSE(windows->empty());
#endif

    constexpr int unknownCsidl = 0x7F; // no shell folder has this number
    EXPECT_FALSE(getKnownFolder(unknownCsidl).has_value());
    qtest::LogCapture log("known-folder");
    EXPECT_TRUE(knownFolderOrLogged(unknownCsidl, "Could not find the AppData path").empty());
    EXPECT_EQ(log.lines(), std::vector<std::string>{"===> Could not find the AppData path"});
}

#ifdef _WIN32
// Flight plans live below the user's profile, whose name may be in a script outside the system's
// code page: the narrow path that the simulator's ANSI calls get must still name the same file.
// (Only Windows has code pages; elsewhere paths are UTF-8 as they stand.)
TEST(CodePagePaths, APathOutsideTheCodePageGivesItsShortForm)
{
    const std::filesystem::path folder =
        qtest::freshFolder("code-page") / L"\u0414\u043c\u0438\u0442\u0440\u0438\u0439 \u03a9";
    std::filesystem::create_directories(folder);
    const auto file = folder / "123.pln";
    qtest::writeFile(file, "plan");
    BOOL lossy = FALSE;
    const std::wstring wide = file.wstring();
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, &lossy);
    ASSERT_TRUE(lossy) << "the system code page holds the name, so it shows nothing here";

    const std::string narrow = pathInCodePage(file);
    ASSERT_FALSE(narrow.empty());
    HANDLE handle = CreateFileA(narrow.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << narrow;
    char bytes[8] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(handle, bytes, sizeof bytes, &read, nullptr));
    CloseHandle(handle);
    EXPECT_EQ(std::string(bytes, read), "plan");

    EXPECT_EQ(pathInCodePage(L"C:\\plain\\1.pln"), "C:\\plain\\1.pln"); // as it stands
    EXPECT_EQ(pathInCodePage(folder / "missing.pln"), "");              // no file, no short form
}
#endif
