#include "telemetry/TelemetryStore.h"

#include "LoopbackHttpServer.h"
#include "TelemetryTestSupport.h"
#include "support/ChildProcess.h"
#include "support/TempHome.h"

#include <QByteArray>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <regex>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using nlohmann::json;

namespace {

const std::string unacknowledged = "telemetry_delivery_unacknowledged; retrying retained payload";

class TelemetryStoreTest : public ::testing::Test {
protected:
    std::string outboxPath() const { return home.applicationSupport() + "/OrvelleTelemetry/kr1/install.json"; }

    TelemetryStore::Options options(const std::string& endpoint)
    {
        TelemetryStore::Options o;
        o.fileURL = outboxPath();
        o.endpoint = endpoint;
        o.firstSeenAt = "2026-01-31T09:15:00Z";
        o.isFirstLaunch = true;
        o.retryDelay = 60;
        o.diagnostic = diagnostics.sink();
        o.scheduler = retries.scheduler();
        o.transport = TelemetryStore::networkTransport(HttpSession::shared());
        return o;
    }

    static json event(const std::string& type, json properties = json::object())
    {
        return {{"eventType", type}, {"properties", std::move(properties)}};
    }

    // An acknowledgement that waits for the test's release().
    static LoopbackHttpServer::Reply heldAcknowledgement(const LoopbackHttpServer::Request& request)
    {
        auto reply = LoopbackHttpServer::acknowledge(request);
        reply.hold = true;
        return reply;
    }

    TempHome home;
    Diagnostics diagnostics;
    ManualScheduler retries;
};

// A transport that takes requests and never answers: for tests about the file.
TelemetryStore::Transport silentTransport()
{
    return [](const HttpSession::Request&, TelemetryStore::Completion) {};
}

}

TEST_F(TelemetryStoreTest, EventsArriveOneAtATimeInOrderWithConsecutiveSequenceNumbers)
{
    LoopbackHttpServer server(&heldAcknowledgement);
    auto store = std::make_unique<TelemetryStore>(options(server.url("/collect?app=tarnwick")));
    for (int i = 1; i <= 4; ++i)
        store->enqueue(event("step" + std::to_string(i), {{"i", i}}));

    for (std::size_t answered = 0; answered < 4; ++answered) {
        ASSERT_TRUE(server.waitForRequests(answered + 1, 10));
        // The next event waits for this one's acknowledgement.
        EXPECT_FALSE(server.waitForRequests(answered + 2, 0.2)) << "two requests at once";
        server.release();
    }

    auto events = eventsAt(server);
    ASSERT_EQ(events.size(), 4u);
    std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    for (int i = 0; i < 4; ++i) {
        const json& e = events[i];
        EXPECT_EQ(e["eventType"], "step" + std::to_string(i + 1));
        EXPECT_EQ(e["eventSequence"], i + 1);
        EXPECT_EQ(e["schemaVersion"], 3);
        EXPECT_EQ(e["activityCount"], 0);
        EXPECT_EQ(e["installFirstSeenAt"], "2026-01-31T09:15:00Z");
        EXPECT_TRUE(std::regex_match(e["eventId"].get<std::string>(), uuid)) << e["eventId"];
        EXPECT_EQ(e["properties"]["i"], i + 1);
        EXPECT_EQ(e["properties"]["installDateProvenance"], "first_launch");
        EXPECT_EQ(e["properties"]["telemetryDroppedCount"], 0);
        EXPECT_EQ(e["properties"]["sequenceReliable"], true);
        EXPECT_EQ(e["properties"]["outboxPersistenceHealthy"], true);
    }
    for (const auto& request : server.requests()) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.path, "/collect");
        EXPECT_EQ(request.query.at("app"), "tarnwick");
        // Compact JSON with sorted keys.
        json parsed = json::parse(*request.data);
        EXPECT_EQ(*request.data, parsed.dump());
    }

    // The last acknowledgement travels back on the network thread.
    EXPECT_TRUE(waitUntil(10, [&] {
        auto saved = outboxAt(outboxPath());
        return saved && saved->pending.empty();
    }));
    store.reset();
    auto saved = outboxAt(outboxPath());
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->eventSequence, 4);
    EXPECT_TRUE(saved->orderingReliable);
    EXPECT_EQ(diagnostics.all(), std::vector<std::string>{});
}

