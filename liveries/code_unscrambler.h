#pragma once
// Turns the scrambled airline codes, type codes and registrations of the published data files
// back into plain codes. Pure functions; any thread may call them. The scheme's constants are in
// liveries/code_scheme.h.
#include <cstdint>
#include <string>
#include <string_view>

namespace qtr {

// c - k, wrapped once into the code alphabet '-'...'Z'.
char shiftCodeChar(char c, std::int32_t k);
// 4 characters give 4, 3 give 3, empty gives empty; any other length gives 2 characters made
// from the first two positions (a 1-character text, which the data never holds, gives "").
std::string decryptType(std::string_view scrambled);
// 6 characters give the 3-letter code; 3 characters are taken as plain (logged); empty gives
// empty. Any other length throws std::runtime_error "decrypt airl \"...\" error".
std::string decryptAirl(std::string_view scrambled);
// Same length as the input; '+' passes. A character other than '+' at position 24 or later
// throws std::out_of_range.
std::string decryptText(std::string_view scrambled);

} // namespace qtr
