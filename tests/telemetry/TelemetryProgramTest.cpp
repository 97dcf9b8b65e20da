#include "LoopbackHttpServer.h"
#include "TelemetryTestSupport.h"
#include "platform/defaults/UserDefaults.h"
#include "support/TarnwickProgram.h"
#include "support/TempHome.h"
#include "telemetry/TelemetryIdentity.h"
#include "telemetry/TelemetryReporter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <map>
#include <set>

using nlohmann::json;

namespace {

// The real program, headless, in a private home, reporting to a collector on
// the loopback address.
class TelemetryProgramTest : public ::testing::Test {
protected:
    TelemetryProgramTest() : defaults(home.configHome() + "/tarnwick/com.tarnwick.app.plist") {}

    std::unique_ptr<ChildProcess> launch(const std::string& endpoint)
    {
        auto program =
            tarnwick.launch({{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"TARNWICK_TELEMETRY_ENDPOINT", endpoint}});
        EXPECT_TRUE(tarnwick.waitForLog("Tarnwick launch.")) << "the program did not start";
        return program;
    }

    std::string outboxPath() const
    {
        return home.applicationSupport() + "/OrvelleTelemetry/kr1/" +
               defaults.string(TelemetryIdentity::installIdKey).value_or("?") + ".json";
    }

    std::vector<json> pending() const
    {
        auto saved = outboxAt(outboxPath());
        return saved ? pendingEvents(*saved) : std::vector<json>{};
    }

    std::vector<std::string> pendingTypes() const { return types(pending()); }

    bool pendingBecomes(const std::function<bool(const std::vector<std::string>&)>& condition) const
    {
        return waitUntil(20, [&] { return condition(pendingTypes()); });
    }

    static std::vector<std::string> types(const std::vector<json>& events)
    {
        std::vector<std::string> names;
        for (const json& e : events)
            names.push_back(e.value("eventType", "?"));
        return names;
    }

    static bool contains(const std::vector<std::string>& types, const std::string& type)
    {
        return std::find(types.begin(), types.end(), type) != types.end();
    }

    // A port where nothing listens.
    static std::string downEndpoint()
    {
        LoopbackHttpServer briefly;
        std::string url = briefly.url();
        briefly.stop();
        return url;
    }

    // Only the hanging collector's test holds the program to the one second;
    // elsewhere a loaded machine's slow exit is not what is being tested.
    static void terminate(ChildProcess& program, double seconds = 5)
    {
        program.signal(SIGTERM);
        auto status = program.wait(seconds);
        ASSERT_TRUE(status.has_value()) << "not ended within " << seconds << " s of SIGTERM";
        EXPECT_EQ(*status, 0);
    }

    TempHome home;
    UserDefaults defaults;
    TarnwickProgram tarnwick;
};

// Each event once, in the order it first arrived: a delivery whose
// acknowledgement came too late for a closing program is legitimately sent again.
std::vector<json> distinct(const std::vector<json>& events)
{
    std::vector<json> unique;
    std::set<std::string> seen;
    for (const json& e : events)
        if (seen.insert(e.value("eventId", "")).second)
            unique.push_back(e);
    return unique;
}

// The events of each run, runs in the order they first reported.
std::vector<std::vector<json>> bySession(const std::vector<json>& events)
{
    std::vector<std::vector<json>> runs;
    std::map<std::string, std::size_t> index;
    for (const json& e : events) {
        auto [at, added] = index.emplace(e.value("sessionId", ""), runs.size());
        if (added)
            runs.emplace_back();
        runs[at->second].push_back(e);
    }
    return runs;
}

std::size_t countOf(const std::vector<json>& events, const std::string& type)
{
    return static_cast<std::size_t>(
        std::count_if(events.begin(), events.end(), [&](const json& e) { return e.value("eventType", "") == type; }));
}

}