TEST_F(TelemetryStoreTest, AnUnacknowledgedEventIsRetriedAfterTheDelayAndHoldsBackLaterOnes)
{
    LoopbackHttpServer server([](const LoopbackHttpServer::Request& request) {
        return LoopbackHttpServer::Reply{200, json{{"ok", false}, {"eventId", *request.eventId}}.dump()};
    });
    TelemetryStore store(options(server.url()));
    store.enqueue(event("first"));
    store.enqueue(event("second"));
    ASSERT_TRUE(diagnostics.waitFor(unacknowledged));
    ASSERT_TRUE(retries.waitForScheduled(1));
    EXPECT_EQ(retries.delays(), std::vector<double>{60});

    store.enqueue(event("third"));
    store.commitPending(5);
    EXPECT_EQ(server.requests().size(), 1u) << "a later event overtook the unacknowledged one";

    server.setHandler(&LoopbackHttpServer::acknowledge);
    retries.fire();
    ASSERT_TRUE(server.waitForRequests(4, 10));
    auto events = eventsAt(server);
    EXPECT_EQ(events[0], events[1]) << "the retry must send the retained payload unchanged";
    EXPECT_EQ(events[1]["eventType"], "first");
    EXPECT_EQ(events[2]["eventType"], "second");
    EXPECT_EQ(events[3]["eventType"], "third");
    EXPECT_EQ(events[3]["eventSequence"], 3);
    EXPECT_EQ(diagnostics.count(unacknowledged), 1u);
}

TEST_F(TelemetryStoreTest, AnyAnswerButTheRightAcknowledgementLeavesTheEventQueued)
{
    using Reply = LoopbackHttpServer::Reply;
    auto hangUp = [] {
        Reply reply;
        reply.hangUp = true;
        return reply;
    };
    std::vector<std::pair<std::string, std::function<Reply(const LoopbackHttpServer::Request&)>>> answers = {
        {"garbage", [](auto&) { return Reply{200, "garbage \x01\xff"}; }},
        {"html", [](auto&) { return Reply{200, "<html><body>Sign in</body></html>", "text/html"}; }},
        {"server error", [](auto& r) { return Reply{500, json{{"ok", true}, {"eventId", *r.eventId}}.dump()}; }},
        {"another event", [](auto&) { return Reply{200, R"({"ok":true,"eventId":"SOMEONE-ELSE"})"}; }},
        {"ok false", [](auto& r) { return Reply{200, json{{"ok", false}, {"eventId", *r.eventId}}.dump()}; }},
        {"ok as a number", [](auto& r) { return Reply{200, json{{"ok", 1}, {"eventId", *r.eventId}}.dump()}; }},
        {"an array", [](auto& r) { return Reply{200, json::array({true, *r.eventId}).dump()}; }},
        {"empty", [](auto&) { return Reply{204, ""}; }},
        {"nothing", [=](auto&) { return hangUp(); }},
    };
    LoopbackHttpServer server(answers[0].second);
    TelemetryStore store(options(server.url()));
    store.enqueue(event("only"));
    for (std::size_t i = 0; i < answers.size(); ++i) {
        server.setHandler(answers[i].second);
        if (i > 0)
            retries.fire();
        ASSERT_TRUE(diagnostics.waitFor(unacknowledged, i + 1)) << answers[i].first;
        ASSERT_TRUE(retries.waitForScheduled(i + 1)) << answers[i].first;
    }
    server.setHandler(&LoopbackHttpServer::acknowledge);
    retries.fire();
    ASSERT_TRUE(server.waitForRequests(answers.size() + 1, 10));
    store.enqueue(event("next"));
    ASSERT_TRUE(server.waitForRequests(answers.size() + 2, 10));

    auto events = eventsAt(server);
    for (std::size_t i = 0; i <= answers.size(); ++i)
        EXPECT_EQ(events[i]["eventType"], "only") << i;
    EXPECT_EQ(events.back()["eventType"], "next");
    EXPECT_EQ(events.back()["eventSequence"], 2);
}

