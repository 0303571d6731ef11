#include "foundation/text_files.h"

#include "foundation/indicators.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/os_files.h"
#include "foundation/win_text.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace qtr {

namespace {

void dropCarriageReturn(std::string& line)
{
    if (!line.empty() && line.back() == '\r') line.pop_back();
}

bool isXmlFile(const std::filesystem::directory_entry& entry)
{
    if (!entry.is_regular_file()) return false;
    // Compared in the path's own characters, so that no name needs converting.
    using Char = std::filesystem::path::value_type;
    std::filesystem::path::string_type extension = entry.path().extension().native();
    if (extension.size() != 4) return false;
    for (Char& c : extension)
        if (c >= Char('a') && c <= Char('z')) c = static_cast<Char>(c - Char('a') + Char('A'));
    return extension[0] == Char('.') && extension[1] == Char('X') && extension[2] == Char('M') &&
           extension[3] == Char('L');
}

template <typename Name>
std::vector<std::string> listXml(const std::filesystem::path& folder, Name name)
{
    std::vector<std::string> names;
    if (!std::filesystem::exists(folder)) return names;
    names.reserve(512);
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (isXmlFile(entry)) names.push_back(pathToUtf8(name(entry.path())));
    return names;
}

// Binary, so that the text is written as it stands.
bool writeText(std::string_view text, const std::filesystem::path& path, bool endOfLine, std::ios::openmode mode)
{
    std::ofstream out(path, std::ios::binary | mode);
    if (!out.is_open()) return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (endOfLine) out << "\r\n";
    out.flush();
    return static_cast<bool>(out);
}

// The platform's line end, as a text-mode stream would write it.
#ifdef _WIN32
constexpr std::string_view platformLineEnd = "\r\n";
#else
constexpr std::string_view platformLineEnd = "\n";
#endif

} // namespace

bool gf_writeReplacing(std::string_view bytes, const std::filesystem::path& path)
{
    std::filesystem::path temp = path;
    temp += ".tmp";
    std::error_code ec;
    if (!writeText(bytes, temp, false, std::ios::out | std::ios::trunc) || !gf_replaceFile(temp, path, true)) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

namespace {
} // namespace

TextEncoding gf_detectEncoding(const std::filesystem::path& path)
{
    ReadOnlyFile file(path, false);
    if (!file.isOpen()) {
        logLine(fmt::format("cannot open file {} for character encoding, err: {}", pathToUtf8(path), file.openError()));
        return cannotOpenFile;
    }
    unsigned char bytes[2] = {};
    const std::uint64_t read = file.read(reinterpret_cast<char*>(bytes), 2);
    return gf_encodingOfMark(std::string_view(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(read)));
}

TextEncoding gf_encodingOfMark(std::string_view firstBytes)
{
    if (firstBytes.size() < 2) return noByteOrderMark;
    const auto first = static_cast<unsigned char>(firstBytes[0]);
    const auto second = static_cast<unsigned char>(firstBytes[1]);
    if (first == 0xFF && second == 0xFE) return utf16LittleEndian;
    if (first == 0xFE && second == 0xFF) return utf16BigEndian;
    if (first == 0xEF && second == 0xBB) return utf8WithByteOrderMark;
    return noByteOrderMark;
}

void gf_readUtf16Lines(std::istream& bytes, std::vector<std::string>& lines)
{
    const std::string data{std::istreambuf_iterator<char>(bytes), std::istreambuf_iterator<char>()};
    if (data.size() % 2 != 0) throw std::runtime_error("odd number of bytes in UTF-16 text");
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(data[i]); };
    bool littleEndian = false;
    std::size_t pos = 0;
    if (data.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
        littleEndian = true;
        pos = 2;
    } else if (data.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) {
        pos = 2;
    }
    std::wstring line;
    for (; pos < data.size(); pos += 2) {
        const wchar_t unit =
            static_cast<wchar_t>(littleEndian ? byte(pos) | (byte(pos + 1) << 8) : (byte(pos) << 8) | byte(pos + 1));
        if (unit == L'\n') {
            lines.push_back(utf16ToUtf8(line));
            line.clear();
        } else {
            line += unit;
        }
    }
    if (!line.empty()) lines.push_back(utf16ToUtf8(line));
}

void gf_readStreamLines(std::istream& in, std::vector<std::string>& lines)
{
    std::string line;
    while (std::getline(in, line)) {
        dropCarriageReturn(line);
        lines.push_back(std::move(line));
    }
}

