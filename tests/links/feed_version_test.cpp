// RealTraffic's handshake reply: the edition and version it names, and replies that are no such
// thing, which leave the standard edition and never throw.
#include "foundation/indicators.h"
#include "foundation/time_text.h"
#include "links/feed.h"
#include "link_test_support.h"

#include <gtest/gtest.h>

using namespace qtr;

TEST(FeedVersionReply, EditionsAndVersionText)
{
    struct Case {
        const char* reply;
        bool professional;
        const char* text;
    };
    for (const Case& c :
         {Case{R"({ "version":"10.0.240","level": 2 })", true, "RT prof edition: 10.0.240"},
          Case{R"({"version":"9.1","level":1})", false, "RT stnd edition: 9.1"}, Case{"{}", false, "RT stnd edition: "},
          Case{R"({"level":"2","version":5})", false, "RT stnd edition: "}, Case{"[1,2]", false, ""},
          Case{"{\"version\":", false, ""}, Case{"not json at all\r\n", false, ""}}) {
        SCOPED_TRACE(c.reply);
        feedProfessional = !c.professional;
        indicators.setText(indicators.feedVersionText, "old");
        EXPECT_NO_THROW(parseFeedVersion(c.reply));
        EXPECT_EQ(feedProfessional.load(), c.professional);
        EXPECT_EQ(indicators.text(indicators.feedVersionText), c.text);
    }
    feedProfessional = false;
    indicators.setText(indicators.feedVersionText, "");
}

// A reply that is no JSON goes into the log once, as an excerpt with its control bytes written
// out: a peer may send kilobytes of anything.
TEST(FeedVersionReply, AnUnreadableReplyIsLoggedAsAnExcerpt)
{
    linktest::ScopedLog log("feed-version-excerpt");
    std::string reply = "version\x01\r\n";
    reply.resize(16384, 'x');
    parseFeedVersion(reply);
    const std::string text = log.text();
    EXPECT_NE(text.find("RealTraffic version reply is not JSON: version\\x01\\x0D\\x0Axxx"), std::string::npos) << text;
    EXPECT_NE(text.find(" (16384 bytes)"), std::string::npos);
    EXPECT_EQ(text.find('\x01'), std::string::npos);
    EXPECT_LT(text.size(), 1000u);
}
