// Recordings of the peer and the converter of the older 15-field captures.
#include "rtpeer.h"

#include "links/feed_fields.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace rtpeer {

namespace {

std::vector<std::string> splitAll(std::string_view text, char delimiter)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(delimiter, start);
        pieces.emplace_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) return pieces;
        start = at + 1;
    }
}

std::string joinAll(const std::vector<std::string>& pieces, char delimiter)
{
    std::string text;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i) text += delimiter;
        text += pieces[i];
    }
    return text;
}

std::string_view trimLineEnd(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    return line;
}

// Captures with a receive time in front: "1552343969.68 : AITFC,...". Where the marker is.
std::size_t timePrefixMarker(std::string_view line)
{
    const std::size_t marker = line.find(" : ");
    if (marker != std::string_view::npos && marker > 0 && marker < 20 &&
        line.substr(0, marker).find_first_not_of("0123456789.") == std::string_view::npos)
        return marker;
    return std::string_view::npos;
}

std::string_view withoutTimePrefix(std::string_view line)
{
    const std::size_t marker = timePrefixMarker(line);
    return marker == std::string_view::npos ? line : line.substr(marker + 3);
}

// The receive time in front of a line, if it has one.
std::optional<double> timePrefix(std::string_view line)
{
    const std::size_t marker = timePrefixMarker(line);
    double t = 0.0;
    if (marker == std::string_view::npos || std::from_chars(line.data(), line.data() + marker, t).ec != std::errc())
        return std::nullopt;
    return t;
}

// A plausible emitter category for the common types of the captures (the older format has
// none); other types get none.
std::string categoryOfType(const std::string& type)
{
    static const std::map<std::string, std::string> categories{
        {"C152", "A1"}, {"C172", "A1"}, {"C82S", "A1"}, {"P28A", "A1"}, {"PA44", "A1"}, {"PA46", "A1"}, {"PC12", "A1"},
        {"S22T", "A1"}, {"T210", "A1"}, {"A20N", "A3"}, {"A21N", "A3"}, {"A320", "A3"}, {"A321", "A3"}, {"B737", "A3"},
        {"B738", "A3"}, {"B752", "A3"}, {"E75L", "A3"}, {"B763", "A5"}, {"B77L", "A5"}, {"B77W", "A5"}, {"B789", "A5"},
        {"MD11", "A5"}, {"A388", "A5"}, {"AS50", "A7"}, {"R66", "A7"},  {"UH1", "A7"},
    };
    const auto it = categories.find(type);
    return it == categories.end() ? std::string() : it->second;
}

} // namespace

std::vector<RecordedDatagram> parseRecording(const std::string& text)
{
    std::vector<RecordedDatagram> datagrams;
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    while (std::getline(in, raw)) {
        ++number;
        const std::string_view line = trimLineEnd(raw);
        if (line.empty() || line.front() == '#') continue;
        const std::size_t first = line.find(' ');
        const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
        if (second == std::string_view::npos)
            throw std::runtime_error(fmt::format("recording line {}: {}", number, line));
        RecordedDatagram d;
        const auto result = std::from_chars(line.data(), line.data() + first, d.at);
        const std::string_view kind = line.substr(first + 1, second - first - 1);
        if (result.ec != std::errc() || result.ptr != line.data() + first || d.at < 0 ||
            (kind != "traffic" && kind != "qnh"))
            throw std::runtime_error(fmt::format("recording line {}: {}", number, line));
        d.qnh = kind == "qnh";
        d.text = std::string(line.substr(second + 1));
        datagrams.push_back(std::move(d));
    }
    std::stable_sort(datagrams.begin(), datagrams.end(),
                     [](const RecordedDatagram& a, const RecordedDatagram& b) { return a.at < b.at; });
    return datagrams;
}

std::vector<RecordedDatagram> loadRecording(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return parseRecording(text.str());
}

std::string formatRecording(const std::vector<RecordedDatagram>& datagrams, const std::string& comment)
{
    std::string text;
    for (const std::string& line : splitAll(comment, '\n'))
        if (!line.empty()) text += "# " + line + "\n";
    for (const RecordedDatagram& d : datagrams)
        text += fmt::format("{:.2f} {} {}\n", d.at, d.qnh ? "qnh" : "traffic", d.text);
    return text;
}

