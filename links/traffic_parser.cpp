// The traffic line parser: one aircraft per datagram, comma-separated fields, turned into a
// report for the traffic manager after the filters that decide whether it should see it at all.
#include "foundation/indicators.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "links/feed.h"
#include "foundation/geometry.h"
#include "foundation/utilities.h"
#include "links/simconnect_queues.h"
#include "links/udp_receiver.h"
#include "traffic/intake.h"

#include <fmt/format.h>

#include <charconv>
#include <optional>
#include <cmath>
#include <stdexcept>
#include <unordered_set>

namespace qtr {

namespace {

// Fields 0 to 27 must be there; the emitter category (28) may be left off, and an empty last
// field is no field at all, so a missing category counts as an empty one.
constexpr std::size_t minimumFieldCount = 28;
constexpr std::size_t categoryField = 28;

// A plain decimal number at the very start of the field; the rest of the field is ignored.
// Empty fields, leading blanks or signs other than '-', and non-finite values ("nan", "inf")
// all fail.
bool readNumber(std::string_view field, double& value)
{
    if (field.empty()) return false;
    const auto result = std::from_chars(field.data(), field.data() + field.size(), value);
    return result.ec == std::errc() && std::isfinite(value);
}

double numberOrThrow(std::string_view field, const std::string& message)
{
    double value = 0.0;
    if (!readNumber(field, value)) throw std::runtime_error(message);
    return value;
}

// A number that must also lie within what an aircraft (or the feed's clock) can report; a value
// outside fails like one that is not a number, so nothing impossible reaches the motion.
double numberWithin(std::string_view field, double low, double high, const std::string& message)
{
    const double value = numberOrThrow(field, message);
    if (value < low || value > high) throw std::runtime_error(message);
    return value;
}

// Physical bounds of the report fields.
constexpr double latestReportTime = 4102444800.0;  // s: 2100-01-01 UTC
constexpr double lowestAltitudeFt = -2000.0;       // below the lowest airports
constexpr double highestAltitudeFt = 100000.0;
constexpr double fastestKnots = 2000.0;            // ground speed and true airspeed
constexpr double steepestFeetPerMinute = 50000.0;
constexpr double steepestRollDegrees = 180.0;

// A track of -360 to 720 degrees brought into 0 to 360 (360 itself stays).
double normalisedTrack(double track)
{
    if (track < 0.0) return track + 360.0;
    if (track > 360.0) return track - 360.0;
    return track;
}

bool isNull(std::string_view field) { return field == "null"; }

bool positionUnknown(double lat, double lon) { return lat >= 0.0 && lat <= 0.0009 && lon >= 0.0 && lon <= 0.05; }

double defaultTas(double altitude)
{
    if (altitude <= 2000) return 180;
    if (altitude <= 5000) return 220;
    if (altitude <= 10000) return 250;
    if (altitude <= 20000) return 350;
    return 430;
}

} // namespace

std::string formatLatLon(double latitude, double longitude) { return fmt::format("{:.6f},{:.6f}", latitude, longitude); }

bool gf_isNonAircraftType(std::string_view typeCode)
{
    static const std::unordered_set<std::string_view> nonAircraft{"BALL", "EMER", "GLID", "GRND", "GND",
                                                                   "PARA", "SERV", "SHIP", "VENT"};
    return typeCode.size() > 4 || nonAircraft.contains(typeCode);
}

bool gf_isWantedTarget(const TrafficReport& report, std::string_view emitterCategory)
{
    if (report.type.empty()) return false;
    if (emitterCategory.empty() || isNull(emitterCategory)) return true;
    for (std::string_view unwanted : {"B1", "B2", "B4", "C1", "C2"})
        if (emitterCategory == unwanted) return false;
    return !gf_isNonAircraftType(report.type);
}

bool lf_copyRegistration(const TrafficReader& reader, TrafficReport& report)
{
    const std::string_view field = reader.fields[11];
    if (field.size() > 12) return false;
    report.registration = isNull(field) ? std::string() : std::string(field);
    return true;
}

bool lf_copyCallsign(const TrafficReader& reader, TrafficReport& report)
{
    const std::string_view field = reader.fields[9];
    if (field == "ERARMTR0" || field == "AIRPORT1") return false;
    if (isNull(field) || field.find('@') != std::string_view::npos)
        report.callsign.clear();
    else
        report.callsign = std::string(field);
    return true;
}

bool TrafficReader::fitsTailNumber(const std::string& callsign)
{
    if (callsign.size() <= maxTailNumberLength) return true;
    // Said once per callsign: RealTraffic repeats the flight every few seconds.
    if (tooLongCallsigns.size() < 256 && tooLongCallsigns.insert(callsign).second)
        logLine(fmt::format("callsign \"{}\" is longer than a tail number of {} characters: its reports are dropped",
                            gf_logExcerpt(callsign, 40), maxTailNumberLength));
    return false;
}

void TrafficReader::onPacket()
{
    if (data.find(" VEH") != std::string_view::npos) return;
    splitFields();
    processLine();
}

void TrafficReader::splitFields()
{
    fields.clear();
    std::size_t start = 0;
    for (std::size_t comma = data.find(','); comma != std::string_view::npos; comma = data.find(',', start)) {
        fields.push_back(data.substr(start, comma - start));
        start = comma + 1;
    }
    // The text after the last comma is a field only when it is not empty.
    if (start < data.size()) fields.push_back(data.substr(start));
}

std::optional<TrafficReport> TrafficReader::parseLine()
{
    // Lines with too few fields carry nothing usable; never index past the list.
    if (fields.size() < minimumFieldCount) return std::nullopt;
    TrafficReport report;

    const double reportTime = numberWithin(fields[14], 0.0, latestReportTime, fmt::format("timestamp:{}", fields[14]));
    latestFeedReportTime = reportTime;
    report.reportTime = reportTime;

    Position& pos = report.position;
    pos.lat = numberOrThrow(fields[2], fmt::format("lat:{}", fields[2]));
    pos.lon = numberOrThrow(fields[3], fmt::format("lon:{}", fields[3]));
    if (pos.lat < -90.0 || pos.lat > 90.0 || pos.lon < -180.0 || pos.lon > 180.0 || positionUnknown(pos.lat, pos.lon))
        throw std::runtime_error(fmt::format("lalo:{}", formatLatLon(pos.lat, pos.lon)));

    if (distanceNm({userLat.load(), userLon.load()}, {pos.lat, pos.lon}) > lateralRangeNm) return std::nullopt;

    if (!lf_copyRegistration(*this, report)) return std::nullopt;

    if (collectReportedFlights.load()) {
        const std::string_view callsign = fields[9];
        if (!callsign.empty() && !isNull(callsign) && callsign.find('@') == std::string_view::npos) {
            std::lock_guard lock(reportedFlightsMutex);
            reportedFlights.emplace(callsign);
        }
    }

    report.airline.clear();
    report.type.clear();
    if (const std::string_view type = fields[10]; !isNull(type) && type != "0" && type != "ZZZZ")
        report.type = std::string(type);

    const std::string_view category = fields.size() > categoryField ? fields[categoryField] : std::string_view();
    if (!gf_isWantedTarget(report, category)) return std::nullopt;

    pos.trueHeading.reset();
    pos.attitudeFromFeed = false;
    if (fields[17] == "adsb_icao") {
        const double heading = numberOrThrow(fields[25], fmt::format("true heading:{}", fields[25]));
        if (heading > 360.0) throw std::runtime_error(fmt::format("true heading:{:.2F}", heading));
        if (heading == 0.0) {
            pos.trueHeading = twoPi;
            pos.attitudeFromFeed = true;
        } else if (heading > 0.0) {
            pos.trueHeading = heading * degToRad;
            pos.attitudeFromFeed = true;
        }
    }

    {
        std::uint32_t id = 0;
        const std::string_view field = fields[1];
        const auto result = std::from_chars(field.data(), field.data() + field.size(), id);
        if (field.empty() || result.ec != std::errc()) throw std::runtime_error(fmt::format("hexid incorrect{}", field));
        if (id <= 10000) return std::nullopt;
        report.flightId = id;
    }

    pos.speed = numberWithin(fields[8], 0.0, fastestKnots, fmt::format("gs:{}", fields[8]));
    pos.alt = numberWithin(fields[4], lowestAltitudeFt, highestAltitudeFt,
                           fmt::format("altitude {} incorrect, from: {}", fields[4], data));

    // Ground rules (feet, knots).
    if (pos.alt <= 0.0) {
        pos.alt = 0.0;
    } else if (pos.alt < 14000.0) {
        const double h = parkAltitudeKnown.load() ? pos.alt - parkAltitude.load() : pos.alt + 1000.0;
        if (h <= 0.0) {
            pos.alt = 0.0;
        } else {
            const double a = std::fabs(h);
            if ((a <= 45 && pos.speed <= 120) || (a <= 90 && pos.speed <= 80) || (a <= 120 && pos.speed <= 43))
                pos.alt = 0.0;
        }
    }
    if (pos.speed <= 35.0) pos.alt = 0.0;
    pos.airborne = pos.alt > 0.0;

    if (!lf_copyCallsign(*this, report)) return std::nullopt;
    if (report.registration.empty() && report.callsign.empty()) return std::nullopt;
    if (!fitsTailNumber(report.callsign)) return std::nullopt;

    if (!pos.airborne) {
        if (!parkAirportSet.load()) return std::nullopt;
        if (distanceNm({parkLat.load(), parkLon.load()}, {pos.lat, pos.lon}) > 5.0) return std::nullopt;
    }
    if (fields[7].empty())
        pos.track = 0.0;
    else
        pos.track = normalisedTrack(numberWithin(fields[7], -360.0, 720.0, fmt::format("track incorrect {}", fields[7])));
    if (pos.track == 0.0 && pos.trueHeading) pos.track = *pos.trueHeading * radToDeg;

    pos.verticalSpeed =
        numberWithin(fields[5], -steepestFeetPerMinute, steepestFeetPerMinute, fmt::format("vs:{}", fields[5]));

    report.origin = isNull(fields[12]) ? std::string() : std::string(fields[12]);
    report.destination = isNull(fields[13]) ? std::string() : std::string(fields[13]);

    pos.bank.reset();
    if (pos.airborne) {
        const double roll =
            numberWithin(fields[23], -steepestRollDegrees, steepestRollDegrees, fmt::format("roll:{}", fields[23]));
        if (roll != -1.0 && roll != 0.0) pos.bank = -roll * degToRad;
    }

    pos.tas = numberWithin(fields[20], -1.0, fastestKnots, fmt::format("TAS incorrect{}", fields[20]));
    if (pos.tas == -1.0) {
        pos.tas = defaultTas(pos.alt);
    } else if (pos.tas < 0.0) {
        throw std::runtime_error(fmt::format("TAS incorrect{}", fields[20]));
    }

    pos.stop = false;
    return report;
}

void TrafficReader::processLine()
{
    try {
        std::optional<TrafficReport> report = parseLine();
        if (!report) return;
        // Live traffic plays 30 s behind the feed.
        report->position.time = tickCount.load() + 3000;
        qtr::processLine(std::move(*report));
    } catch (const std::runtime_error&) {
        // A line that fails a check is dropped without a word.
    } catch (const std::exception& e) {
        datagramLog.write("exception in processLine", fmt::format("exception in processLine: {}", gf_logExcerpt(e.what())));
    }
}

} // namespace qtr
