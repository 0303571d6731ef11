#include "foundation/log.h"
#include "foundation/version.h"
#include "foundation/xml_meta.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <functional>
#include <regex>
#include <vector>

using namespace qtr;

namespace {

std::string loggedBy(const std::function<void()>& action)
{
    const auto folder = qtest::freshFolder("meta");
    qtest::ScopedCwd cwd(folder);
    gf_startLog();
    action();
    closeLog();
    std::string text;
    for (char c : qtest::readFile(folder / "Log.txt"))
        if (c != '\r') text += c;
    return text.substr(text.find('\n') + 1);
}

int count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

pugi::xml_document parsed(const std::string& text)
{
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_string(text.c_str())) << text;
    return doc;
}

} // namespace

TEST(XmlMeta, WrittenSavedReadAndChecked)
{
    const std::pair<const char*, const char*> simulators[] = {{"MSFS", "2020"}, {"MSFS2024", "2024"}};
    for (const auto& [simulator, expected] : simulators) {
        simulatorName = simulator;
        pugi::xml_document doc;
        ASSERT_TRUE(writeXmlMeta(doc));
        doc.append_child("liveries").append_child("livery");
        const auto path = qtest::freshFolder("meta-file") / "LiveriesScanned.xml";
        ASSERT_TRUE(doc.save_file(path.c_str()));

        pugi::xml_document back;
        ASSERT_TRUE(back.load_file(path.c_str()));
        EXPECT_STREQ(back.first_child().name(), "meta");
        EXPECT_STREQ(back.first_child().next_sibling().name(), "liveries");
        std::vector<std::pair<std::string, std::string>> entries;
        for (pugi::xml_node info : back.child("meta").children()) {
            EXPECT_STREQ(info.name(), "info");
            EXPECT_STREQ(info.first_attribute().name(), "name");
            entries.emplace_back(info.attribute("name").as_string(), info.attribute("value").as_string());
        }
        ASSERT_EQ(entries.size(), 5u);
        const char* names[] = {"author", "version", "date", "copyright", "MSFS"};
        for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(entries[i].first, names[i]);
        EXPECT_EQ(entries[0].second, "Quillmarsh");
        EXPECT_EQ(entries[1].second, programVersion().toString());
        EXPECT_TRUE(std::regex_match(entries[2].second, std::regex("[A-Z][a-z]{2} \\d{2}, \\d{4}")))
            << entries[2].second;
        EXPECT_FALSE(entries[3].second.empty());
        EXPECT_EQ(entries[4].second, expected) << simulator;

        EXPECT_EQ(loggedBy([&] { EXPECT_TRUE(checkXmlMeta(back)); }), "");
        EXPECT_EQ(metaAuthor.value(), "Quillmarsh");
        EXPECT_EQ(metaVersion.value(), programVersion().toString());
        EXPECT_TRUE(readXmlMetaEntry(back, metaSimulator));
        EXPECT_EQ(metaSimulator.value(), expected);
    }
    simulatorName = "MSFS";
}

TEST(XmlMeta, Check)
{
    struct Case {
        const char* what;
        std::string xml;
        bool passes;
        std::string author; // what the check leaves in the author descriptor
    };
    const Case cases[] = {
        {"author, date and version only",
         "<meta><info name=\"version\" value=\"1.2.3\"/><info name=\"date\" value=\"d\"/>"
         "<info name=\"author\" value=\"a\"/></meta><x/>",
         true, "a"},
        {"author without value counts",
         "<meta><info name=\"author\"/><info name=\"date\" value=\"d\"/><info name=\"version\" value=\"v\"/></meta>",
         true, ""},
        {"first of two authors",
         "<meta><info name=\"author\" value=\"first\"/><info name=\"author\" value=\"second\"/>"
         "<info name=\"date\" value=\"d\"/><info name=\"version\" value=\"v\"/></meta>",
         true, "first"},
        {"no date", "<meta><info name=\"author\" value=\"a\"/><info name=\"version\" value=\"v\"/></meta>", false, "a"},
        {"no meta", "<parkpositions/>", false, ""},
        {"nested meta",
         "<root><meta><info name=\"author\" value=\"a\"/><info name=\"date\" value=\"d\"/>"
         "<info name=\"version\" value=\"v\"/></meta></root>",
         false, ""},
    };
    for (const auto& c : cases) {
        const pugi::xml_document doc = parsed(c.xml);
        bool result = !c.passes;
        const std::string log = loggedBy([&] { result = checkXmlMeta(doc); });
        EXPECT_EQ(result, c.passes) << c.what;
        EXPECT_EQ(count(log, "===> meta data incorrect?\n"), c.passes ? 0 : 1) << c.what << log;
        EXPECT_EQ(metaAuthor.value(), c.author) << c.what;
    }
}

TEST(XmlMeta, NodesThatCannotTakeTheBlockFail)
{
    pugi::xml_document doc;
    pugi::xml_node element = doc.append_child("root");
    pugi::xml_node text = element.append_child(pugi::node_pcdata);
    EXPECT_FALSE(writeXmlMeta(pugi::xml_node()));
    EXPECT_FALSE(writeXmlMeta(text));
    EXPECT_FALSE(element.child("meta"));
    EXPECT_TRUE(writeXmlMeta(element));
    EXPECT_EQ(std::distance(element.child("meta").begin(), element.child("meta").end()), 5);

    EXPECT_EQ(metaXPath("author"), "/meta/info[@name='author']");
    // A name that breaks the query is not read as present.
    StringParameter odd("it's", "x");
    std::string log = loggedBy([&] { EXPECT_FALSE(readXmlMetaEntry(parsed("<meta/>"), odd)); });
    EXPECT_EQ(odd.value(), "");
    EXPECT_FALSE(log.empty());
}
