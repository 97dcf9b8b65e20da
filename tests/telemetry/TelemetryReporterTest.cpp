#include "telemetry/TelemetryReporter.h"

#include "LoopbackHttpServer.h"
#include "TelemetryTestSupport.h"
#include "base/AppLog.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/runloop/ManualRunLoop.h"
#include "support/ChildProcess.h"
#include "support/TempHome.h"
#include "telemetry/IsoDate.h"
#include "telemetry/TelemetryIdentity.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

using nlohmann::json;

namespace {

const std::regex uuidForm("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
const std::regex isoForm("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ");

std::string versionKey(const std::string& name)
{
    return std::string(TelemetryReporter::versionKeyPrefix) + name;
}

class TelemetryReporterTest : public ::testing::Test {
protected:
    TelemetryReporterTest() : defaults(home.configHome() + "/tarnwick/com.tarnwick.app.plist")
    {
        AppLog::testing::reset(home.path() + "/test.log");
        RunLoop::setMain(&loop);
    }
    ~TelemetryReporterTest() override { RunLoop::setMain(nullptr); }

    std::unique_ptr<TelemetryReporter> reporter(TelemetryReporter::Options options = {})
    {
        if (options.endpoint.empty())
            options.endpoint = server.url();
        if (!options.transport)
            options.transport = TelemetryStore::networkTransport(HttpSession::shared());
        return std::make_unique<TelemetryReporter>(defaults, std::move(options));
    }

    // Waits for exactly this many events in all; more would be a failure.
    std::vector<json> events(std::size_t count)
    {
        EXPECT_TRUE(server.waitForRequests(count, 10)) << "only " << server.requests().size() << " of " << count;
        auto all = eventsAt(server);
        EXPECT_EQ(all.size(), count);
        return all;
    }

    static std::vector<std::string> types(const std::vector<json>& events)
    {
        std::vector<std::string> names;
        for (const json& e : events)
            names.push_back(e.value("eventType", "?"));
        return names;
    }

    // Waits until the outbox has taken in the acknowledgements of everything
    // the collector received, so that a following run does not send it again.
    bool delivered() const
    {
        return waitUntil(10, [&] {
            auto saved = outboxAt(outboxPath());
            return saved && saved->pending.empty();
        });
    }

    std::string outboxPath() const
    {
        return home.applicationSupport() + "/OrvelleTelemetry/kr1/" +
               defaults.string(TelemetryIdentity::installIdKey).value_or("?") + ".json";
    }

    TempHome home;
    UserDefaults defaults;
    ManualRunLoop loop;
    LoopbackHttpServer server;
};

}

TEST_F(TelemetryReporterTest, WithoutAValidEndpointNothingIsKeptOrSent)
{
    for (const char* endpoint : {"", "ftp://collector.example/", "collector.example/events"}) {
        TelemetryReporter off(defaults, {endpoint, {}, {}});
        EXPECT_FALSE(off.isEnabled());
        off.trackEvent("style_changed", {{"style", "dotBadge"}});
        off.recordCursorOutcome("success", true);
        EXPECT_TRUE(off.observeLayout("en", false) == false);
        off.finishTelemetry();
    }
    EXPECT_EQ(loop.scheduledCount(), 0u) << "no keep-alive timer";
    EXPECT_FALSE(defaults.contains(TelemetryIdentity::installIdKey));
    EXPECT_FALSE(defaults.contains(versionKey("lastSeenVersion")));
    EXPECT_FALSE(std::filesystem::exists(home.applicationSupport() + "/OrvelleTelemetry"));
    EXPECT_TRUE(server.requests().empty());
    AppLog::flush();
    std::string log = TempHome::readFile(home.path() + "/test.log");
    EXPECT_NE(log.find("Telemetry endpoint ignored: not an http or https address"), std::string::npos) << log;
}

TEST_F(TelemetryReporterTest, TheFirstLaunchSendsActivationWithTheWholeEnvelope)
{
    auto first = reporter({server.url("/collect?app=tarnwick"), {}, {}});
    ASSERT_TRUE(first->isEnabled());
    auto sent = events(1);
    const json& e = sent[0];

    std::vector<std::string> keys;
    for (auto& [key, value] : e.items())
        keys.push_back(key);
    std::vector<std::string> expected = {
        "activityCount", "appBuildVersion", "appVariant", "appVersion", "architecture", "clientSentAt",
        "cursorApplyResult", "eventAt", "eventCategory", "eventId", "eventSequence", "eventType", "featureEnabled",
        "firstSeenAt", "inputLanguage", "installFirstSeenAt", "installId", "installVersion", "lastSeenAt",
        "lastUpdatedAt", "osVersion", "platform", "properties", "schemaVersion", "sessionId", "uiLocale",
        "updatedFromVersion", "updatedToVersion"};
    EXPECT_EQ(keys, expected);

    std::string installId = defaults.string(TelemetryIdentity::installIdKey).value_or("");
    EXPECT_TRUE(std::regex_match(installId, uuidForm)) << installId;
    EXPECT_EQ(e["installId"], installId);
    EXPECT_EQ(e["eventType"], "activation");
    EXPECT_EQ(e["eventCategory"], "lifecycle");
    EXPECT_EQ(e["properties"]["isFirstLaunch"], true);
    EXPECT_EQ(e["properties"]["installDateProvenance"], "first_launch");
    EXPECT_EQ(e["installVersion"], TelemetryReporter::currentAppVersion());
    EXPECT_EQ(e["appVersion"], TelemetryReporter::currentAppVersion());
    EXPECT_EQ(e["appBuildVersion"], "1");
    EXPECT_EQ(e["appVariant"], "kr1");
    EXPECT_EQ(e["schemaVersion"], 3);
    EXPECT_EQ(e["eventSequence"], 1);
    EXPECT_EQ(e["updatedFromVersion"], "");
    EXPECT_EQ(e["lastUpdatedAt"], "");
    EXPECT_EQ(e["firstSeenAt"], defaults.string(TelemetryIdentity::firstSeenAtKey));
    EXPECT_EQ(e["installFirstSeenAt"], e["firstSeenAt"]);
    for (const char* date : {"firstSeenAt", "lastSeenAt", "eventAt", "clientSentAt"})
        EXPECT_TRUE(std::regex_match(e[date].get<std::string>(), isoForm)) << date << " " << e[date];
    EXPECT_TRUE(std::regex_match(e["sessionId"].get<std::string>(), uuidForm));
    EXPECT_TRUE(std::regex_match(e["eventId"].get<std::string>(), uuidForm));
    EXPECT_NE(e["eventId"], e["sessionId"]);
    EXPECT_EQ(e["platform"], "linux");
    EXPECT_FALSE(e["osVersion"].get<std::string>().empty());
    EXPECT_FALSE(e["architecture"].get<std::string>().empty());
    EXPECT_FALSE(e["uiLocale"].get<std::string>().empty());
    EXPECT_EQ(e["inputLanguage"], "");
    EXPECT_EQ(e["featureEnabled"], false);
    EXPECT_EQ(e["cursorApplyResult"], "unknown");
    EXPECT_EQ(server.requests()[0].query.at("app"), "tarnwick");

    EXPECT_EQ(defaults.string(versionKey("installVersion")), TelemetryReporter::currentAppVersion());
    EXPECT_EQ(defaults.string(versionKey("lastSeenVersion")), TelemetryReporter::currentAppVersion());
    EXPECT_TRUE(std::filesystem::exists(outboxPath()));
}

TEST_F(TelemetryReporterTest, LaterLaunchesSendLaunchAndAVersionChangeSendsUpdateFromThenOn)
{
    std::string sessionOfFirst;
    {
        auto first = reporter();
        sessionOfFirst = events(1)[0]["sessionId"];
        ASSERT_TRUE(delivered());
    }
    {
        auto second = reporter();
        auto sent = events(2);
        EXPECT_EQ(sent[1]["eventType"], "launch");
        EXPECT_EQ(sent[1]["properties"]["isFirstLaunch"], false);
        EXPECT_EQ(sent[1]["installId"], sent[0]["installId"]);
        EXPECT_EQ(sent[1]["firstSeenAt"], sent[0]["firstSeenAt"]);
        EXPECT_NE(sent[1]["sessionId"], sessionOfFirst);
        EXPECT_EQ(sent[1]["eventSequence"], 2) << "the same outbox carries on";
        ASSERT_TRUE(delivered());
    }

    defaults.set(versionKey("lastSeenVersion"), "0.0.9");
    defaults.set(versionKey("installVersion"), "0.0.5");
    auto updated = reporter();
    updated->trackEvent("style_changed", {{"style", "dotBadge"}});
    auto sent = events(4);
    for (const json& e : {sent[2], sent[3]}) {
        EXPECT_EQ(e["installVersion"], "0.0.5");
        EXPECT_EQ(e["updatedFromVersion"], "0.0.9");
        EXPECT_EQ(e["updatedToVersion"], TelemetryReporter::currentAppVersion());
        EXPECT_TRUE(std::regex_match(e["lastUpdatedAt"].get<std::string>(), isoForm));
    }
    EXPECT_EQ(sent[2]["eventType"], "update");
    EXPECT_EQ(sent[2]["eventCategory"], "lifecycle");
    EXPECT_EQ(sent[3]["eventType"], "style_changed");
    EXPECT_EQ(sent[3]["eventCategory"], "settings");
    EXPECT_EQ(sent[3]["properties"]["style"], "dotBadge");
    EXPECT_EQ(defaults.string(versionKey("lastSeenVersion")), TelemetryReporter::currentAppVersion());
}

TEST_F(TelemetryReporterTest, KeepAliveEveryFiveMinutesUntilTermination)
{
    auto running = reporter();
    loop.advance(299);
    loop.advance(1);
    loop.advance(300);
    running->finishTelemetry();
    loop.advance(900);
    auto sent = events(7);
    EXPECT_EQ(types(sent), (std::vector<std::string>{"activation", "session_alive", "activity_summary", "session_alive",
                                                     "activity_summary", "activity_summary", "exit"}));
    EXPECT_EQ(sent[1]["properties"]["intervalSeconds"], 300);
    EXPECT_EQ(sent[2]["properties"]["intervalSeconds"], 300);
    EXPECT_EQ(sent[2]["eventCategory"], "activity");
    EXPECT_EQ(sent[5]["properties"]["source"], "termination");
    EXPECT_FALSE(sent[5]["properties"].contains("intervalSeconds"));
    EXPECT_EQ(sent[6]["eventCategory"], "lifecycle");
    EXPECT_EQ(sent[6]["properties"].size(), 4u) << "exit has only the outbox's own properties";
    EXPECT_EQ(loop.scheduledCount(), 0u);
}

TEST_F(TelemetryReporterTest, CursorOutcomesReportTheStartAndLaterChanges)
{
    auto running = reporter();
    running->recordCursorOutcome("failure", true);
    running->recordCursorOutcome("failure", true);
    running->recordCursorOutcome("success", true);
    loop.advance(10);
    running->recordCursorOutcome("failure", true);
    loop.advance(30);
    running->recordCursorOutcome("failure", true);
    running->recordCursorOutcome("suppressed", false);
    running->trackEvent("restore", {{"restoreSucceeded", true}});
    auto sent = events(5);
    EXPECT_EQ(types(sent), (std::vector<std::string>{"activation", "initialization_result", "feature_state_changed",
                                                     "feature_state_changed", "restore"}));
    EXPECT_EQ(sent[1]["cursorApplyResult"], "failure");
    EXPECT_EQ(sent[1]["eventCategory"], "feature");
    EXPECT_EQ(sent[2]["cursorApplyResult"], "success");
    EXPECT_EQ(sent[2]["featureEnabled"], true);
    EXPECT_EQ(sent[3]["cursorApplyResult"], "failure");
    EXPECT_EQ(sent[4]["cursorApplyResult"], "suppressed") << "the last outcome, even one held back";
    EXPECT_EQ(sent[4]["featureEnabled"], false);
}

TEST_F(TelemetryReporterTest, LayoutChangesAreCountedAndTheLanguageTravelsWithEachEvent)
{
    auto running = reporter();
    EXPECT_FALSE(running->observeLayout("en", false));
    EXPECT_TRUE(running->observeLayout("de", false));
    EXPECT_FALSE(running->observeLayout("de", false));
    EXPECT_TRUE(running->observeLayout("en", false));
    EXPECT_FALSE(running->observeLayout("fr", true)) << "a change the application caused itself";
    running->recordSwitch("fr");
    running->recordSwitch("");
    running->trackEvent("reapply", {{"source", "tray"}});
    auto sent = events(2);
    EXPECT_EQ(sent[1]["activityCount"], 2);
    EXPECT_EQ(sent[1]["inputLanguage"], "fr");
    EXPECT_EQ(sent[1]["properties"]["source"], "tray");
    EXPECT_GE(sent[1]["lastSeenAt"].get<std::string>(), sent[0]["lastSeenAt"].get<std::string>());
}

TEST_F(TelemetryReporterTest, FinishingReturnsWithoutWaitingForABusyOutbox)
{
    std::atomic<bool> busy{true};
    std::atomic<bool> delivered{false};
    TelemetryReporter::Options options;
    options.endpoint = server.url();
    // A delivery attempt occupies the outbox's queue until the test lets it go
    // (or for a minute at most).
    options.transport = [&busy, &delivered](const HttpSession::Request&, TelemetryStore::Completion) {
        for (int i = 0; i < 6000 && busy; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        delivered = true;
    };
    auto running = reporter(std::move(options));
    running->trackEvent("reapply", {{"source", "tray"}});

    running->finishTelemetry();
    EXPECT_FALSE(delivered) << "finishing waited for the busy outbox";

    busy = false;
    std::string path = outboxPath();
    running.reset();
    auto saved = outboxAt(path);
    ASSERT_TRUE(saved.has_value());
    auto pending = pendingEvents(*saved);
    EXPECT_EQ(types(pending), (std::vector<std::string>{"activation", "reapply", "activity_summary", "exit"}));
    EXPECT_EQ(pending[3]["eventSequence"], 4);
}

TEST_F(TelemetryReporterTest, ADamagedOrIncompleteIdentityIsHandledSafely)
{
    defaults.set(TelemetryIdentity::installIdKey, "../../outside");
    {
        auto replaced = reporter();
        auto sent = events(1);
        EXPECT_EQ(sent[0]["eventType"], "activation");
        EXPECT_TRUE(std::regex_match(sent[0]["installId"].get<std::string>(), uuidForm));
        ASSERT_TRUE(delivered());
    }
    EXPECT_FALSE(std::filesystem::exists(home.applicationSupport() + "/outside.json"));

    std::filesystem::remove_all(home.applicationSupport() + "/OrvelleTelemetry");
    defaults.set(TelemetryIdentity::firstSeenAtKey, "yesterday");
    auto undated = reporter();
    auto sent = events(2);
    EXPECT_EQ(sent[1]["eventType"], "launch");
    EXPECT_EQ(sent[1]["firstSeenAt"], "");
    EXPECT_EQ(sent[1]["properties"]["installDateProvenance"], "unknown");
}

TEST_F(TelemetryReporterTest, TheEndpointComesFromTheEnvironmentBeforeTheDefaults)
{
    unsetenv("TARNWICK_TELEMETRY_ENDPOINT");
    EXPECT_EQ(TelemetryReporter::configuredEndpoint(defaults), "");
    defaults.set(TelemetryReporter::endpointKey, "https://from.defaults/e");
    EXPECT_EQ(TelemetryReporter::configuredEndpoint(defaults), "https://from.defaults/e");
    setenv("TARNWICK_TELEMETRY_ENDPOINT", "", 1);
    EXPECT_EQ(TelemetryReporter::configuredEndpoint(defaults), "https://from.defaults/e");
    setenv("TARNWICK_TELEMETRY_ENDPOINT", "https://from.environment/e", 1);
    EXPECT_EQ(TelemetryReporter::configuredEndpoint(defaults), "https://from.environment/e");
    unsetenv("TARNWICK_TELEMETRY_ENDPOINT");
}

TEST(TelemetryReporterCategoryTest, EventTypesFallIntoTheirCategories)
{
    std::vector<std::pair<std::string, std::string>> cases = {
        {"activation", "lifecycle"}, {"launch", "lifecycle"}, {"update", "lifecycle"}, {"exit", "lifecycle"},
        {"session_alive", "lifecycle"}, {"auto_return", "activity"}, {"activity_summary", "activity"},
        {"style_changed", "settings"}, {"handedness_changed", "settings"}, {"reapply", "settings"},
        {"restore", "settings"}, {"autostart_changed", "settings"}, {"primary_layout_changed", "settings"},
        {"primary_layout_cleared", "settings"}, {"auto_return_delay_changed", "settings"},
        {"ui_locale_changed", "settings"}, {"update_check", "updates"}, {"update_", "updates"},
        {"updates", "feature"}, {"initialization_result", "feature"}, {"feature_state_changed", "feature"},
        {"", "feature"}};
    for (const auto& [type, category] : cases)
        EXPECT_EQ(TelemetryReporter::eventCategory(type), category) << type;
}

TEST(IsoDateTest, FormatsInUtcWithoutFractionsAndParsesOnlyThatForm)
{
    using namespace std::chrono;
    IsoDate::Date date = sys_days{year{2026} / 1 / 31} + hours{9} + minutes{15} + milliseconds{999};
    EXPECT_EQ(IsoDate::format(date), "2026-01-31T09:15:00Z");
    EXPECT_EQ(IsoDate::parse("2026-01-31T09:15:00Z"), floor<seconds>(date));
    for (const char* bad : {"", "2026-01-31", "2026-1-31T09:15:00Z", "2026-01-31T09:15:00", "2026-01-31T09:15:00+01:00",
                            "2026-02-30T09:15:00Z", "yesterday", "2026-01-31T09:15:00Zjunk"})
        EXPECT_FALSE(IsoDate::parse(bad).has_value()) << bad;
}
