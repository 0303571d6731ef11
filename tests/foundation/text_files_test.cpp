#include "foundation/indicators.h"
#include "foundation/errors.h"
#include "foundation/text_files.h"
#include "foundation/win_text.h"
#include "log_capture.h"
#include "support/test_support.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>

using namespace qtr;
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

const std::string realData = QM_SOURCE_DIR "/../shared/realdata/";

// UTF-16 bytes of a UTF-8 text, with a byte-order mark.
std::string utf16Bytes(const std::string& utf8, bool littleEndian)
{
    std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (wchar_t unit : utf8ToUtf16(utf8)) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += littleEndian ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
}

std::string withCrLf(const std::string& text)
{
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

Lines readAll(const fs::path& path, TextEncoding& encoding)
{
    encoding = gf_detectEncoding(path);
    Lines lines;
    EXPECT_TRUE(gf_readTextFile(encoding, path, lines)) << path;
    return lines;
}

} // namespace

TEST(TextFiles, EachEncodingReadsIntoUtf8Lines)
{
    // Umlaut, euro sign and an airplane outside the BMP (a surrogate pair in UTF-16).
    const std::string text = "Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x9B\xAB\n[fltsim.0]\n\nlast";
    const Lines plain{"Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x9B\xAB", "[fltsim.0]", "", "last"};
    Lines withCr = plain;
    for (std::size_t i = 0; i + 1 < withCr.size(); ++i) withCr[i] += '\r';

    const struct {
        const char* name;
        std::string bytes;
        TextEncoding encoding;
        Lines lines;
    } cases[] = {
        {"utf16le-crlf", utf16Bytes(withCrLf(text), true), utf16LittleEndian, withCr}, // the callers trim the CR
        {"utf16be-crlf", utf16Bytes(withCrLf(text), false), utf16BigEndian, withCr},
        {"utf16le-lf", utf16Bytes(text, true), utf16LittleEndian, plain},
        {"utf16be-lf-end", utf16Bytes(text + "\n", false), utf16BigEndian, plain},
        {"utf8bom-crlf", "\xEF\xBB\xBF" + withCrLf(text), utf8WithByteOrderMark, plain},
        {"utf8bom-lf", "\xEF\xBB\xBF" + text, utf8WithByteOrderMark, plain},
        {"utf8-crlf", withCrLf(text) + "\r\n", noByteOrderMark, plain},
        {"utf8-lf", text, noByteOrderMark, plain},
        {"empty", "", noByteOrderMark, {}},
        {"one-byte", "x", noByteOrderMark, {"x"}},
        {"utf16-mark-only", "\xFF\xFE", utf16LittleEndian, {}},
        {"ctrl-z", "a\x1A b\nc", noByteOrderMark, {"a\x1A b", "c"}}, // not an end of file
        {"ef-bb-no-mark", "\xEF\xBB\x80x\ny", utf8WithByteOrderMark, {"\xEF\xBB\x80x", "y"}},
    };
    const fs::path folder = qtest::freshFolder("encodings");
    for (const auto& c : cases) {
        const fs::path path = folder / c.name;
        qtest::writeFile(path, c.bytes);
        TextEncoding encoding{};
        EXPECT_EQ(readAll(path, encoding), c.lines) << c.name;
        EXPECT_EQ(encoding, c.encoding) << c.name;
    }

    // The mark is dropped from the file's first line, also when the list already holds lines.
    Lines lines{"kept"};
    EXPECT_TRUE(gf_readTextFile(utf8WithByteOrderMark, folder / "utf8bom-lf", lines));
    EXPECT_EQ(lines.front(), "kept");
    EXPECT_EQ(lines[1], plain[0]);
}

TEST(TextFiles, MissingFileAndInvalidUtf16)
{
    const fs::path folder = qtest::freshFolder("unreadable");
    const fs::path missing = folder / "missing.cfg";
    {
        qtest::LogCapture log("missing-file");
        EXPECT_EQ(gf_detectEncoding(missing), cannotOpenFile);
        EXPECT_EQ(log.lines(), Lines{"cannot open file " + pathToUtf8(missing) + " for character encoding, err: 2"});
    }
    Lines lines;
    EXPECT_FALSE(gf_readTextFile(cannotOpenFile, missing, lines));
    EXPECT_FALSE(gf_readTextFile(utf16LittleEndian, missing, lines));
    EXPECT_FALSE(gf_readTextFile(utf8WithByteOrderMark, missing, lines));
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(gf_readLines(missing).has_value());

    const struct {
        const char* name;
        std::string bytes;
        const char* status;
    } broken[] = {
        {"lone-surrogate",
         std::string("\xFF\xFE"
                     "a\0\n\0\x00\xD8\n\0",
                     10),
         "conversion from error from utf16 to utf8, code: 1113"},
        {"odd-length", std::string("\xFE\xFF\0a\0", 5),
         "conversion from error from utf16 to utf8: odd number of bytes in UTF-16 text"},
    };
    for (const auto& c : broken) {
        const fs::path path = folder / c.name;
        qtest::writeFile(path, c.bytes);
        qtest::LogCapture log(c.name);
        Lines read;
        EXPECT_FALSE(gf_readTextFile(gf_detectEncoding(path), path, read)) << c.name;
        const Lines logged = log.lines();
        EXPECT_NE(std::find(logged.begin(), logged.end(), c.status), logged.end()) << c.name;
        clearStatus();
    }
}

