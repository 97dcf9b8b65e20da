#include "LoopbackHttpServer.h"
#include "TelemetryTestSupport.h"
#include "platform/defaults/UserDefaults.h"
#include "support/ChildProcess.h"
#include "support/TempHome.h"
#include "telemetry/TelemetryIdentity.h"
#include "telemetry/TelemetryReporter.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <set>

using nlohmann::json;

namespace {

const std::string logPath = "/tmp/Tarnwick.log";

// The real program, headless, in a private home, reporting to a collector on
// the loopback address.
class TelemetryProgramTest : public ::testing::Test {
protected:
    TelemetryProgramTest() : defaults(home.configHome() + "/tarnwick/com.tarnwick.app.plist") {}

    std::unique_ptr<ChildProcess> launch(const std::string& endpoint)
    {
        std::error_code ignored;
        std::filesystem::remove(logPath, ignored);
        auto program = std::make_unique<ChildProcess>(
            std::vector<std::string>{ChildProcess::programPath()},
            std::map<std::string, std::string>{
                {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"TARNWICK_TELEMETRY_ENDPOINT", endpoint}});
        EXPECT_TRUE(waitUntil(20, [] { return TempHome::readFile(logPath).find("Tarnwick launch.") != std::string::npos; }))
            << "the program did not start";
        return program;
    }

    std::string outboxPath() const
    {
        return home.applicationSupport() + "/OrvelleTelemetry/kr1/" +
               defaults.string(TelemetryIdentity::installIdKey).value_or("?") + ".json";
    }

    std::vector<std::string> pendingTypes() const
    {
        std::vector<std::string> types;
        if (auto saved = outboxAt(outboxPath()))
            for (const json& e : pendingEvents(*saved))
                types.push_back(e.value("eventType", "?"));
        return types;
    }

    bool pendingBecomes(const std::vector<std::string>& types) const
    {
        return waitUntil(10, [&] { return pendingTypes() == types; });
    }

    // A port where nothing listens.
    static std::string downEndpoint()
    {
        LoopbackHttpServer briefly;
        std::string url = briefly.url();
        briefly.stop();
        return url;
    }

    static void terminate(ChildProcess& program)
    {
        program.signal(SIGTERM);
        auto status = program.wait(1.0);
        ASSERT_TRUE(status.has_value()) << "not ended within 1 s of SIGTERM";
        EXPECT_EQ(*status, 0);
    }

    TempHome home;
    UserDefaults defaults;
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

}

TEST_F(TelemetryProgramTest, EachRunReportsActivationLaunchOrUpdate)
{
    LoopbackHttpServer collector;
    auto first = launch(collector.url());
    ASSERT_TRUE(collector.waitForRequests(1, 10));
    ASSERT_TRUE(pendingBecomes({}));
    terminate(*first);

    auto second = launch(collector.url());
    ASSERT_TRUE(waitUntil(10, [&] { return distinct(eventsAt(collector)).size() >= 4; }));
    terminate(*second);

    defaults.set(std::string(TelemetryReporter::versionKeyPrefix) + "lastSeenVersion", "0.0.9");
    auto third = launch(collector.url());
    ASSERT_TRUE(waitUntil(10, [&] { return distinct(eventsAt(collector)).size() >= 7; }));
    terminate(*third);

    auto events = distinct(eventsAt(collector));
    ASSERT_GE(events.size(), 7u);
    const json& activation = events[0];
    EXPECT_EQ(activation["eventType"], "activation");
    EXPECT_EQ(activation["properties"]["isFirstLaunch"], true);
    EXPECT_EQ(activation["installVersion"], activation["appVersion"]);
    EXPECT_EQ(events[1]["eventType"], "activity_summary");
    EXPECT_EQ(events[1]["properties"]["source"], "termination");
    EXPECT_EQ(events[2]["eventType"], "exit");
    const json& launchEvent = events[3];
    EXPECT_EQ(launchEvent["eventType"], "launch");
    EXPECT_EQ(launchEvent["properties"]["isFirstLaunch"], false);
    EXPECT_EQ(launchEvent["installId"], activation["installId"]);
    EXPECT_NE(launchEvent["sessionId"], activation["sessionId"]);
    const json& update = events[6];
    EXPECT_EQ(update["eventType"], "update");
    EXPECT_EQ(update["updatedFromVersion"], "0.0.9");
    EXPECT_EQ(update["updatedToVersion"], update["appVersion"]);
    EXPECT_FALSE(update["lastUpdatedAt"].get<std::string>().empty());
    for (std::size_t i = 0; i < events.size(); ++i)
        EXPECT_EQ(events[i]["eventSequence"], i + 1) << events[i]["eventType"];
}

TEST_F(TelemetryProgramTest, AKilledRunLosesNothingWhileTheCollectorIsDown)
{
    std::string down = downEndpoint();
    auto killed = launch(down);
    ASSERT_TRUE(pendingBecomes({"activation"}));
    killed->signal(SIGKILL);
    ASSERT_TRUE(killed->wait(5).has_value());

    auto stopped = launch(down);
    ASSERT_TRUE(pendingBecomes({"activation", "launch"}));
    terminate(*stopped);
    EXPECT_EQ(pendingTypes(), (std::vector<std::string>{"activation", "launch", "activity_summary", "exit"}));

    LoopbackHttpServer collector;
    auto delivering = launch(collector.url());
    ASSERT_TRUE(collector.waitForRequests(5, 10));
    ASSERT_TRUE(pendingBecomes({}));
    terminate(*delivering);

    auto events = distinct(eventsAt(collector));
    ASSERT_GE(events.size(), 5u);
    std::vector<std::string> types;
    for (std::size_t i = 0; i < 5; ++i) {
        types.push_back(events[i]["eventType"]);
        EXPECT_EQ(events[i]["eventSequence"], i + 1);
        EXPECT_EQ(events[i]["properties"]["sequenceReliable"], true);
    }
    EXPECT_EQ(types, (std::vector<std::string>{"activation", "launch", "activity_summary", "exit", "launch"}));
    EXPECT_EQ(TempHome::readFile(logPath).find("telemetry_"), std::string::npos) << "no outbox trouble on the way";
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
    terminate(*program);

    ASSERT_EQ(pendingTypes(), (std::vector<std::string>{"activation", "activity_summary", "exit"}));
    auto saved = outboxAt(outboxPath());
    auto closing = pendingEvents(*saved);
    EXPECT_EQ(closing[1]["properties"]["source"], "termination");
    EXPECT_EQ(closing[1]["eventCategory"], "activity");
    EXPECT_EQ(closing[2]["eventCategory"], "lifecycle");
    std::string log = TempHome::readFile(logPath);
    EXPECT_LT(log.find("Received signal 15"), log.find("Tarnwick terminating; restoring original cursors"));
}