TEST_F(TelemetryStoreTest, WithRoomForOneEntryANewEventDiscardsTheUndeliveredOneAndCountsIt)
{
    LoopbackHttpServer server(&heldAcknowledgement);
    auto o = options(server.url());
    o.maxEntries = 1;
    TelemetryStore store(std::move(o));
    store.enqueue(event("a"));
    ASSERT_TRUE(server.waitForRequests(1, 10));
    store.enqueue(event("b"));
    store.enqueue(event("c"));
    store.commitPending(5);

    auto saved = outboxAt(outboxPath());
    ASSERT_TRUE(saved.has_value());
    ASSERT_EQ(saved->pending.size(), 1u);
    EXPECT_EQ(saved->droppedEvents, 2);
    auto c = pendingEvents(*saved)[0];
    EXPECT_EQ(c["eventType"], "c");
    EXPECT_EQ(c["eventSequence"], 3);
    EXPECT_EQ(c["properties"]["telemetryDroppedCount"], 1) << "counted what was discarded before it was queued";

    // "a" was discarded while on its way: its acknowledgement removes nothing,
    // so "c" still goes out next.
    server.setHandler(&LoopbackHttpServer::acknowledge);
    server.release();
    ASSERT_TRUE(server.waitForRequests(2, 10));
    auto events = eventsAt(server);
    EXPECT_EQ(events[0]["eventType"], "a");
    EXPECT_EQ(events[1]["eventType"], "c");
}

TEST_F(TelemetryStoreTest, APrunedEntrysAcknowledgementLeavesItsSuccessorQueued)
{
    LoopbackHttpServer server(&heldAcknowledgement);
    auto o = options(server.url());
    o.maxEntries = 1;
    TelemetryStore store(std::move(o));
    store.enqueue(event("a"));
    ASSERT_TRUE(server.waitForRequests(1, 10));
    store.enqueue(event("b"));
    store.commitPending(5);
    server.release();
    // "b" is sent (and held) only if a's acknowledgement left it in place.
    ASSERT_TRUE(server.waitForRequests(2, 10));
    store.commitPending(5);
    auto saved = outboxAt(outboxPath());
    ASSERT_TRUE(saved.has_value());
    ASSERT_EQ(saved->pending.size(), 1u);
    EXPECT_EQ(pendingEvents(*saved)[0]["eventType"], "b");
    EXPECT_EQ(saved->droppedEvents, 1);
}

TEST_F(TelemetryStoreTest, AStoreWhoseFileIsLockedByAnotherProcessStaysInert)
{
    LoopbackHttpServer server;
    std::filesystem::create_directories(std::filesystem::path(outboxPath()).parent_path());
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    std::string lockPath = outboxPath() + ".lock";
    pid_t holder = fork();
    if (holder == 0) {
        close(ready[0]);
        close(release[1]);
        int fd = open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
        char ok = (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) ? '1' : '0';
        [[maybe_unused]] auto w = write(ready[1], &ok, 1);
        char byte;
        [[maybe_unused]] auto r = read(release[0], &byte, 1);
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char ok = '0';
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');

    {
        TelemetryStore store(options(server.url()));
        store.enqueue(event("ignored"));
        store.recordObservedLayoutChange();
        store.commitPending(5);
        EXPECT_EQ(diagnostics.all(),
                  std::vector<std::string>{"telemetry_store_in_use_or_unavailable; ordering not claimed"});
    }
    EXPECT_FALSE(std::filesystem::exists(outboxPath()));
    EXPECT_TRUE(server.requests().empty());

    close(release[1]);
    int status = 0;
    waitpid(holder, &status, 0);
    close(ready[0]);

    // Once the other process is gone the file can be owned again.
    TelemetryStore store(options(server.url()));
    store.enqueue(event("owned"));
    ASSERT_TRUE(server.waitForRequests(1, 10));
    EXPECT_EQ(eventsAt(server)[0]["eventSequence"], 1);
}

TEST_F(TelemetryStoreTest, TheOwnerKeepsDeliveringWhileASecondInstanceIsRefused)
{
    LoopbackHttpServer server;
    TelemetryStore first(options(server.url()));
    first.commitPending(5);
    Diagnostics secondDiagnostics;
    auto o = options(server.url());
    o.diagnostic = secondDiagnostics.sink();
    {
        TelemetryStore second(std::move(o));
        second.enqueue(event("from second"));
        second.commitPending(5);
        EXPECT_EQ(secondDiagnostics.count("telemetry_store_in_use_or_unavailable; ordering not claimed"), 1u);
    }
    first.enqueue(event("from first"));
    ASSERT_TRUE(server.waitForRequests(1, 10));
    auto events = eventsAt(server);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["eventType"], "from first");
    EXPECT_EQ(events[0]["eventSequence"], 1);
    EXPECT_TRUE(diagnostics.all().empty());
}

