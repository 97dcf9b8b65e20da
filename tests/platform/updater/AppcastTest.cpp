#include "platform/updater/Appcast.h"

#include <gtest/gtest.h>

namespace {

const char* const feedHead = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><title>Tarnwick</title><link>https://example.org/tarnwick</link>
)";

Appcast parsed(const std::string& items)
{
    auto result = Appcast::parse(std::string(feedHead) + items + "</channel></rss>");
    if (auto* problem = std::get_if<std::string>(&result)) {
        ADD_FAILURE() << *problem;
        return {};
    }
    return std::get<Appcast>(result);
}

std::string problemWith(const std::string& document)
{
    auto result = Appcast::parse(document);
    auto* problem = std::get_if<std::string>(&result);
    return problem ? *problem : "(parsed)";
}

}

TEST(Appcast, ReadsVersionsFromEnclosuresAndElements)
{
    Appcast feed = parsed(R"(
<item><title>Version 0.2</title><link>https://example.org/notes/0.2</link>
  <enclosure url="https://example.org/0.2.tar.gz" sparkle:version="20" sparkle:shortVersionString="0.2" length="1" type="application/octet-stream"/>
</item>
<item><title>Version 0.3</title><sparkle:version>0.3.0</sparkle:version>
  <enclosure url="https://example.org/0.3.tar.gz"/></item>
<item><title>No version</title></item>
)");
    ASSERT_EQ(feed.items().size(), 3u);
    EXPECT_EQ(feed.link(), "https://example.org/tarnwick");
    const Appcast::Item& first = feed.items()[0];
    EXPECT_EQ(first.title, "Version 0.2");
    EXPECT_EQ(first.version, "20");
    EXPECT_EQ(first.shortVersionString, "0.2");
    EXPECT_EQ(first.displayVersion(), "0.2");
    EXPECT_EQ(first.bestLink(), "https://example.org/notes/0.2");
    const Appcast::Item& second = feed.items()[1];
    EXPECT_EQ(second.displayVersion(), "0.3.0");
    EXPECT_EQ(second.bestLink(), "https://example.org/0.3.tar.gz");
    EXPECT_EQ(feed.items()[2].displayVersion(), "");
}

TEST(Appcast, TheNewestItemIsTheHighestVersionWhereverItStands)
{
    Appcast feed = parsed(R"(
<item><sparkle:version>1.9</sparkle:version></item>
<item><title>unversioned</title></item>
<item><sparkle:version>1.10</sparkle:version></item>
<item><sparkle:version>1.10b1</sparkle:version></item>
)");
    ASSERT_TRUE(feed.newestItem());
    EXPECT_EQ(feed.newestItem()->displayVersion(), "1.10");

    EXPECT_FALSE(parsed("<item><title>only words</title></item>").newestItem());
    EXPECT_FALSE(parsed("").newestItem());
}

TEST(Appcast, AttributesOutsideTheSparkleNamespaceAreNotVersions)
{
    Appcast feed = parsed(R"(<item><enclosure url="u" version="9.9" xmlns:other="urn:other" other:version="8.8"/></item>)");
    ASSERT_EQ(feed.items().size(), 1u);
    EXPECT_FALSE(feed.items()[0].version);
}

TEST(Appcast, SaysWhyADocumentIsNotAFeed)
{
    EXPECT_NE(problemWith("").find("not"), std::string::npos);
    EXPECT_EQ(problemWith("<html><body>Not found</body></html>"), "the update feed is not an RSS document");
    EXPECT_NE(problemWith(std::string(feedHead) + "<item><sparkle:version>1.0</item>").find("not valid XML"),
              std::string::npos);
    EXPECT_NE(problemWith(std::string(feedHead) + "<item>").find("not valid XML"), std::string::npos);
    // A prefix nobody declared.
    EXPECT_NE(problemWith("<rss><channel><item><sparkle:version>1</sparkle:version></item></channel></rss>")
                  .find("not valid XML"),
              std::string::npos);
}

TEST(Appcast, EntityExpansionIsBounded)
{
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">";
    std::string previous = "a";
    for (char name = 'b'; name <= 'k'; ++name) {
        bomb += std::string("<!ENTITY ") + name + " \"" ;
        for (int i = 0; i < 10; ++i)
            bomb += "&" + previous + ";";
        bomb += "\">";
        previous = std::string(1, name);
    }
    bomb += "]><rss><channel><item><title>&k;</title></item></channel></rss>";
    EXPECT_NE(problemWith(bomb).find("not valid XML"), std::string::npos);
}