void readLines(std::istream& in, std::list<std::string>& lines)
{
    std::string line;
    while (std::getline(in, line)) {
        dropCarriageReturn(line);
        lines.push_back(std::move(line));
    }
    in.clear();
}

bool gf_readTextFile(TextEncoding encoding, const std::filesystem::path& path, std::vector<std::string>& lines)
{
    // Files are opened in binary mode: the platform's text mode would end a file at a Ctrl-Z
    // byte; carriage returns are dropped by the line readers instead.
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return false;
    return gf_decodeTextLines(encoding, in, lines);
}

bool gf_decodeTextLines(TextEncoding encoding, std::istream& in, std::vector<std::string>& lines)
{
    if (encoding == utf16LittleEndian || encoding == utf16BigEndian) {
        try {
            gf_readUtf16Lines(in, lines);
        } catch (const win32::Utf8ConversionException& e) {
            setStatus(fmt::format("conversion from error from utf16 to utf8, code: {}", e.errorCode()), true);
            return false;
        } catch (const std::runtime_error& e) {
            setStatus(std::string("conversion from error from utf16 to utf8: ") + e.what(), true);
            return false;
        }
        return true;
    }
    const std::size_t first = lines.size();
    gf_readStreamLines(in, lines);
    // Only EF BB is tested to detect the mark; drop the three bytes only when they are the mark.
    if (encoding == utf8WithByteOrderMark && lines.size() > first && lines[first].starts_with("\xEF\xBB\xBF"))
        lines[first].erase(0, 3);
    return true;
}

std::optional<std::vector<std::string>> gf_readLines(const std::filesystem::path& path, int expectedLines)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return std::nullopt;
    std::vector<std::string> lines;
    if (expectedLines > 0) lines.reserve(static_cast<std::size_t>(expectedLines));
    gf_readStreamLines(in, lines);
    if (lines.empty()) return std::nullopt;
    return lines;
}

bool gf_writeLines(const std::vector<std::string>& lines, const std::filesystem::path& path)
{
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += platformLineEnd;
    }
    return gf_writeReplacing(text, path);
}

bool gf_writeToFile(std::string_view text, const std::filesystem::path& path, bool endOfLine)
{
    if (!endOfLine) return gf_writeReplacing(text, path);
    std::string whole(text);
    whole += "\r\n";
    return gf_writeReplacing(whole, path);
}

bool gf_appendToFile(std::string_view text, const std::filesystem::path& path, bool endOfLine)
{
    return writeText(text, path, endOfLine, std::ios::out | std::ios::app);
}

bool gf_saveXmlReplacing(const pugi::xml_document& doc, const std::filesystem::path& path)
{
    std::error_code ec;
    std::filesystem::path temp = path;
    temp += ".tmp";
    if (!doc.save_file(temp.c_str())) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    if (!gf_replaceFile(temp, path, true)) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

bool gf_saveXml(const pugi::xml_document& doc, const std::filesystem::path& path)
{
    const bool saved = gf_saveXmlReplacing(doc, path);
    const std::string name = pathToUtf8(path);
    logLine(saved ? fmt::format("\"{}\" saved", name) : fmt::format("could not save to \"{}\"", name));
    return saved;
}

bool gf_removeIfExists(const std::filesystem::path& path)
{
    if (!std::filesystem::exists(path)) return true;
    return std::filesystem::remove(path);
}

std::int64_t gf_countFiles(const std::filesystem::path& folder)
{
    if (!std::filesystem::exists(folder)) return 0;
    std::int64_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) ++count;
    return count;
}

std::vector<std::string> gf_listXmlFiles(const std::filesystem::path& folder)
{
    return listXml(folder, [](const std::filesystem::path& p) { return p.filename(); });
}

std::vector<std::string> gf_listXmlFileStems(const std::filesystem::path& folder)
{
    return listXml(folder, [](const std::filesystem::path& p) { return p.stem(); });
}

void removeFilesInFolder(const std::filesystem::path& folder)
{
    try {
        if (!std::filesystem::exists(folder) || !std::filesystem::is_directory(folder)) return;
        // Listed first, so that the walk does not run over entries being removed.
        std::vector<std::filesystem::path> entries;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) entries.push_back(entry.path());
        for (const auto& entry : entries) {
            if (!std::filesystem::exists(entry)) continue;
            if (!std::filesystem::remove(entry)) logLine(pathToUtf8(entry) + " could not be removed");
        }
    } catch (const std::exception& e) {
        throw UserErrorException(5, e.what());
    }
}

} // namespace qtr
