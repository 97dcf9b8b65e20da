#include "telemetry/TelemetryStore.h"

#include "TelemetryTestSupport.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>

using nlohmann::json;

// Seeded random mutation of valid inputs. A short pass runs with the tests;
// TARNWICK_FUZZ_SECONDS runs each fuzzer for that long instead.
namespace {

class Mutator {
public:
    explicit Mutator(std::uint32_t seed) : random_(seed) {}

    std::string mutate(std::string text)
    {
        int rounds = 1 + static_cast<int>(below(4));
        for (int i = 0; i < rounds; ++i)
            text = mutateOnce(std::move(text));
        return text;
    }

    std::size_t below(std::size_t bound) { return bound == 0 ? 0 : random_() % bound; }

private:
    std::string mutateOnce(std::string text)
    {
        static const std::vector<std::string> tokens = {
            "\"", "{", "}", "[", "]", ":", ",", "true", "false", "null", "0", "-1", "1e308", "2.5",
            "9223372036854775807", "9223372036854775808", "-9223372036854775809", "\"pending\"", "\"id\"",
            "\"payload\"", "\"createdAt\"", "\"eventId\"", "\"ok\"", "=", "==", "\\u0000", "\\ud800", "\xff", "\xc3"};
        std::size_t at = below(text.size() + 1);
        switch (below(6)) {
        case 0:
            if (!text.empty())
                text[std::min(at, text.size() - 1)] ^= static_cast<char>(1 << below(8));
            break;
        case 1:
            text.insert(at, 1, static_cast<char>(below(256)));
            break;
        case 2:
            text.erase(at, below(16));
            break;
        case 3:
            text.insert(at, tokens[below(tokens.size())]);
            break;
        case 4:
            text.insert(at, text.substr(below(text.size() + 1), below(32)));
            break;
        default:
            text.resize(at);
            break;
        }
        return text;
    }

    std::mt19937 random_;
};

double fuzzSeconds()
{
    const char* value = std::getenv("TARNWICK_FUZZ_SECONDS");
    return value ? std::atof(value) : 0;
}

// Runs body(iteration) for the configured time, or the given count of
// iterations when no time is configured.
template <typename Body>
std::size_t fuzz(std::size_t defaultIterations, Body body)
{
    double seconds = fuzzSeconds();
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::size_t i = 0;
    for (; seconds > 0 ? std::chrono::steady_clock::now() < end : i < defaultIterations; ++i)
        body(i);
    return i;
}

std::string validOutbox()
{
    TelemetryStore::State state;
    state.installFirstSeenAt = "2026-01-31T09:15:00Z";
    state.installDateProvenance = "first_launch";
    state.eventSequence = 41;
    state.activityCount = 7;
    state.droppedEvents = 2;
    state.pending = {{"A", 790000000.25, R"({"eventId":"A","eventType":"launch"})"},
                     {"B", 790000001.5, R"({"eventId":"B","properties":{"x":"\u00e9"}})"},
                     {"C", 790000002, std::string("\x00\xff binary", 9)}};
    return state.encode();
}

}

TEST(TelemetryFuzzTest, TheOutboxReaderSurvivesMutatedFilesAndRoundTripsWhatItAccepts)
{
    Mutator mutator(1234567);
    std::string seed = validOutbox();
    ASSERT_TRUE(TelemetryStore::State::decode(seed).has_value());
    std::size_t accepted = 0;
    std::size_t runs = fuzz(3000, [&](std::size_t) {
        std::string text = mutator.mutate(seed);
        auto state = TelemetryStore::State::decode(text);
        if (!state)
            return;
        ++accepted;
        std::string again = state->encode();
        auto reread = TelemetryStore::State::decode(again);
        ASSERT_TRUE(reread.has_value()) << text;
        ASSERT_EQ(reread->encode(), again) << text;
    });
    EXPECT_GT(accepted, 0u) << "the mutations never left a readable file; the fuzzer tests nothing";
    EXPECT_LT(accepted, runs);
    RecordProperty("iterations", static_cast<int>(runs));
}

TEST(TelemetryFuzzTest, AnOutboxOpenedOnAMutatedFileEndsReadableAndSaysWhyItStartedAfresh)
{
    Mutator mutator(7654321);
    std::string seed = validOutbox();
    TempHome home;
    std::string path = home.applicationSupport() + "/OrvelleTelemetry/kr1/fuzz.json";
    std::size_t runs = fuzz(25, [&](std::size_t) {
        std::string text = mutator.mutate(seed);
        TempHome::writeFile(path, text);
        Diagnostics diagnostics;
        TelemetryStore::Options options;
        options.fileURL = path;
        options.endpoint = "http://127.0.0.1:9/c";
        options.diagnostic = diagnostics.sink();
        options.transport = [](const HttpSession::Request&, TelemetryStore::Completion) {};
        {
            TelemetryStore store(std::move(options));
            store.enqueue({{"eventType", "fuzz"}});
            store.commitPending(10);
        }
        bool readable = TelemetryStore::State::decode(text).has_value();
        auto messages = diagnostics.all();
        if (readable)
            EXPECT_TRUE(messages.empty()) << text;
        else
            EXPECT_EQ(messages, std::vector<std::string>{"telemetry_metadata_unreadable; ordering not claimed"});
        auto saved = outboxAt(path);
        ASSERT_TRUE(saved.has_value()) << text;
        EXPECT_EQ(saved->orderingReliable, readable && TelemetryStore::State::decode(text)->orderingReliable);
    });
    RecordProperty("iterations", static_cast<int>(runs));
}

TEST(TelemetryFuzzTest, OnlyTheExactAcknowledgementOfTheExpectedEventCounts)
{
    Mutator mutator(424242);
    const std::string expected = "0F9C1E36-64F7-4C35-9A3B-0D5B1C9A7E21";
    const std::string answer = json{{"ok", true}, {"eventId", expected}, {"received", 1}}.dump();
    ASSERT_TRUE(TelemetryStore::acknowledges(answer, 200, std::nullopt, expected));
    ASSERT_TRUE(TelemetryStore::acknowledges(answer, 299, std::nullopt, expected));
    const std::vector<std::optional<long>> statuses = {std::nullopt, 100, 199, 200, 201, 204, 299, 300, 302, 404, 500};
    std::size_t acknowledged = 0;
    std::size_t runs = fuzz(5000, [&](std::size_t i) {
        std::string body = i % 8 == 0 ? answer : mutator.mutate(answer);
        auto status = statuses[mutator.below(statuses.size())];
        std::optional<std::string> error;
        if (mutator.below(10) == 0)
            error = "timed out";
        std::optional<std::string> data = body;
        if (mutator.below(20) == 0)
            data.reset();
        bool ok = TelemetryStore::acknowledges(data, status, error, expected);
        if (!ok)
            return;
        ++acknowledged;
        ASSERT_FALSE(error.has_value());
        ASSERT_TRUE(status && *status >= 200 && *status <= 299);
        ASSERT_TRUE(data.has_value());
        ASSERT_NE(body.find(expected), std::string::npos) << body;
        ASSERT_NE(body.find("true"), std::string::npos) << body;
        json parsed = json::parse(body);
        ASSERT_EQ(parsed.at("eventId"), expected);
        ASSERT_EQ(parsed.at("ok"), true);
        ASSERT_FALSE(TelemetryStore::acknowledges(data, status, error, expected + "0"));
    });
    EXPECT_GT(acknowledged, 0u);
    RecordProperty("iterations", static_cast<int>(runs));
}