TEST_F(TelemetryStoreTest, ACorruptOutboxMeansNoOrderingClaimForThatFileFromThenOn)
{
    LoopbackHttpServer server;
    TempHome::writeFile(outboxPath(), "{\"installFirstSeenAt\": \"x\", \"pending\": [");
    {
        TelemetryStore store(options(server.url()));
        store.enqueue(event("after corruption"));
        ASSERT_TRUE(server.waitForRequests(1, 10));
        EXPECT_EQ(diagnostics.all(), std::vector<std::string>{"telemetry_metadata_unreadable; ordering not claimed"});
    }
    {
        TelemetryStore store(options(server.url()));
        store.enqueue(event("next run"));
        ASSERT_TRUE(server.waitForRequests(2, 10));
    }
    for (const json& e : eventsAt(server)) {
        EXPECT_FALSE(e.contains("eventSequence")) << e;
        EXPECT_EQ(e["properties"]["sequenceReliable"], false);
        EXPECT_EQ(e["properties"]["outboxPersistenceHealthy"], true);
    }
    auto saved = outboxAt(outboxPath());
    ASSERT_TRUE(saved.has_value());
    EXPECT_FALSE(saved->orderingReliable);
    EXPECT_EQ(saved->eventSequence, 2);
    EXPECT_EQ(diagnostics.count("telemetry_metadata_unreadable; ordering not claimed"), 1u);
}

