#pragma once
// Text files in the encodings the program meets (8-bit, UTF-8 with or without byte-order mark,
// UTF-16 in either byte order), line lists, XML saving and the few shared folder operations.
// Every text the program holds is UTF-8.
#include <cstdint>
#include <filesystem>
#include <istream>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
class xml_document;
}

namespace qtr {

// From a file's first two bytes. The value 4 is not used.
enum TextEncoding : int {
    noByteOrderMark = 0,       // read as 8-bit text
    utf16LittleEndian = 1,     // FF FE
    utf16BigEndian = 2,        // FE FF
    utf8WithByteOrderMark = 3, // EF BB
    cannotOpenFile = 5,
};

// Logs "cannot open file ... for character encoding" and gives cannotOpenFile when the file
// does not open.
TextEncoding gf_detectEncoding(const std::filesystem::path& path);
// The encoding that a text's first bytes announce (fewer than two bytes: no mark).
TextEncoding gf_encodingOfMark(std::string_view firstBytes);
// Appends the file's lines as UTF-8 (byte-order mark dropped); false when the file does not open
// or its UTF-16 text does not convert (shown on the status line). Lines of UTF-16 files keep a
// carriage return before the line feed; callers trim it.
bool gf_readTextFile(TextEncoding encoding, const std::filesystem::path& path, std::vector<std::string>& lines);
// The decoding of gf_readTextFile, from bytes already open: appends the lines of the stream in
// the encoding; false (shown on the status line) when its UTF-16 text does not convert.
bool gf_decodeTextLines(TextEncoding encoding, std::istream& bytes, std::vector<std::string>& lines);
// Appends the lines of a UTF-16 byte stream (byte order from its mark, big endian without one),
// each converted to UTF-8. Throws win32::Utf8ConversionException for invalid UTF-16 and
// std::runtime_error for an odd number of bytes.
void gf_readUtf16Lines(std::istream& bytes, std::vector<std::string>& lines);
// Appends every line of the stream; a carriage return before the line feed is dropped.
void gf_readStreamLines(std::istream& in, std::vector<std::string>& lines);
// As gf_readStreamLines into a list, then clears the stream's error state.
void readLines(std::istream& in, std::list<std::string>& lines);
// The file's lines (line ends removed), with room for expectedLines; nothing when the file does
// not open or holds no line. Callers name the file by its path; there is no separate
// file-and-lines record.
std::optional<std::vector<std::string>> gf_readLines(const std::filesystem::path& path, int expectedLines = 0);

// Writes the bytes into "<path>.tmp" and renames that over the file: the old file is never
// truncated in place, so a crash or a full disk mid-write leaves it whole. False (the old file
// untouched, no temporary left) when either step fails. Every file that holds what the user or
// the program learned is written this way.
bool gf_writeReplacing(std::string_view bytes, const std::filesystem::path& path);
// The file written afresh through gf_writeReplacing; false when it cannot be written. Each line
// ends with the platform's line end.
bool gf_writeLines(const std::vector<std::string>& lines, const std::filesystem::path& path);
// The text as it stands (no line-end translation), then "\r\n" when endOfLine is set, through
// gf_writeReplacing.
bool gf_writeToFile(std::string_view text, const std::filesystem::path& path, bool endOfLine);
// As gf_writeToFile, but adds to the end of an existing file (created when missing). The
// unpacking of zip entries needs it: entries that share a target follow one another.
bool gf_appendToFile(std::string_view text, const std::filesystem::path& path, bool endOfLine);

// Saves with the XML library's default indentation into "<path>.tmp" and renames that over the
// file, so that a crash or a full disk mid-save leaves the old file whole; false (the old file
// untouched, no temporary left) when either step fails. Creates no folders.
bool gf_saveXmlReplacing(const pugi::xml_document& doc, const std::filesystem::path& path);
// gf_saveXmlReplacing, then logs "\"path\" saved" or "could not save to \"path\"".
bool gf_saveXml(const pugi::xml_document& doc, const std::filesystem::path& path);
// True when the file is gone afterwards (also when it never existed); throws
// std::filesystem::filesystem_error on a failing removal.
bool gf_removeIfExists(const std::filesystem::path& path);
// Regular files directly in the folder; 0 when it does not exist.
std::int64_t gf_countFiles(const std::filesystem::path& folder);
// Names (with extension) of the regular files of the folder whose extension is ".xml" in any
// case; empty when the folder does not exist. The folder is "airports/my_thirdparty" for every
// caller today; it is passed in so that this file does not depend on the folder layout.
std::vector<std::string> gf_listXmlFiles(const std::filesystem::path& folder);
// The same files by stem (name without extension), for the airport scan that pairs each file
// with files of other folders by its ICAO code.
std::vector<std::string> gf_listXmlFileStems(const std::filesystem::path& folder);
// Removes every file (and empty subfolder) of the folder; a missing folder is left alone. Any
// failure, such as a file that cannot be removed or a subfolder that is not empty, throws
// UserErrorException code 5 with the failure's text (which names the path), so callers that
// must not go on with a half-emptied folder stop there.
void removeFilesInFolder(const std::filesystem::path& folder);

} // namespace qtr