TEST(TextFiles, RealSamplesInEveryEncoding)
{
    for (const char* name : {"pln/IFR_EGLC_to_LFPB_bom.pln", "pln/PlanG_LEJR_VFR_test.pln"}) {
        TextEncoding encoding{};
        const Lines lines = readAll(realData + name, encoding);
        ASSERT_FALSE(lines.empty()) << name;
        EXPECT_TRUE(lines.front().starts_with("<?xml")) << name;
    }
    // An aircraft.cfg saved as UTF-16 in either byte order reads as the 8-bit file does.
    const fs::path cfg = realData + "aircraft_cfg/airliner_FSLTL_A20N_master_28_fltsim_aircraft.cfg";
    TextEncoding encoding{};
    const Lines original = readAll(cfg, encoding);
    ASSERT_EQ(encoding, noByteOrderMark);
    ASSERT_GT(original.size(), 100u);
    EXPECT_EQ(original.front(), "[VERSION]");
    const std::string bytes = qtest::readFile(cfg);
    const fs::path folder = qtest::freshFolder("utf16-cfg");
    for (bool littleEndian : {true, false}) {
        const fs::path path = folder / (littleEndian ? "le.cfg" : "be.cfg");
        qtest::writeFile(path, utf16Bytes(bytes, littleEndian));
        Lines lines = readAll(path, encoding);
        EXPECT_EQ(encoding, littleEndian ? utf16LittleEndian : utf16BigEndian);
        for (std::string& line : lines)
            if (line.ends_with('\r')) line.pop_back();
        EXPECT_EQ(lines, original);
    }
}

TEST(TextFiles, LinesFromStreams)
{
    std::istringstream in("a\r\nb\n\nc");
    std::list<std::string> list;
    readLines(in, list);
    EXPECT_EQ(list, (std::list<std::string>{"a", "b", "", "c"}));
    EXPECT_TRUE(in.good()); // the error state is cleared for the caller

    const fs::path folder = qtest::freshFolder("read-lines");
    qtest::writeFile(folder / "empty.txt", "");
    EXPECT_FALSE(gf_readLines(folder / "empty.txt").has_value());
    qtest::writeFile(folder / "two.txt", "1.2.3\r\nx");
    EXPECT_EQ(gf_readLines(folder / "two.txt", 8), (Lines{"1.2.3", "x"}));
}

TEST(TextFiles, WritersTruncateOrAppend)
{
    const fs::path folder = qtest::freshFolder("writers");
    const fs::path path = folder / "out.txt";
    ASSERT_TRUE(gf_writeToFile("a much longer first text", path, true));
    ASSERT_TRUE(gf_writeToFile("new", path, false));
    EXPECT_EQ(qtest::readFile(path), "new");
    ASSERT_TRUE(gf_writeToFile("line\nnext", path, true));
    EXPECT_EQ(qtest::readFile(path), "line\nnext\r\n"); // the text as it stands

    ASSERT_TRUE(gf_appendToFile("<a/>\r\n", folder / "zip.txt", false)); // created when missing
    ASSERT_TRUE(gf_appendToFile("<b/>", folder / "zip.txt", true));
    EXPECT_EQ(qtest::readFile(folder / "zip.txt"), "<a/>\r\n<b/>\r\n");

    ASSERT_TRUE(gf_writeLines({"x", "", "\xC3\xBC"}, path));
    EXPECT_EQ(gf_readLines(path), (Lines{"x", "", "\xC3\xBC"}));
    ASSERT_TRUE(gf_writeLines({}, path));
    EXPECT_EQ(qtest::readFile(path), "");

    const fs::path noFolder = folder / "missing" / "out.txt";
    EXPECT_FALSE(gf_writeToFile("x", noFolder, true));
    EXPECT_FALSE(gf_appendToFile("x", noFolder, true));
    EXPECT_FALSE(gf_writeLines({"x"}, noFolder));
}