TEST_F(TelemetryStoreTest, EveryKindOfDamagedFileStartsAFreshUnclaimedState)
{
    std::string good = R"({"installFirstSeenAt":"s","installDateProvenance":"first_launch","eventSequence":7,)"
                       R"("activityCount":2,"droppedEvents":1,"orderingReliable":true,)"
                       R"("pending":[{"id":"A","createdAt":1e12,"payload":"e30="}]})";
    std::vector<std::pair<std::string, std::string>> damaged = {
        {"empty", ""},
        {"truncated", good.substr(0, good.size() / 2)},
        {"not JSON", "\x89PNG\r\n\x1a\n"},
        {"an array", "[1,2,3]"},
        {"missing key", std::regex_replace(good, std::regex(R"("droppedEvents":1,)"), "")},
        {"mistyped counter", std::regex_replace(good, std::regex(R"("eventSequence":7)"), R"("eventSequence":"7")")},
        {"fractional counter", std::regex_replace(good, std::regex(R"("activityCount":2)"), R"("activityCount":2.5)")},
        {"counter too large", std::regex_replace(good, std::regex(R"("eventSequence":7)"), R"("eventSequence":9223372036854775808)")},
        {"mistyped flag", std::regex_replace(good, std::regex(R"("orderingReliable":true)"), R"("orderingReliable":1)")},
        {"entry without id", std::regex_replace(good, std::regex(R"("id":"A",)"), "")},
        {"date as text", std::regex_replace(good, std::regex(R"(1e12)"), R"("2026-01-01")")},
        {"bad Base64", std::regex_replace(good, std::regex(R"(e30=)"), "e30")},
        {"Base64 with junk", std::regex_replace(good, std::regex(R"(e30=)"), "e3!=")},
        {"deeply nested", std::string(100000, '[') + std::string(100000, ']')},
        {"huge", "{\"installFirstSeenAt\":\"" + std::string(40u << 20, 'x') + "\"}"},
    };
    for (const auto& [name, text] : damaged) {
        TempHome::writeFile(outboxPath(), text);
        Diagnostics local;
        auto o = options("http://127.0.0.1:9/c");
        o.diagnostic = local.sink();
        o.transport = silentTransport();
        {
            TelemetryStore store(std::move(o));
            store.enqueue(event("e"));
            store.commitPending(10);
        }
        EXPECT_EQ(local.all(), std::vector<std::string>{"telemetry_metadata_unreadable; ordering not claimed"}) << name;
        auto saved = outboxAt(outboxPath());
        ASSERT_TRUE(saved.has_value()) << name;
        EXPECT_FALSE(saved->orderingReliable) << name;
        EXPECT_EQ(saved->eventSequence, 1) << name;
        EXPECT_EQ(saved->installDateProvenance, "first_launch") << name;
        ASSERT_EQ(saved->pending.size(), 1u) << name;
        EXPECT_FALSE(pendingEvents(*saved)[0].contains("eventSequence")) << name;
    }

    // The undamaged file is taken as it stands, its own counters included.
    TempHome::writeFile(outboxPath(), good);
    Diagnostics local;
    auto o = options("http://127.0.0.1:9/c");
    o.diagnostic = local.sink();
    o.transport = silentTransport();
    {
        TelemetryStore store(std::move(o));
        store.enqueue(event("e"));
        store.commitPending(10);
    }
    EXPECT_TRUE(local.all().empty());
    auto saved = outboxAt(outboxPath());
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->installFirstSeenAt, "s");
    EXPECT_EQ(saved->eventSequence, 8);
    ASSERT_EQ(saved->pending.size(), 2u);
    EXPECT_EQ(saved->pending[0].payload, "{}");
    auto stamped = pendingEvents(*saved)[1];
    EXPECT_EQ(stamped["eventSequence"], 8);
    EXPECT_EQ(stamped["activityCount"], 2);
    EXPECT_EQ(stamped["properties"]["telemetryDroppedCount"], 1);
}

TEST_F(TelemetryStoreTest, StampingKeepsAGivenEventIdAndReplacesWhatIsNotADictionary)
{
    auto o = options("http://127.0.0.1:9/c");
    o.transport = silentTransport();
    o.isFirstLaunch = false;
    {
        TelemetryStore store(std::move(o));
        store.enqueue({{"eventId", "MY-ID"}, {"properties", "not a dictionary"}, {"eventSequence", 99}});
        store.enqueue({{"eventId", 42}, {"schemaVersion", 1}});
        store.enqueue(json::array({1, 2}));
        store.recordObservedLayoutChange();
        store.recordObservedLayoutChange();
        store.enqueue(event("after activity"));
        store.commitPending(5);
    }
    auto saved = outboxAt(outboxPath());
    ASSERT_TRUE(saved.has_value());
    auto events = pendingEvents(*saved);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0]["eventId"], "MY-ID");
    EXPECT_EQ(saved->pending[0].id, "MY-ID");
    EXPECT_EQ(events[0]["eventSequence"], 1);
    EXPECT_EQ(events[0]["properties"], (json{{"installDateProvenance", "migrated_local_period"},
                                             {"telemetryDroppedCount", 0},
                                             {"sequenceReliable", true},
                                             {"outboxPersistenceHealthy", true}}));
    EXPECT_TRUE(events[1]["eventId"].is_string());
    EXPECT_EQ(events[1]["eventId"].get<std::string>().size(), 36u);
    EXPECT_EQ(saved->pending[1].id, events[1]["eventId"].get<std::string>());
    EXPECT_EQ(events[1]["schemaVersion"], 3);
    EXPECT_EQ(events[2]["eventSequence"], 3);
    EXPECT_EQ(events[3]["activityCount"], 2);
    EXPECT_EQ(saved->activityCount, 2);
    EXPECT_NE(events[1]["eventId"], events[2]["eventId"]);
}