std::optional<std::string> convertAitfcLine(std::string_view line)
{
    line = trimLineEnd(withoutTimePrefix(line));
    if (!line.starts_with("AITFC,")) return std::nullopt;
    const std::vector<std::string> old = splitAll(line, ',');
    if (old.size() < qtr::aitfcFieldCount) return std::nullopt;
    using A = qtr::AitfcField;
    // Field by field in the order of the newer format (42 fields, 0 to 41), by position rather
    // than by the program's names of them (see links/feed_fields.h).
    const std::vector<std::string> f{
        "RTTFC",
        old[A::flightId],
        old[A::latitude],
        old[A::longitude],
        old[A::altitude],
        old[A::verticalSpeed],
        old[A::airborne] == "1" ? "0" : "1", // the newer format flags the ground, the older the air
        old[A::track],
        old[A::groundSpeed],
        old[A::callsign],
        old[A::type],
        old[A::registration],
        old[A::origin],
        old[A::destination],
        old[A::timestamp],
        "",
        "",
        "adsb_icao",
        old[A::altitude],
        "",
        "-1", // no true airspeed
        "",
        "",
        "-1", // no roll
        "",
        old[A::track].empty() ? std::string("-1") : old[A::track], // no wind in the old data: heading = track
        old[A::verticalSpeed],
        "none",
        categoryOfType(old[A::type]),
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "0"};
    return joinAll(f, ',');
}

std::vector<RecordedDatagram> convertCapture(const std::string& capture, std::size_t maxTraffic)
{
    std::vector<RecordedDatagram> datagrams;
    std::istringstream in(capture);
    std::string raw;
    double lastTime = -1.0;
    std::size_t traffic = 0;
    while (std::getline(in, raw)) {
        const std::optional<double> received = timePrefix(raw);
        std::string line(trimLineEnd(withoutTimePrefix(raw)));
        if (line.starts_with("{")) {
            // Weather lines keep what the QNH reader needs: the station and its QNH.
            const nlohmann::json weather = nlohmann::json::parse(line, nullptr, false);
            if (weather.is_object() && weather.contains("QNH")) {
                nlohmann::json qnh{{"QNH", weather["QNH"]}};
                if (weather.contains("ICAO")) qnh["ICAO"] = weather["ICAO"];
                datagrams.push_back({lastTime, true, qnh.dump()});
            }
            continue;
        }
        // Captures with receive times may leave the report's own time stamp out (14 fields): the
        // receive time stands in for it.
        if (received && splitAll(line, ',').size() == qtr::aitfcFieldCount - 1)
            line += fmt::format(",{:.2f}", *received);
        std::optional<std::string> converted = convertAitfcLine(line);
        if (!converted) continue;
        if (maxTraffic && traffic == maxTraffic) break;
        const std::string stamp = splitAll(*converted, ',')[14];
        double t = 0.0;
        if (std::from_chars(stamp.data(), stamp.data() + stamp.size(), t).ec != std::errc()) {
            if (!received) continue;
            t = *received;
        }
        ++traffic;
        lastTime = t;
        datagrams.push_back({t, false, std::move(*converted)});
    }
    double start = -1.0;
    for (const RecordedDatagram& d : datagrams)
        if (d.at >= 0 && (start < 0 || d.at < start)) start = d.at;
    for (RecordedDatagram& d : datagrams) d.at = d.at < 0 ? 0.0 : d.at - start;
    std::stable_sort(datagrams.begin(), datagrams.end(),
                     [](const RecordedDatagram& a, const RecordedDatagram& b) { return a.at < b.at; });
    return datagrams;
}

std::size_t convertCaptureFile(const std::string& capturePath, const std::string& recordingPath, std::size_t maxTraffic)
{
    std::ifstream in(std::filesystem::path(capturePath), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + capturePath);
    std::ostringstream capture;
    capture << in.rdbuf();
    const auto recording = convertCapture(capture.str(), maxTraffic);
    if (std::none_of(recording.begin(), recording.end(), [](const RecordedDatagram& d) { return !d.qnh; }))
        throw std::runtime_error(fmt::format("{} holds no traffic line with a time: nothing written", capturePath));
    const std::string text =
        formatRecording(recording, fmt::format("converted from {} by rtpeer convert",
                                               std::filesystem::path(capturePath).filename().string()));
    std::ofstream out(std::filesystem::path(recordingPath), std::ios::binary);
    out << text;
    out.close();
    if (!out) throw std::runtime_error("cannot write " + recordingPath);
    return recording.size();
}

std::string restampTraffic(std::string_view datagram, double epochSeconds)
{
    std::vector<std::string> fields = splitAll(datagram, ',');
    if (fields.size() > 14) fields[14] = fmt::format("{:.2f}", epochSeconds);
    return joinAll(fields, ',');
}

} // namespace rtpeer
