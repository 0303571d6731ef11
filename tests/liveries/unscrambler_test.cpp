// The code unscrambler: the wrap of the alphabet, the three readers and their errors.
#include "foundation/log_capture.h"
#include "liveries/code_unscrambler.h"
#include "scrambler.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace qtr;

namespace {

TEST(Unscrambler, ShiftWrapsOnceAroundTheAlphabet)
{
    struct Case {
        char c;
        int k;
        char expected;
    };
    const Case cases[] = {
        {'A', 0, 'A'},  {'C', 2, 'A'},   {'-', 1, 'Z'}, // 44 wraps to 90
        {'Z', -1, '-'},                                 // 91 wraps to 45
        {'-', 46, '-'}, {'Z', -46, 'Z'}, {'0', 3, '-'}, {'M', -13, 'Z'},
    };
    for (const Case& c : cases) EXPECT_EQ(shiftCodeChar(c.c, c.k), c.expected) << c.c << " " << c.k;
}

TEST(Unscrambler, ReadersGiveBackWhatTheSchemeScrambled)
{
    for (const std::string type : {"A20N", "B738", "C17", "UH1", "A5", "H60", "-Z@0"})
        EXPECT_EQ(decryptType(qtest::scrambleType(type)), type);
    for (const std::string airline : {"DLH", "ZZZ", "PVT", "-@9"})
        EXPECT_EQ(decryptAirl(qtest::scrambleAirl(airline)), airline);
    for (const std::string registration : {"D-AIZZ", "N8604K", "17-20929", "A6-EUT", "ABCDEFGHIJKLMNOPQRSTUVWX", "+A+"})
        EXPECT_EQ(decryptText(qtest::scrambleText(registration)), registration);
}

TEST(Unscrambler, LengthsOfTypeCodes)
{
    EXPECT_EQ(decryptType(""), "");
    EXPECT_EQ(decryptType("X"), ""); // no two positions to read
    // Five or more characters: two made from the first two positions, the rest ignored.
    EXPECT_EQ(decryptType(qtest::scrambleType("A5") + "QQQ"), "A5");
}

TEST(Unscrambler, AirlineCodesOfOtherLengths)
{
    qtest::LogCapture log("unscrambler");
    EXPECT_EQ(decryptAirl(""), "");
    EXPECT_EQ(decryptAirl("DLH"), "DLH");
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"===> Unencrypted airline DLH in decrypt airl?"}));
    for (const char* bad : {"DLHX", "DLHXY", "A", "DLHXYZW"}) {
        try {
            decryptAirl(bad);
            ADD_FAILURE() << bad;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), std::string("decrypt airl \"") + bad + "\" error");
        }
    }
}

TEST(Unscrambler, RegistrationsOfMoreThan24Characters)
{
    EXPECT_EQ(decryptText(std::string(40, '+')), std::string(40, '+'));
    EXPECT_EQ(decryptText(std::string(24, 'A') + "+").size(), 25u);
    EXPECT_THROW(decryptText(std::string(25, 'A')), std::out_of_range);
}

} // namespace