TEST_F(TelemetryStoreTest, ProvenanceFollowsTheFirstSeenDateAndTheFirstLaunchFlag)
{
    struct Case {
        std::string firstSeenAt;
        bool isFirstLaunch;
        std::string provenance;
    };
    for (const Case& c : {Case{"", true, "unknown"}, Case{"2026-01-31T09:15:00Z", true, "first_launch"},
                          Case{"2026-01-31T09:15:00Z", false, "migrated_local_period"}}) {
        std::filesystem::remove(outboxPath());
        auto o = options("http://127.0.0.1:9/c");
        o.transport = silentTransport();
        o.firstSeenAt = c.firstSeenAt;
        o.isFirstLaunch = c.isFirstLaunch;
        {
            TelemetryStore store(std::move(o));
            store.enqueue(event("e"));
            store.commitPending(5);
        }
        auto saved = outboxAt(outboxPath());
        ASSERT_TRUE(saved.has_value());
        EXPECT_EQ(saved->installDateProvenance, c.provenance);
        EXPECT_EQ(saved->installFirstSeenAt, c.firstSeenAt);
        EXPECT_EQ(pendingEvents(*saved)[0]["properties"]["installDateProvenance"], c.provenance);
    }
}

TEST_F(TelemetryStoreTest, LimitsBelowTheMinimumActAsOneEntryAndOneKibibyte)
{
    auto o = options("http://127.0.0.1:9/c");
    o.transport = silentTransport();
    o.maxEntries = 0;
    o.maxBytes = 10;
    {
        TelemetryStore store(std::move(o));
        store.enqueue(event("small one"));
        store.enqueue(event("small two"));
        store.commitPending(5);
        auto saved = outboxAt(outboxPath());
        ASSERT_TRUE(saved.has_value());
        ASSERT_EQ(saved->pending.size(), 1u);
        EXPECT_EQ(pendingEvents(*saved)[0]["eventType"], "small two");
        EXPECT_EQ(saved->droppedEvents, 1);

        store.enqueue(event("too big", {{"filler", std::string(1100, 'x')}}));
        store.commitPending(5);
    }
    auto saved = outboxAt(outboxPath());
    ASSERT_TRUE(saved.has_value());
    EXPECT_TRUE(saved->pending.empty()) << "an entry larger than the byte limit is discarded too";
    EXPECT_EQ(saved->droppedEvents, 3);
}

TEST_F(TelemetryStoreTest, EntriesOlderThanTheRetentionAreDiscardedOnOpening)
{
    double now = TelemetryStore::referenceTimeNow();
    TelemetryStore::State old;
    old.installFirstSeenAt = "then";
    old.eventSequence = 3;
    old.pending = {{"OLD-1", now - 8 * 86400, R"({"eventId":"OLD-1","eventType":"old"})"},
                   {"OLD-2", now - 7.5 * 86400, R"({"eventId":"OLD-2","eventType":"old"})"},
                   {"RECENT", now - 3600, R"({"eventId":"RECENT","eventType":"recent"})"}};
    TempHome::writeFile(outboxPath(), old.encode());

    LoopbackHttpServer server;
    TelemetryStore store(options(server.url()));
    ASSERT_TRUE(server.waitForRequests(1, 10));
    EXPECT_EQ(eventsAt(server)[0]["eventType"], "recent");
    store.enqueue(event("new"));
    ASSERT_TRUE(server.waitForRequests(2, 10));
    auto fresh = eventsAt(server)[1];
    EXPECT_EQ(fresh["eventSequence"], 4);
    EXPECT_EQ(fresh["installFirstSeenAt"], "then");
    EXPECT_EQ(fresh["properties"]["telemetryDroppedCount"], 2);
}

