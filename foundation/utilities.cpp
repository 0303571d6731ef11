#include "foundation/utilities.h"

#include "foundation/clock.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

namespace qtr {

namespace {

// Calls piece(view) for every piece of a lazy split on one character.
template <typename F>
void forEachPiece(std::string_view text, char delimiter, F&& piece)
{
    if (text.empty()) return;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(delimiter, start);
        if (end == std::string_view::npos) {
            piece(text.substr(start));
            return;
        }
        piece(text.substr(start, end - start));
        start = end + 1;
    }
}

std::size_t pieceCount(std::string_view text, char delimiter)
{
    if (text.empty()) return 0;
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), delimiter)) + 1;
}

char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

} // namespace

std::vector<std::string> gf_split(std::string_view text, char delimiter)
{
    std::vector<std::string> pieces;
    pieces.reserve(pieceCount(text, delimiter));
    forEachPiece(text, delimiter, [&](std::string_view p) { pieces.push_back(gf_trim(p)); });
    return pieces;
}

std::vector<std::string> gf_splitUntrimmed(std::string_view text, char delimiter)
{
    std::vector<std::string> pieces;
    pieces.reserve(pieceCount(text, delimiter));
    forEachPiece(text, delimiter, [&](std::string_view p) { pieces.emplace_back(p); });
    return pieces;
}

std::vector<std::string> gf_splitComma(std::string_view text) { return gf_split(text, ','); }

std::unordered_set<std::string> gf_splitCommaToSet(std::string_view text)
{
    std::unordered_set<std::string> pieces;
    forEachPiece(text, ',', [&](std::string_view p) { pieces.emplace(p); });
    return pieces;
}

std::set<std::string> gf_splitCommaToSortedSet(std::string_view text)
{
    std::set<std::string> pieces;
    forEachPiece(text, ',', [&](std::string_view p) { pieces.emplace(p); });
    return pieces;
}

void gf_normaliseCommaList(std::string& text)
{
    if (text.find_first_of(whitespaceChars) == std::string::npos) return;
    std::string joined;
    bool first = true;
    for (const std::string& piece : gf_split(text, ',')) {
        if (!first) joined += ',';
        joined += piece;
        first = false;
    }
    text = std::move(joined);
}

std::string gf_trim(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(whitespaceChars);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(whitespaceChars);
    return std::string(text.substr(first, last - first + 1));
}

std::string gf_unquote(std::string_view text)
{
    const std::size_t open = text.find('"');
    if (open == std::string_view::npos) return std::string(text);
    const std::size_t close = text.find('"', open + 1);
    if (close == std::string_view::npos || close == open + 1) return {};
    return std::string(text.substr(open + 1, close - open - 1));
}

bool gf_equalsUpper(const std::string& a, std::string b)
{
    std::transform(b.begin(), b.end(), b.begin(), upperAscii);
    return a == b;
}

std::string gf_toUpperAscii(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), upperAscii);
    return text;
}

namespace {
bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
} // namespace

std::size_t gf_utf8Length(std::string_view text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !isContinuationByte(c); }));
}

bool gf_isDeviceFileName(std::string_view fileName)
{
    std::string base(fileName.substr(0, fileName.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    base = gf_toUpperAscii(std::move(base));
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (base == device) return true;
    // COM1..COM9 and LPT1..LPT9 (COM0 and LPT0 are reserved as well).
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '0' && base[3] <= '9';
}

std::string gf_utf8Prefix(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes) return std::string(text);
    std::size_t end = maxBytes;
    // Back to the first byte of the character that the cut would split.
    while (end > 0 && isContinuationByte(text[end])) --end;
    return std::string(text.substr(0, end));
}

bool gf_equalsBeforeAsterisk(std::string_view a, std::string_view b)
{
    return b.size() == a.size() + 1 && b.back() == '*' && b.substr(0, a.size()) == a;
}

std::string gf_framedLine(std::int64_t a, std::int64_t b, bool leadNewline, bool trailNewline, std::string_view text)
{
    std::string line = leadNewline ? "\n" : "";
    std::int64_t n = a + b;
    if (n % 2 != 0) ++n;
    const auto stars = [](std::int64_t count) {
        return std::string(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)), '*');
    };
    if (text.empty())
        line += stars(n);
    else if (n > static_cast<std::int64_t>(text.size()) + 2)
        line += stars(n / 2 - 1) + " " + std::string(text) + " " + stars(n / 2 - 1);
    else
        line += text;
    if (trailNewline) line += '\n';
    return line;
}

