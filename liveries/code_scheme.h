#pragma once
// The constants of the scrambling scheme of the published data files ("dbase.zip",
// "AIG-regcodes.zip"): which input position each plain character comes from, and by how much
// it is shifted within the code alphabet. They live here alone so that the scheme can change
// without touching the readers. tools/dbase/make_dbase.py reads this file to scramble the data
// it publishes, and the tests scramble their fixtures with the same numbers: keep each table on
// one line as "name{a, b, ...}".
#include <array>
#include <cstdint>

namespace qtr::codeScheme {

// The code alphabet: '-' (45) to 'Z' (90), 46 characters.
inline constexpr int alphabetFirst = 45;
inline constexpr int alphabetLast = 90;
inline constexpr int alphabetSize = alphabetLast - alphabetFirst + 1;

// Type codes of 4, 3 and 2 characters: output character j comes from input position
// typeOrderN[j], shifted by typeShiftN[j].
inline constexpr std::array<int, 4> typeOrder4{2, 0, 3, 1};
inline constexpr std::array<std::int32_t, 4> typeShift4{11, -7, 19, 4};
inline constexpr std::array<int, 3> typeOrder3{1, 2, 0};
inline constexpr std::array<std::int32_t, 3> typeShift3{-13, 8, 21};
inline constexpr std::array<int, 2> typeOrder2{1, 0};
inline constexpr std::array<std::int32_t, 2> typeShift2{5, -17};

// Airline codes are scrambled into 6 characters; only three positions carry the code.
inline constexpr std::array<int, 3> airlineOrder{4, 1, 3};
inline constexpr std::array<std::int32_t, 3> airlineShift{9, -15, 23};

// Registrations: one shift per character position 0 to 23 ('+' passes unshifted).
inline constexpr std::array<std::int32_t, 24> registrationKey{17, -5,  31, 8,  -22, 13, 40,  -9, 2, 27,  -36, 11,
                                                              6,  -18, 35, 21, -3,  44, -27, 15, 9, -41, 24,  3};

} // namespace qtr::codeScheme
