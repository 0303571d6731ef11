#include "traffic/state/lights.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>

using namespace qtr;

namespace {

// nav, beacon, landing, taxi, strobes, logo, cabin: one string of digits, so that a wrong light
// shows at its place in the failure message.
std::string bits(const Lights& l)
{
    std::string s;
    for (std::uint32_t v : {l.nav, l.beacon, l.landing, l.taxi, l.strobes, l.logo, l.cabin}) s += std::to_string(v);
    return s;
}

} // namespace

TEST(Lights, OneSetPerSituation)
{
    struct Case {
        const char* situation;
        Lights lights;
        const char* expected; // nav beacon landing taxi strobes logo cabin
    };
    const Case cases[] = {
        {"push back", pushbackLights(), "1101010"},
        {"taxi out", taxiOutLights(), "1101010"},
        {"take-off roll", takeOffLights(), "1111110"},
        {"go-around", goAroundLights(), "1111110"},
        {"taxi in", taxiInLights(), "1101011"},
        {"below 10000 ft", belowTenThousandLights(), "1111111"},
        {"cruise", cruiseLights(), "1100001"},
        {"appears at 10000 ft, 2000 ft above ground", airborneLightsOnAppearing(10000.0, 2000.0), "1110111"},
        {"appears at 10001 ft", airborneLightsOnAppearing(10001.0, 9000.0), "1100101"},
        {"appears at 1500 ft, 1999 ft above ground", airborneLightsOnAppearing(1500.0, 1999.0), "1110110"},
        {"appears taxiing", groundLightsOnAppearing(phaseTaxi, false), "1101011"},
        {"appears pushed back", groundLightsOnAppearing(phasePushedBack, false), "1100011"},
        {"appears parked, nav lights wanted", groundLightsOnAppearing(phaseParked, true), "1000011"},
        {"appears parked, no nav lights", groundLightsOnAppearing(phaseParked, false), "0000011"},
        {"parked, cabin dark", parkedLights(true, false), "1000010"},
        {"parked, no nav lights, cabin lit", parkedLights(false, true), "0000011"},
    };
    for (const Case& c : cases) EXPECT_EQ(bits(c.lights), c.expected) << c.situation;
    EXPECT_EQ(approachHighCabinLight(), 1u);
    EXPECT_EQ(approachLowCabinLight(), 0u);
}

// A parked aircraft's cabin: one draw of the engine only where chance decides, so that the
// choices after it (liveries, stands) stay the same as before.
TEST(Lights, StaticCabinDrawsOnlyWhenChanceDecides)
{
    struct Case {
        const char* what;
        bool cargo;
        bool random;
        int draws;
    };
    const Case cases[] = {
        {"cargo stand", true, true, 0},
        {"no random choices", false, false, 0},
        {"random choices", false, true, 1},
    };
    for (const Case& c : cases) {
        std::mt19937 engine(3);
        std::mt19937 reference(3);
        const bool lit = staticCabinLit(c.cargo, c.random, engine);
        const bool expected = c.draws == 1 ? reference() % 10 < 9 : !c.cargo;
        EXPECT_EQ(lit, expected) << c.what;
        EXPECT_EQ(engine(), reference()) << c.what; // the same number of draws
    }
    // Nine in ten lit with random choices.
    std::mt19937 engine(11);
    int lit = 0;
    for (int i = 0; i < 1000; ++i) lit += staticCabinLit(false, true, engine);
    EXPECT_GT(lit, 850);
    EXPECT_LT(lit, 950);
}