std::string gf_floatToText(float value)
{
    if (std::floor(value) == value) return fmt::format("{:.0f}", value);
    return fmt::format("{:.1F}", value);
}

std::string pluralS(std::uint64_t count) { return count == 1 ? "" : "s"; }

std::string gf_plural(std::int64_t count) { return (count == 1 || count < 0) ? "" : "s"; }

std::string gf_plural(int count) { return gf_plural(static_cast<std::int64_t>(count)); }

std::string attributeText(const pugi::xml_node& node, const char* name)
{
    const pugi::xml_attribute attribute = node.attribute(name);
    return attribute ? attribute.value() : "";
}

namespace {

// A list in a log line: its start only, so that one huge list cannot flood the log.
std::string listExcerpt(std::string_view text)
{
    constexpr std::size_t excerptBytes = 60;
    if (text.size() <= excerptBytes) return std::string(text);
    return fmt::format("{}... ({} bytes)", gf_utf8Prefix(text, excerptBytes), text.size());
}

} // namespace

SlotSet gf_hours2bitset(std::string_view text)
{
    SlotSet slots;
    // Lists written with a comma after every slot ("3,4,5,") end in an empty piece: no slot, and
    // nothing to report.
    if (text.ends_with(',')) text.remove_suffix(1);
    // A list with more items than there are slots is no slot list: reading it would only cost time.
    if (const std::size_t items = pieceCount(text, ','); items > slots.size()) {
        logMarked(fmt::format("gf_hours2bitset refused a list of {} items (at most {} slots): {}", items, slots.size(),
                              listExcerpt(text)));
        return slots;
    }
    std::size_t invalid = 0;
    std::string firstInvalid;
    forEachPiece(text, ',', [&](std::string_view piece) {
        // A decimal integer from the start of the piece: optional '-', then digits; the rest is
        // ignored and leading blanks are not skipped.
        std::size_t i = 0;
        const bool negative = !piece.empty() && piece[0] == '-';
        if (negative) ++i;
        std::int64_t value = 0;
        bool digits = false, tooLarge = false;
        for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) {
            digits = true;
            if (!tooLarge) value = value * 10 + (piece[i] - '0');
            if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) tooLarge = true;
        }
        if (negative) value = -value;
        if (digits && !tooLarge && value >= 0 && value <= 47) {
            slots.set(static_cast<std::size_t>(value));
        } else if (invalid++ == 0) {
            firstInvalid = listExcerpt(piece);
        }
    });
    // One line per list, however many of its pieces are bad.
    if (invalid > 0)
        logMarked(fmt::format("gf_hours2bitset {} invalid hour{} (first \"{}\") in {}", invalid, pluralS(invalid),
                              firstInvalid, listExcerpt(text)));
    return slots;
}

std::string gf_bitset2hours(const SlotSet& slots)
{
    std::string text;
    for (std::size_t n = 0; n < slots.size(); ++n)
        if (slots.test(n)) text += fmt::format("{},", n);
    if (!text.empty()) text.pop_back();
    return text;
}

std::mt19937& randomEngine()
{
    thread_local std::mt19937 engine{std::random_device{}()};
    return engine;
}

void gf_seedRandom(std::uint32_t seed) { randomEngine().seed(seed); }

std::int64_t gf_randomIndex(std::int64_t n)
{
    if (!RANDOM.value() || n < 2) return 0;
    return static_cast<std::int64_t>(randomEngine()() % static_cast<std::uint64_t>(n));
}

void gf_randomShuffle(std::vector<std::string>& list)
{
    if (!RANDOM.value() || list.size() < 2) return;
    std::shuffle(list.begin(), list.end(), randomEngine());
}

double gf_randomPercent(double v, double p)
{
    if (!RANDOM.value()) return v;
    const double sign = (randomEngine()() % 2 == 0) ? 1.0 : -1.0;
    return p > 0 ? v + sign * v * p / 100.0 : v;
}

std::atomic<std::int32_t> scanTasksRunning{0};
std::atomic<std::int32_t> scanTasksMaximum{1};

void gf_initWorkerSlots()
{
    const unsigned hardware = std::thread::hardware_concurrency();
    scanTasksMaximum = static_cast<std::int32_t>(std::clamp<unsigned>(hardware, 1, 1024));
}

void gf_waitForWorkerSlot()
{
    while (scanTasksRunning.load() >= scanTasksMaximum.load())
        clock().sleepUntil(clock().steadyNow() + std::chrono::nanoseconds(10000));
}

void gf_releaseWorkerSlot() { --scanTasksRunning; }

} // namespace qtr