TEST_F(TelemetryStoreTest, AFailedSaveMarksTheNewEventUnsequencedAndDeliveryGoesOn)
{
    LoopbackHttpServer server(&heldAcknowledgement);
    TelemetryStore store(options(server.url()));
    store.enqueue(event("saved"));
    ASSERT_TRUE(server.waitForRequests(1, 10));

    // Something that a rename cannot replace now stands where the file was.
    std::filesystem::remove(outboxPath());
    std::filesystem::create_directories(outboxPath() + "/blocker");
    store.enqueue(event("unsaved"));
    ASSERT_TRUE(diagnostics.waitFor("telemetry_persistence_failed; ordering not claimed for unsaved messages"));
    store.enqueue(event("while unhealthy"));

    server.setHandler(&LoopbackHttpServer::acknowledge);
    server.release();
    ASSERT_TRUE(server.waitForRequests(3, 10));
    auto events = eventsAt(server);
    EXPECT_EQ(events[0]["eventSequence"], 1);
    EXPECT_EQ(events[1]["eventType"], "unsaved");
    EXPECT_FALSE(events[1].contains("eventSequence"));
    EXPECT_EQ(events[1]["properties"]["sequenceReliable"], false);
    EXPECT_EQ(events[1]["properties"]["outboxPersistenceHealthy"], false);
    EXPECT_EQ(events[2]["eventType"], "while unhealthy");
    EXPECT_FALSE(events[2].contains("eventSequence"));

    // Once a save succeeds again the sequence resumes, numbered past the gap.
    std::filesystem::remove_all(outboxPath());
    store.commitPending(5);
    store.enqueue(event("claimed"));
    ASSERT_TRUE(server.waitForRequests(4, 10));
    events = eventsAt(server);
    EXPECT_EQ(events[3]["eventSequence"], 4);
    EXPECT_EQ(events[3]["properties"]["sequenceReliable"], true);
    EXPECT_EQ(events[3]["properties"]["outboxPersistenceHealthy"], true);
}

TEST_F(TelemetryStoreTest, WithoutStorageEventsAreStillSentButClaimNoOrder)
{
    LoopbackHttpServer server;
    TempHome::writeFile(home.path() + "/blocked", "a file where a folder should be");
    auto o = options(server.url());
    o.fileURL = home.path() + "/blocked/kr1/install.json";
    TelemetryStore store(std::move(o));
    store.enqueue(event("in memory"));
    ASSERT_TRUE(server.waitForRequests(1, 10));
    // The folder becoming possible later gives no save without the lock.
    std::filesystem::remove(home.path() + "/blocked");
    store.enqueue(event("still in memory"));
    ASSERT_TRUE(server.waitForRequests(2, 10));
    store.commitPending(5);
    EXPECT_FALSE(TempHome::exists(home.path() + "/blocked"));
    auto events = eventsAt(server);
    for (const auto& sent : events) {
        EXPECT_FALSE(sent.contains("eventSequence"));
        EXPECT_EQ(sent["properties"]["sequenceReliable"], false);
        EXPECT_EQ(sent["properties"]["outboxPersistenceHealthy"], false);
    }
    auto messages = diagnostics.all();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[0], "telemetry_storage_unavailable; ordering not claimed");
    EXPECT_EQ(diagnostics.count("telemetry_persistence_failed; ordering not claimed for unsaved messages"),
              messages.size() - 1);
}

TEST_F(TelemetryStoreTest, AnEventThatCannotBeSerialisedIsDroppedAndItsNumberIsNotReused)
{
    auto o = options("http://127.0.0.1:9/c");
    o.transport = silentTransport();
    {
        TelemetryStore store(std::move(o));
        store.enqueue(event("broken", {{"text", std::string("\xff\xfe not UTF-8")}}));
        store.enqueue(event("fine"));
        store.commitPending(5);
    }
    EXPECT_EQ(diagnostics.all(), std::vector<std::string>{"telemetry_encoding_failed"});
    auto saved = outboxAt(outboxPath());
    ASSERT_TRUE(saved.has_value());
    ASSERT_EQ(saved->pending.size(), 1u);
    EXPECT_EQ(pendingEvents(*saved)[0]["eventSequence"], 2);
}

