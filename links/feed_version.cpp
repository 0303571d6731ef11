// RealTraffic's reply to the handshake: which edition is running, and its version. Kept apart
// from the feed server's sockets (feed.cpp) so that it is read the same way everywhere.
#include "links/feed.h"

#include "foundation/indicators.h"
#include "foundation/log.h"
#include "foundation/time_text.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace qtr {

void parseFeedVersion(const std::string& reply)
{
    if (reply.empty()) {
        setStatus("No RealTraffic version received?", true);
        feedProfessional = false;
        return;
    }
    const nlohmann::json document = nlohmann::json::parse(reply, nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        // A reply we cannot read leaves the standard edition; the run goes on.
        // An excerpt only: the reply is the peer's, of any length and any bytes.
        if (document.is_discarded())
            logLine(fmt::format("RealTraffic version reply is not JSON: {}", gf_logExcerpt(reply)));
        feedProfessional = false;
        indicators.setText(indicators.feedVersionText, "");
        indicators.invalidate(Band::links);
        return;
    }
    const auto level = document.find("level");
    const bool professional = level != document.end() && level->is_number() && level->get<double>() == 2.0;
    const auto version = document.find("version");
    const std::string versionText = version != document.end() && version->is_string() ? version->get<std::string>()
                                                                                      : "";
    feedProfessional = professional;
    indicators.setText(indicators.feedVersionText,
                       fmt::format("RT{} edition: {}", professional ? " prof" : " stnd", versionText));
    indicators.invalidate(Band::links);
}

} // namespace qtr
