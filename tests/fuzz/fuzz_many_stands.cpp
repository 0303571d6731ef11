// Feeds the reader of the park airport's file an airport with many stands, laid out by the
// bytes: the first two give the number of stands (up to 65,535, above what a file may hold), the
// others, four per stand and repeated, each stand's offset from the airport's centre (often the
// same place, to crowd stands together), radius and heading. What it guards is the reader's cost
// (its linking of neighbouring stands), which libFuzzer's time-out turns into a finding.
#include "airports/airport_file_reader.h"
#include "foundation/errors.h"
#include "traffic/state/stands.h"
#include "traffic/state/traffic_state.h"
#include "fuzz_support.h"

#include <fmt/format.h>

#include <string>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qfuzz::start(argc, argv);
    return 0;
}

namespace {

std::string airportFile(const std::uint8_t* data, std::size_t size)
{
    std::string text =
        "<?xml version=\"1.0\"?>\n<meta><info name=\"author\" value=\"a\"/><info name=\"date\" value=\"d\"/>"
        "<info name=\"version\" value=\"1.0.0\"/></meta>\n<parameters><parameter name=\"altitude\" "
        "value=\"83\"/></parameters>\n<parkpositions>";
    const std::size_t count = size < 2 ? 0 : (static_cast<std::size_t>(data[0]) << 8) | data[1];
    const std::size_t layout = size < 6 ? 0 : (size - 2) / 4;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* s = layout == 0 ? nullptr : data + 2 + 4 * (i % layout);
        const int north = s ? s[0] - 128 : 0, east = s ? s[1] - 128 : 0;
        text += fmt::format(R"(<parkpos id="{}" latitude="{:.6f}" longitude="{:.6f}" heading="{}" radius="{}"/>)", i,
                            51.47 + 1e-5 * north + 1e-7 * static_cast<double>(i % 97), -0.45 + 1e-5 * east,
                            s ? s[3] * 3 : 0, s ? s[2] : 20);
    }
    return text + "</parkpositions>\n";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text = airportFile(data, size);
    qfuzz::clearFolder("airports");
    qfuzz::writeInput("airports/my_thirdparty/ZZZZ.xml", reinterpret_cast<const std::uint8_t*>(text.data()),
                      text.size());
    qtr::parkAirportIcao = "ZZZZ";
    qtr::ApfFileRecord record;
    qtr::QualityPair quality;
    try {
        (void)qtr::gf_readApf("airports/my_thirdparty/ZZZZ.xml", record, quality);
    } catch (const qtr::UserErrorException&) {
        // More stands than an airport can have is a user error by design.
    }
    qtr::clearStands();
    qtr::parkFileLoaded = false;
    qtr::parkAirportIcao.clear();
    return 0;
}
