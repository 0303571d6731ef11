#pragma once
// Small shared routines: comma lists, trimming, plural endings, number texts, half-hour slot
// sets, the program's random numbers, socket error texts and the scan-task slots.
#include <atomic>
#include <bitset>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace pugi {
class xml_node;
}

namespace qtr {

// Blank, tab, line feed and carriage return.
inline constexpr std::string_view whitespaceChars = " \t\n\r";

// One bit per half-hour slot of the day (bit n = slot n).
using SlotSet = std::bitset<48>;

// Splits at every delimiter and trims each piece. An empty text gives no pieces; adjacent
// delimiters give an empty piece, a delimiter at the end a final empty piece.
// For callers that must see the pieces as they stand (blanks kept), use gf_splitUntrimmed.
std::vector<std::string> gf_split(std::string_view text, char delimiter);
// The same pieces, untrimmed. Readers of regcode lines and atc_id values use it (and with ',' in
// place of gf_splitComma), since a blank item is itself reported there.
std::vector<std::string> gf_splitUntrimmed(std::string_view text, char delimiter);
// gf_split with ','.
std::vector<std::string> gf_splitComma(std::string_view text);
// The untrimmed ','-pieces in a hash set (duplicates collapse). Readers that need the pieces in
// byte order use gf_splitCommaToSortedSet.
std::unordered_set<std::string> gf_splitCommaToSet(std::string_view text);
// The untrimmed ','-pieces, ascending byte-wise, repeats dropped.
std::set<std::string> gf_splitCommaToSortedSet(std::string_view text);
// Removes blanks around the items of a comma list; empty items stay. A text without whitespace
// is left alone, which is what splitting, trimming and joining would give it anyway, so this
// one function serves every caller.
void gf_normaliseCommaList(std::string& text);
std::string gf_trim(std::string_view text);
// The text between the first pair of double quotes ("" when the pair is empty or unclosed);
// the whole text when it holds no double quote.
std::string gf_unquote(std::string_view text);
// True when a equals b in upper case (ASCII letters).
bool gf_equalsUpper(const std::string& a, std::string b);
// The text with its ASCII letters in upper case.
std::string gf_toUpperAscii(std::string text);
// Characters of a UTF-8 text (bytes that begin a character).
std::size_t gf_utf8Length(std::string_view text);
// True when Windows takes the file name for a device ("NUL", "con.txt", "COM1.tar.gz", "LPT9 .x"):
// the part before the first dot, without trailing blanks, is such a name in any case.
bool gf_isDeviceFileName(std::string_view fileName);
// At most maxBytes bytes of the text, never ending inside a UTF-8 character.
std::string gf_utf8Prefix(std::string_view text, std::size_t maxBytes);
// True when b is a followed by one '*' (a static aircraft's callsign).
bool gf_equalsBeforeAsterisk(std::string_view a, std::string_view b);
// A heading line of about a + b characters: the text between two runs of '*'.
std::string gf_framedLine(std::int64_t a, std::int64_t b, bool leadNewline, bool trailNewline, std::string_view text);
// "2" for a whole number, else one decimal ("2.5").
std::string gf_floatToText(float value);
// "" for 1, else "s".
std::string pluralS(std::uint64_t count);
// "" for 1 or a negative count, else "s".
std::string gf_plural(std::int64_t count);
std::string gf_plural(int count);
// The attribute's value, "" when it is absent.
std::string attributeText(const pugi::xml_node& node, const char* name);

// Reads a list such as "0,3,47" (a comma at the end is allowed); pieces that are not a slot
// number 0...47 are skipped and logged in one line per list (their count and the first one). A
// list of more than 48 items is refused whole (logged, no slot).
SlotSet gf_hours2bitset(std::string_view text);
// "0,3,47" (no comma at the end; "" for an empty set). Airport files want a comma after every
// number: their writer adds the last one itself.
std::string gf_bitset2hours(const SlotSet& slots);

// The calling thread's random engine (seeded from the platform's random device on first use).
std::mt19937& randomEngine();
// Seeds the calling thread's engine, so that a test can repeat a sequence.
void gf_seedRandom(std::uint32_t seed);
// 0 when RANDOM is off or n < 2, else the next engine output modulo n.
std::int64_t gf_randomIndex(std::int64_t n);
// Shuffles the list when RANDOM is on; otherwise the order stays.
void gf_randomShuffle(std::vector<std::string>& list);
// v raised or lowered by p percent (the sign from the engine) when p > 0, else v. With RANDOM off
// it gives v, like the other random functions, so that runs repeat.
double gf_randomPercent(double v, double p);

// Scan-task slots shared by the airport and livery scans: a scan waits for a free slot,
// increments scanTasksRunning, starts one task, and the task releases its slot when it ends.
extern std::atomic<std::int32_t> scanTasksRunning;
extern std::atomic<std::int32_t> scanTasksMaximum;
// Sets the maximum to the machine's hardware thread count (at least 1); at every worker start.
void gf_initWorkerSlots();
void gf_waitForWorkerSlot();
void gf_releaseWorkerSlot();

} // namespace qtr
