// The traffic line parser: one aircraft per datagram, comma-separated fields, turned into a
// report for the traffic manager after the filters that decide whether it should see it at all.
#include "foundation/indicators.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "links/feed.h"
#include "links/feed_fields.h"
#include "foundation/geometry.h"
#include "foundation/utilities.h"
#include "links/simconnect_queues.h"
#include "links/traffic_handlers.h"
#include "links/udp_receiver.h"

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
constexpr std::size_t minimumFieldCount = trafficFieldsRead;
constexpr std::size_t categoryField = TrafficField::emitterCategory;

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
constexpr double latestReportTime = 4102444800.0; // s: 2100-01-01 UTC
constexpr double lowestAltitudeFt = -2000.0;      // below the lowest airports
constexpr double highestAltitudeFt = 100000.0;
constexpr double fastestKnots = 2000.0; // ground speed and true airspeed
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

// At this ground speed or less an aircraft may be taxiing, or it may be a helicopter or a light
// aircraft flying slowly: the speed alone does not tell.
constexpr double slowestAirborneKnots = 35.0;
// Barometric altitudes of aircraft on the ground stray from the airport's elevation by up to a
// few hundred feet (an unknown QNH alone makes 27 ft per hPa).
constexpr double airportLevelFeet = 300.0;

// A slow report is on the ground when the feed flags it so, or when it lies at the level of the
// airport under it; a slow one high above the ground (an orbiting helicopter) is in the air.
bool slowReportOnGround(std::string_view onGroundField, const Position& pos)
{
    if (onGroundField == "1") return true;
    const std::optional<double> elevation = trafficHandlers().airportElevationNear(LatLon{pos.lat, pos.lon});
    return elevation && std::fabs(pos.alt - *elevation) <= airportLevelFeet;
}

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

std::string formatLatLon(double latitude, double longitude)
{
    return fmt::format("{:.6f},{:.6f}", latitude, longitude);
}

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
    const std::string_view field = reader.fields[TrafficField::registration];
    if (field.size() > 12) return false;
    report.registration = isNull(field) ? std::string() : std::string(field);
    return true;
}