TEST_F(TelemetryProgramTest, EachRunReportsActivationLaunchOrUpdate)
{
    LoopbackHttpServer collector;
    // A run has settled once its first cursor outcome is in and nothing waits.
    auto settle = [&](std::size_t runs) {
        return waitUntil(20, [&] { return countOf(distinct(eventsAt(collector)), "initialization_result") >= runs; }) &&
               pendingBecomes([](const auto& types) { return types.empty(); });
    };
    auto first = launch(collector.url());
    ASSERT_TRUE(settle(1));
    terminate(*first);

    auto second = launch(collector.url());
    ASSERT_TRUE(settle(2));
    terminate(*second);

    defaults.set(std::string(TelemetryReporter::versionKeyPrefix) + "lastSeenVersion", "0.0.9");
    auto third = launch(collector.url());
    ASSERT_TRUE(settle(3));
    terminate(*third);

    auto events = distinct(eventsAt(collector));
    for (std::size_t i = 0; i < events.size(); ++i)
        EXPECT_EQ(events[i]["eventSequence"], i + 1) << events[i]["eventType"];
    auto runs = bySession(events);
    ASSERT_EQ(runs.size(), 3u);

    const json& activation = runs[0].front();
    EXPECT_EQ(activation["eventType"], "activation");
    EXPECT_EQ(activation["properties"]["isFirstLaunch"], true);
    EXPECT_EQ(activation["installVersion"], activation["appVersion"]);
    const json& launchEvent = runs[1].front();
    EXPECT_EQ(launchEvent["eventType"], "launch");
    EXPECT_EQ(launchEvent["properties"]["isFirstLaunch"], false);
    EXPECT_EQ(launchEvent["installId"], activation["installId"]);
    const json& update = runs[2].front();
    EXPECT_EQ(update["eventType"], "update");
    EXPECT_EQ(update["properties"]["isFirstLaunch"], false);
    EXPECT_EQ(update["updatedFromVersion"], "0.0.9");
    EXPECT_EQ(update["updatedToVersion"], update["appVersion"]);
    EXPECT_FALSE(update["lastUpdatedAt"].get<std::string>().empty());

    // The closing events of the first two runs arrived, at the latest with the next run.
    for (std::size_t run = 0; run < 2; ++run) {
        auto names = types(runs[run]);
        ASSERT_GE(names.size(), 3u);
        EXPECT_EQ(std::vector<std::string>(names.end() - 2, names.end()),
                  (std::vector<std::string>{"activity_summary", "exit"}));
        EXPECT_EQ(runs[run][names.size() - 2]["properties"]["source"], "termination");
    }
}

TEST_F(TelemetryProgramTest, AKilledRunLosesNothingWhileTheCollectorIsDown)
{
    std::string down = downEndpoint();
    auto killed = launch(down);
    ASSERT_TRUE(pendingBecomes([](const auto& types) { return contains(types, "initialization_result"); }));
    killed->signal(SIGKILL);
    ASSERT_TRUE(killed->wait(5).has_value());
    auto afterKill = pending();
    ASSERT_EQ(afterKill.front()["eventType"], "activation");

    auto stopped = launch(down);
    ASSERT_TRUE(pendingBecomes([&](const auto& types) { return types.size() > afterKill.size() + 1; }));
    terminate(*stopped);
    auto stored = pending();
    ASSERT_GT(stored.size(), afterKill.size() + 2);
    for (std::size_t i = 0; i < afterKill.size(); ++i)
        EXPECT_EQ(stored[i]["eventId"], afterKill[i]["eventId"]) << "an event of the killed run was lost";
    EXPECT_EQ(stored[afterKill.size()]["eventType"], "launch");
    EXPECT_EQ(stored[stored.size() - 2]["eventType"], "activity_summary");
    EXPECT_EQ(stored.back()["eventType"], "exit");

    LoopbackHttpServer collector;
    auto delivering = launch(collector.url());
    ASSERT_TRUE(waitUntil(20, [&] { return distinct(eventsAt(collector)).size() > stored.size(); }));
    terminate(*delivering);

    auto events = distinct(eventsAt(collector));
    for (std::size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(events[i]["eventId"], stored[i]["eventId"]) << i;
        EXPECT_EQ(events[i]["eventSequence"], i + 1);
        EXPECT_EQ(events[i]["properties"]["sequenceReliable"], true);
    }
    EXPECT_EQ(events[stored.size()]["eventType"], "launch");
    EXPECT_EQ(events[stored.size()]["eventSequence"], stored.size() + 1);
    EXPECT_EQ(tarnwick.log().find("telemetry_"), std::string::npos) << "no outbox trouble on the way";
}

TEST_F(TelemetryProgramTest, TerminationSavesTheClosingEventsAndExitsPromptlyWhileTheCollectorHangs)
{
    LoopbackHttpServer hanging([](const LoopbackHttpServer::Request&) {
        LoopbackHttpServer::Reply reply;
        reply.hold = true;
        return reply;
    });
    auto program = launch(hanging.url());
    ASSERT_TRUE(hanging.waitForRequests(1, 10));
    ASSERT_TRUE(pendingBecomes([](const auto& types) { return contains(types, "initialization_result"); }));
    terminate(*program, 1.0);

    auto stored = pending();
    ASSERT_GE(stored.size(), 3u);
    EXPECT_EQ(stored.front()["eventType"], "activation") << "still waiting for its acknowledgement";
    const json& summary = stored[stored.size() - 2];
    EXPECT_EQ(summary["eventType"], "activity_summary");
    EXPECT_EQ(summary["properties"]["source"], "termination");
    EXPECT_EQ(summary["eventCategory"], "activity");
    EXPECT_EQ(stored.back()["eventType"], "exit");
    EXPECT_EQ(stored.back()["eventCategory"], "lifecycle");
    EXPECT_EQ(hanging.requests().size(), 1u) << "nothing overtook the unanswered event";
}