// Files that hold what the user or the program learned are never truncated in place: the old
// file stays whole until the new one takes its name, and no temporary is left.
TEST(TextFiles, WritersReplaceTheOldFileWhole)
{
    const auto path = qtest::freshFolder("replace") / "my_park_airports.txt";
    const std::pair<const char*, std::function<bool()>> writers[] = {
        {"lines",
         [&] {
             return gf_writeLines({"EGLL,501", "KSFO,A4"}, path);
         }},
        {"text", [&] { return gf_writeToFile("EGLL,501", path, true); }},
        {"bytes", [&] { return gf_writeReplacing("EGLL,501", path); }},
    };
    for (const auto& writer : writers) {
        const char* name = writer.first;
        bool written = false;
        EXPECT_EQ(qtest::oldFileAfter(path, [&] { written = writer.second(); }), "old content") << name;
        EXPECT_TRUE(written) << name;
        EXPECT_TRUE(qtest::readFile(path).starts_with("EGLL,501")) << name;
        EXPECT_FALSE(std::filesystem::exists(path.string() + ".tmp")) << name;
    }
    // A temporary that cannot be written leaves the old file as it was.
    std::filesystem::create_directory(path.string() + ".tmp");
    qtest::writeFile(path, "old content");
    EXPECT_FALSE(gf_writeLines({"new"}, path));
    EXPECT_EQ(qtest::readFile(path), "old content");
}

// A crash between writing the temporary and renaming it leaves a stale "<path>.tmp", perhaps
// longer than the next save: that save must hold exactly its own bytes, not the stale tail.
TEST(TextFiles, AStaleTemporaryFromACrashLeavesNoTrace)
{
    const auto path = qtest::freshFolder("stale-tmp") / "Callsign2ObjectId.txt";
    const std::string stale(4096, 'S');
    const std::pair<const char*, std::function<bool()>> writers[] = {
        {"lines", [&] { return gf_writeLines({"AAL1,7"}, path); }},
        {"text", [&] { return gf_writeToFile("AAL1,7", path, false); }},
        {"bytes", [&] { return gf_writeReplacing("AAL1,7", path); }},
    };
    for (const auto& [name, write] : writers) {
        qtest::writeFile(path, "old content");
        qtest::writeFile(path.string() + ".tmp", stale);
        ASSERT_TRUE(write()) << name;
        const std::string written = qtest::readFile(path);
        EXPECT_TRUE(written == "AAL1,7" || written == "AAL1,7\r\n" || written == "AAL1,7\n")
            << name << ": " << written.size();
        EXPECT_FALSE(std::filesystem::exists(path.string() + ".tmp")) << name;
    }
}

TEST(TextFiles, SaveXmlLogsTheOutcome)
{
    const fs::path folder = qtest::freshFolder("save-xml");
    pugi::xml_document doc;
    doc.append_child("parameters").append_child("parameter").append_attribute("name") = "LOG";
    qtest::LogCapture log("save-xml-log");
    EXPECT_TRUE(gf_saveXml(doc, folder / "p.xml"));
    EXPECT_FALSE(gf_saveXml(doc, folder / "missing" / "p.xml"));
    EXPECT_EQ(log.lines(), (Lines{fmt::format("\"{}\" saved", pathToUtf8(folder / "p.xml")),
                                  fmt::format("could not save to \"{}\"", pathToUtf8(folder / "missing" / "p.xml"))}));
    pugi::xml_document loaded;
    ASSERT_TRUE(loaded.load_file((folder / "p.xml").c_str()));
    EXPECT_STREQ(loaded.child("parameters").child("parameter").attribute("name").value(), "LOG");
}

TEST(Folders, CountListRemove)
{
    const fs::path folder = qtest::freshFolder("my_thirdparty");
    for (const char* name : {"a.xml", "B.Xml", "c.xml.bak", "d.xmlx", "EHAM.txt", "e.XML"})
        qtest::writeFile(folder / name, "x");
    fs::create_directories(folder / "sub.xml");
    EXPECT_EQ(gf_countFiles(folder), 6);
    EXPECT_EQ(gf_countFiles(folder / "none"), 0);

    Lines names = gf_listXmlFiles(folder);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Lines{"B.Xml", "a.xml", "e.XML"}));
    Lines stems = gf_listXmlFileStems(folder);
    std::sort(stems.begin(), stems.end());
    EXPECT_EQ(stems, (Lines{"B", "a", "e"}));
    EXPECT_TRUE(gf_listXmlFiles(folder / "none").empty());

    EXPECT_TRUE(gf_removeIfExists(folder / "a.xml"));
    EXPECT_FALSE(fs::exists(folder / "a.xml"));
    EXPECT_TRUE(gf_removeIfExists(folder / "a.xml")); // already gone

    removeFilesInFolder(folder / "none"); // nothing to do
    removeFilesInFolder(folder);          // files and the empty subfolder
    EXPECT_TRUE(fs::is_empty(folder));

    qtest::writeFile(folder / "f.txt", "x");
    qtest::writeFile(folder / "full" / "g.txt", "x");
    try {
        removeFilesInFolder(folder);
        ADD_FAILURE() << "a subfolder that is not empty must stop the removal";
    } catch (const UserErrorException& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with("5: ")) << e.what();
    }
}
