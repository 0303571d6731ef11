#include "liveries/code_unscrambler.h"

#include "foundation/log.h"
#include "liveries/code_scheme.h"

#include <fmt/format.h>

#include <stdexcept>

namespace qtr {

namespace {

// Reads order.size() characters of the input at the given positions, each with its shift.
template <std::size_t N>
std::string lf_readPositions(std::string_view in, const std::array<int, N>& order,
                             const std::array<std::int32_t, N>& shifts)
{
    std::string out;
    out.reserve(N);
    for (std::size_t j = 0; j < N; ++j) out.push_back(shiftCodeChar(in[static_cast<std::size_t>(order[j])], shifts[j]));
    return out;
}

} // namespace

char shiftCodeChar(char c, std::int32_t k)
{
    int v = static_cast<int>(static_cast<signed char>(c)) - k;
    if (v < codeScheme::alphabetFirst)
        v += codeScheme::alphabetSize;
    else if (v > codeScheme::alphabetLast)
        v -= codeScheme::alphabetSize;
    return static_cast<char>(v);
}

std::string decryptType(std::string_view scrambled)
{
    using namespace codeScheme;
    switch (scrambled.size()) {
    case 0:
        return {};
    case 1:
        // Too short for the two-character reader; the published data holds no such code.
        return {};
    case 3:
        return lf_readPositions(scrambled, typeOrder3, typeShift3);
    case 4:
        return lf_readPositions(scrambled, typeOrder4, typeShift4);
    default:
        return lf_readPositions(scrambled, typeOrder2, typeShift2);
    }
}

std::string decryptAirl(std::string_view scrambled)
{
    switch (scrambled.size()) {
    case 0:
        return {};
    case 3:
        logMarked(fmt::format("Unencrypted airline {} in decrypt airl?", scrambled));
        return std::string(scrambled);
    case 6:
        return lf_readPositions(scrambled, codeScheme::airlineOrder, codeScheme::airlineShift);
    default:
        throw std::runtime_error(fmt::format("decrypt airl \"{}\" error", scrambled));
    }
}

std::string decryptText(std::string_view scrambled)
{
    std::string out;
    out.reserve(scrambled.size());
    for (std::size_t i = 0; i < scrambled.size(); ++i) {
        const char c = scrambled[i];
        if (c == '+') {
            out.push_back('+');
            continue;
        }
        // The key covers 24 positions; the text of the error is the one users know from it.
        if (i >= codeScheme::registrationKey.size()) throw std::out_of_range("invalid array<T, N> subscript");
        out.push_back(shiftCodeChar(c, codeScheme::registrationKey[i]));
    }
    return out;
}

} // namespace qtr
