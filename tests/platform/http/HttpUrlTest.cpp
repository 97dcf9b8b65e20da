#include "platform/http/HttpUrl.h"

#include "LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <random>

TEST(HttpUrlTest, OnlyAbsoluteHttpAndHttpsAddressesWithAHostAreValid)
{
    EXPECT_EQ(HttpUrl::validated("https://collector.example/v1/events"), "https://collector.example/v1/events");
    EXPECT_EQ(HttpUrl::validated("http://127.0.0.1:8080/c?k=1"), "http://127.0.0.1:8080/c?k=1");
    EXPECT_TRUE(HttpUrl::validated("HTTPS://Collector.Example").has_value());
    for (const char* bad : {"", "collector.example/v1", "ftp://collector.example/", "file:///etc/passwd", "http://",
                            "http://exa mple.com/", "javascript:alert(1)", "/relative/path"})
        EXPECT_FALSE(HttpUrl::validated(bad).has_value()) << bad;
}

TEST(HttpUrlTest, AQueryItemIsAppendedAfterTheExistingOnesAndReadBackUnchanged)
{
    std::string value = R"({"a":"b c+d&e=f/é%","n":1})";
    auto url = HttpUrl::appendingQueryItem("http://127.0.0.1:9/c?key=1#part", "data", value);
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->rfind("http://127.0.0.1:9/c?key=1&data=", 0), 0u) << *url;
    EXPECT_EQ(url->find(' '), std::string::npos);
    EXPECT_EQ(HttpUrl::queryItem(*url, "data"), value);
    EXPECT_EQ(HttpUrl::queryItem(*url, "key"), "1");
    EXPECT_FALSE(HttpUrl::queryItem(*url, "missing").has_value());
    EXPECT_FALSE(HttpUrl::queryItem("http://h/c", "data").has_value());
    EXPECT_FALSE(HttpUrl::queryItem("http://h/c?data", "data").has_value());
    EXPECT_EQ(HttpUrl::queryItem("http://h/c?data=", "data"), "");
    EXPECT_FALSE(HttpUrl::appendingQueryItem("not a url", "data", "x").has_value());
    EXPECT_FALSE(HttpUrl::appendingQueryItem("http://h/c", "data", std::string("a\0b", 3)).has_value());
}

TEST(HttpUrlTest, EveryByteSurvivesTheQueryAsAnIndependentDecoderSeesIt)
{
    std::mt19937 random(20240531);
    for (int round = 0; round < 500; ++round) {
        std::string value(random() % 64, '\0');
        for (char& c : value)
            c = static_cast<char>(1 + random() % 255);
        auto url = HttpUrl::appendingQueryItem("http://127.0.0.1/c", "data", value);
        ASSERT_TRUE(url.has_value());
        std::string query = url->substr(url->find("data=") + 5);
        ASSERT_EQ(query.find_first_of("&# \r\n"), std::string::npos) << query;
        EXPECT_EQ(LoopbackHttpServer::decodeComponent(query), value);
        EXPECT_EQ(HttpUrl::queryItem(*url, "data"), value);
    }
}

TEST(HttpUrlTest, MalformedEscapesAreRefused)
{
    EXPECT_EQ(HttpUrl::decodeQueryComponent("a+b%20c%2B"), "a b c+");
    for (const char* bad : {"%", "%2", "%G0", "abc%"})
        EXPECT_FALSE(HttpUrl::decodeQueryComponent(bad).has_value()) << bad;
}
