#pragma once
// The test side of the code scheme: scrambles plain codes so that the program's unscrambler gives
// them back. The fillers of a scrambled airline code are fixed characters.
#include "liveries/code_scheme.h"

#include <string>

namespace qtest {

inline char scrambleChar(char c, int k)
{
    using namespace qtr::codeScheme;
    int v = static_cast<int>(c) + k;
    if (v < alphabetFirst)
        v += alphabetSize;
    else if (v > alphabetLast)
        v -= alphabetSize;
    return static_cast<char>(v);
}

template <class Order, class Shifts>
std::string scramblePositions(const std::string& plain, const Order& order, const Shifts& shifts, std::size_t length)
{
    std::string out(length, 'Q');
    for (std::size_t j = 0; j < order.size(); ++j)
        out[static_cast<std::size_t>(order[j])] = scrambleChar(plain[j], shifts[j]);
    return out;
}

inline std::string scrambleType(const std::string& plain)
{
    using namespace qtr::codeScheme;
    if (plain.size() == 4) return scramblePositions(plain, typeOrder4, typeShift4, 4);
    if (plain.size() == 3) return scramblePositions(plain, typeOrder3, typeShift3, 3);
    return scramblePositions(plain, typeOrder2, typeShift2, 2);
}

inline std::string scrambleAirl(const std::string& plain)
{
    using namespace qtr::codeScheme;
    return scramblePositions(plain, airlineOrder, airlineShift, 6);
}

inline std::string scrambleText(const std::string& plain)
{
    std::string out;
    for (std::size_t i = 0; i < plain.size(); ++i)
        out += plain[i] == '+' ? '+' : scrambleChar(plain[i], qtr::codeScheme::registrationKey[i]);
    return out;
}

// A comma list of scrambled types.
inline std::string scrambleTypes(std::initializer_list<std::string> types)
{
    std::string out;
    for (const std::string& t : types) out += (out.empty() ? "" : ",") + scrambleType(t);
    return out;
}

inline std::string scrambleAirlines(std::initializer_list<std::string> codes)
{
    std::string out;
    for (const std::string& c : codes) out += (out.empty() ? "" : ",") + scrambleAirl(c);
    return out;
}

} // namespace qtest