TEST_F(TelemetryStoreTest, CommitPendingGivesUpAfterItsTimeoutWhenTheQueueIsBusy)
{
    std::atomic<bool> busy{true};
    std::atomic<bool> released{false};
    auto o = options("http://127.0.0.1:9/c");
    // A transport that keeps the outbox's queue occupied, as a slow disk would,
    // until the test lets it go (or for a minute at most).
    o.transport = [&busy, &released](const HttpSession::Request&, TelemetryStore::Completion) {
        for (int i = 0; i < 6000 && busy; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        released = true;
    };
    TelemetryStore store(std::move(o));
    store.enqueue(event("occupies the queue"));
    store.enqueue(event("waits"));

    // A lower bound only: a loaded machine makes waits longer, never shorter.
    auto start = std::chrono::steady_clock::now();
    store.commitPending(0.25);
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(waited, 0.2);
    EXPECT_FALSE(released) << "the commit waited for the busy queue instead of giving up";
    busy = false;

    // Saved as soon as the queue is free, well before this timeout.
    start = std::chrono::steady_clock::now();
    store.commitPending(30);
    waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(waited, 30.0);
    auto saved = outboxAt(outboxPath());
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->pending.size(), 2u);
}

TEST_F(TelemetryStoreTest, TheOutboxFileIsPrivateAndHoldsThePayloadsInBase64)
{
    auto o = options("http://127.0.0.1:9/c");
    o.transport = silentTransport();
    {
        TelemetryStore store(std::move(o));
        store.enqueue(event("e", {{"text", "zürich ✓"}}));
        store.commitPending(5);
    }
    struct stat file {}, lock {};
    ASSERT_EQ(stat(outboxPath().c_str(), &file), 0);
    ASSERT_EQ(stat((outboxPath() + ".lock").c_str(), &lock), 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u);
    EXPECT_EQ(lock.st_mode & 0777, 0600u);

    json saved = json::parse(TempHome::readFile(outboxPath()));
    std::vector<std::string> keys;
    for (auto& [key, value] : saved.items())
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"activityCount", "droppedEvents", "eventSequence", "installDateProvenance",
                                              "installFirstSeenAt", "orderingReliable", "pending"}));
    ASSERT_EQ(saved["pending"].size(), 1u);
    const json& entry = saved["pending"][0];
    EXPECT_TRUE(entry["createdAt"].is_number_float());
    EXPECT_NEAR(entry["createdAt"].get<double>(), TelemetryStore::referenceTimeNow(), 60);
    std::string encoded = entry["payload"];
    EXPECT_EQ(encoded.size() % 4, 0u);
    json payload = json::parse(QByteArray::fromBase64(QByteArray::fromStdString(encoded)).toStdString());
    EXPECT_EQ(payload["properties"]["text"], "zürich ✓");
    EXPECT_EQ(payload["eventId"], entry["id"]);
}

TEST_F(TelemetryStoreTest, DestroyingTheStoreWhileARetryIsBeingScheduledIsSafe)
{
    std::promise<TelemetryStore::Completion> sent;
    auto o = options("http://127.0.0.1:9/c");
    o.scheduler = nullptr;
    o.transport = [&sent](const HttpSession::Request&, TelemetryStore::Completion completion) {
        sent.set_value(std::move(completion));
    };
    // A slow diagnostic keeps the refusal in hand while the store goes away.
    o.diagnostic = [this](const std::string& message) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        diagnostics.sink()(message);
    };
    auto store = std::make_unique<TelemetryStore>(std::move(o));
    store->enqueue(event("refused"));
    auto completion = sent.get_future();
    ASSERT_EQ(completion.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    completion.get()(false);
    store.reset();
    EXPECT_EQ(diagnostics.count(unacknowledged), 1u);
}
