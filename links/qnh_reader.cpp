// The QNH reader: a small JSON datagram with the sea-level pressure at the user's position,
// in hPa (930 to 1080) or in hundredths of an inch of mercury (above 1080).
#include "foundation/indicators.h"
#include "foundation/log.h"
#include "links/udp_receiver.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <climits>
#include <cmath>
#include <optional>
#include <string>

namespace qtr {

const nlohmann::json& qnhMember(const nlohmann::json& object)
{
    static const nlohmann::json none;
    const auto it = object.find("QNH");
    return it == object.end() ? none : *it;
}

namespace {

// The value as a whole number, still wide; empty when there is no usable QNH in it.
std::optional<double> qnhValue(const nlohmann::json& value, const std::string& text, RepeatLimitedLog& log)
{
    if (value.is_number_integer()) {
        return value.is_number_unsigned() ? static_cast<double>(value.get<std::uint64_t>())
                                          : static_cast<double>(value.get<std::int64_t>());
    }
    if (value.is_number_float()) {
        const double wide = value.get<double>();
        // Out of the single-precision range the conversion would be undefined.
        if (!std::isfinite(wide) || std::fabs(wide) > 3.0e38) return wide;
        return std::round(static_cast<double>(static_cast<float>(wide)));
    }
    if (value.is_string()) {
        try {
            return std::stoi(value.get<std::string>());
        } catch (const std::invalid_argument& e) {
            log.write("QNH string invalid arg", fmt::format("===> QNH string invalid arg: {}", e.what()));
        } catch (const std::out_of_range& e) {
            log.write("QNH string out of range", fmt::format("===> QNH string out of range: {}", e.what()));
        }
        return 1013.0;
    }
    log.write("no QNH", fmt::format("no QNH {}", gf_logExcerpt(text)));
    return std::nullopt;
}

} // namespace

void QnhReader::onPacket()
{
    const std::string text(data);
    try {
        const nlohmann::json document = nlohmann::json::parse(text);
        if (!document.is_object()) throw std::runtime_error("not a JSON object");
        const nlohmann::json& member = qnhMember(document);
        if (member.is_null() || (member.is_object() && member.empty()) || (member.is_array() && member.empty())) {
            datagramLog.write("no QNH", fmt::format("no QNH {}", gf_logExcerpt(text)));
            return;
        }
        const std::optional<double> wide = qnhValue(member, text, datagramLog);
        if (!wide) return;
        double v = *wide;
        if (std::isfinite(v) && v > 1080.0) v = std::round(v * 0.33865307);
        // Range-check before narrowing: 1e300 or 4294968309 must not wrap into a valid value.
        if (!std::isfinite(v) || v < 930.0 || v > 1080.0) {
            // A sender's 1e300 is told in three digits, not three hundred.
            const std::string told = !std::isfinite(v)    ? "?"
                                     : std::fabs(v) < 1e6 ? fmt::format("{:.0f}", v)
                                                          : fmt::format("{:.3g}", v);
            datagramLog.write("Strange QNH", fmt::format("? Strange QNH {} found in {}", told, gf_logExcerpt(text)));
            return;
        }
        const std::int32_t qnh = static_cast<std::int32_t>(v);
        if (qnh == lastQnh.load() && qnh != 1013) return;
        lastQnh = qnh;
        trafficReader.currentQnh = qnh;
        currentQnh.exchange(qnh);
        indicators.qnh = qnh;
        if (indicators.weatherLamp.load() == 2) indicators.weatherLamp = 1;
        indicators.invalidate(Band::links);
    } catch (const std::exception& e) {
        datagramLog.write("QNH exception",
                          fmt::format("Exception {}, in {}", gf_logExcerpt(e.what()), gf_logExcerpt(text)));
    }
}

} // namespace qtr