bool lf_copyCallsign(const TrafficReader& reader, TrafficReport& report)
{
    const std::string_view field = reader.fields[TrafficField::callsign];
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
    using F = TrafficField;
    // Lines with too few fields carry nothing usable; never index past the list.
    if (fields.size() < minimumFieldCount) return std::nullopt;
    TrafficReport report;

    const double reportTime =
        numberWithin(fields[F::timestamp], 0.0, latestReportTime, fmt::format("timestamp:{}", fields[F::timestamp]));
    latestFeedReportTime = reportTime;
    report.reportTime = reportTime;

    Position& pos = report.position;
    pos.lat = numberOrThrow(fields[F::latitude], fmt::format("lat:{}", fields[F::latitude]));
    pos.lon = numberOrThrow(fields[F::longitude], fmt::format("lon:{}", fields[F::longitude]));
    if (pos.lat < -90.0 || pos.lat > 90.0 || pos.lon < -180.0 || pos.lon > 180.0 || positionUnknown(pos.lat, pos.lon))
        throw std::runtime_error(fmt::format("lalo:{}", formatLatLon(pos.lat, pos.lon)));

    if (distanceNm({userLat.load(), userLon.load()}, {pos.lat, pos.lon}) > lateralRangeNm) return std::nullopt;

    if (!lf_copyRegistration(*this, report)) return std::nullopt;

    if (collectReportedFlights.load()) {
        const std::string_view callsign = fields[F::callsign];
        if (!callsign.empty() && !isNull(callsign) && callsign.find('@') == std::string_view::npos) {
            std::lock_guard lock(reportedFlightsMutex);
            reportedFlights.emplace(callsign);
        }
    }

    report.airline.clear();
    report.type.clear();
    if (const std::string_view type = fields[F::type]; !isNull(type) && type != "0" && type != "ZZZZ")
        report.type = std::string(type);

    const std::string_view category = fields.size() > categoryField ? fields[categoryField] : std::string_view();
    if (!gf_isWantedTarget(report, category)) return std::nullopt;

    pos.trueHeading.reset();
    pos.attitudeFromFeed = false;
    if (fields[F::dataSource] == "adsb_icao") {
        const double heading =
            numberOrThrow(fields[F::trueHeading], fmt::format("true heading:{}", fields[F::trueHeading]));
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
        const std::string_view field = fields[F::flightId];
        const auto result = std::from_chars(field.data(), field.data() + field.size(), id);
        if (field.empty() || result.ec != std::errc())
            throw std::runtime_error(fmt::format("hexid incorrect{}", field));
        if (!isLiveFlightId(id)) return std::nullopt;
        report.flightId = id;
    }

    pos.speed = numberWithin(fields[F::groundSpeed], 0.0, fastestKnots, fmt::format("gs:{}", fields[F::groundSpeed]));
    pos.alt = numberWithin(fields[F::altitude], lowestAltitudeFt, highestAltitudeFt,
                           fmt::format("altitude {} incorrect, from: {}", fields[F::altitude], data));

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
    if (pos.alt > 0.0 && pos.speed <= slowestAirborneKnots && slowReportOnGround(fields[F::onGround], pos))
        pos.alt = 0.0;
    pos.airborne = pos.alt > 0.0;

    if (!lf_copyCallsign(*this, report)) return std::nullopt;
    if (report.registration.empty() && report.callsign.empty()) return std::nullopt;
    if (!fitsTailNumber(report.callsign)) return std::nullopt;

    if (!pos.airborne) {
        if (!parkAirportSet.load()) return std::nullopt;
        if (distanceNm({parkLat.load(), parkLon.load()}, {pos.lat, pos.lon}) > 5.0) return std::nullopt;
    }
    if (fields[F::track].empty())
        pos.track = 0.0;
    else
        pos.track = normalisedTrack(
            numberWithin(fields[F::track], -360.0, 720.0, fmt::format("track incorrect {}", fields[F::track])));
    if (pos.track == 0.0 && pos.trueHeading) pos.track = *pos.trueHeading * radToDeg;

    pos.verticalSpeed = numberWithin(fields[F::verticalSpeed], -steepestFeetPerMinute, steepestFeetPerMinute,
                                     fmt::format("vs:{}", fields[F::verticalSpeed]));

    report.origin = isNull(fields[F::origin]) ? std::string() : std::string(fields[F::origin]);
    report.destination = isNull(fields[F::destination]) ? std::string() : std::string(fields[F::destination]);

    pos.bank.reset();
    if (pos.airborne) {
        const double roll = numberWithin(fields[F::roll], -steepestRollDegrees, steepestRollDegrees,
                                         fmt::format("roll:{}", fields[F::roll]));
        if (roll != -1.0 && roll != 0.0) pos.bank = -roll * degToRad;
    }

    pos.tas = numberWithin(fields[F::trueAirspeed], -1.0, fastestKnots,
                           fmt::format("TAS incorrect{}", fields[F::trueAirspeed]));
    if (pos.tas == -1.0) {
        pos.tas = defaultTas(pos.alt);
    } else if (pos.tas < 0.0) {
        throw std::runtime_error(fmt::format("TAS incorrect{}", fields[F::trueAirspeed]));
    }

    pos.stop = false;
    return report;
}

void TrafficReader::processLine()
{
    try {
        std::optional<TrafficReport> report = parseLine();
        if (!report) return;
        trafficHandlers().report(std::move(*report));
    } catch (const std::runtime_error&) {
        // A line that fails a check is dropped without a word.
    } catch (const std::exception& e) {
        datagramLog.write("exception in processLine",
                          fmt::format("exception in processLine: {}", gf_logExcerpt(e.what())));
    }
}

} // namespace qtr
