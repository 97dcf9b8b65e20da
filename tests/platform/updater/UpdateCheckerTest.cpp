#include "platform/updater/UpdateChecker.h"

#include "LoopbackHttpServer.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/http/HttpSession.h"
#include "platform/runloop/ManualRunLoop.h"
#include "runtime/LogCapture.h"
#include "support/ChildProcess.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using Result = UpdateChecker::Result;

std::string feedWith(const std::string& version, const std::string& link = "https://example.org/notes")
{
    return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel>
<title>Tarnwick</title>
<item><title>Older</title><enclosure url="https://example.org/old.tar.gz" sparkle:version="0.0.9"/></item>
<item><title>Tarnwick )" + version + "</title><link>" + link + R"(</link>
<enclosure url="https://example.org/new.tar.gz" sparkle:version=")" + version + R"("/></item>
</channel></rss>)";
}

class UpdateCheckerTest : public ::testing::Test {
protected:
    UpdateCheckerTest() { RunLoop::setMain(&loop); }
    ~UpdateCheckerTest() override { RunLoop::setMain(nullptr); }

    std::unique_ptr<UpdateChecker> makeChecker(bool started = true)
    {
        return std::make_unique<UpdateChecker>(
            "0.1.0", started, [this](const Result& result) { results.push_back(result); }, defaults, session);
    }

    void serve(int status, std::string body)
    {
        server.setHandler([status, body](const LoopbackHttpServer::Request&) {
            return LoopbackHttpServer::Reply{status, body, "application/rss+xml"};
        });
        defaults.set(UpdateChecker::feedURLKey, server.url("/appcast.xml"));
    }

    // Waits for the transfer thread, then runs what it handed to the main loop.
    bool settle(std::size_t expectedRequests)
    {
        if (!server.waitForRequests(expectedRequests, 10))
            return false;
        return waitUntil(10, [&] {
            loop.runPending();
            return !checker->isChecking();
        });
    }

    LogCapture log;
    TempHome home;
    UserDefaults defaults{home.configHome() + "/tarnwick/com.tarnwick.app.plist"};
    ManualRunLoop loop;
    LoopbackHttpServer server;
    HttpSession session;
    std::vector<Result> results;
    std::unique_ptr<UpdateChecker> checker = makeChecker();
};

}

TEST_F(UpdateCheckerTest, ANewerVersionIsAnnouncedWithItsLink)
{
    serve(200, feedWith("0.2"));
    EXPECT_TRUE(checker->automaticallyChecksForUpdates());
    checker->checkForUpdates();
    EXPECT_TRUE(checker->isChecking());
    ASSERT_TRUE(settle(1));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].kind, Result::Kind::updateAvailable);
    EXPECT_EQ(results[0].message, "Tarnwick 0.2 is available");
    EXPECT_EQ(results[0].link, "https://example.org/notes");
    EXPECT_TRUE(results[0].userInitiated);
    EXPECT_EQ(server.requests()[0].path, "/appcast.xml");
    EXPECT_TRUE(log.has("[INFO] Update check result: Tarnwick 0.2 is available link=https://example.org/notes"));

    // At launch, news of an update is shown as well.
    checker->checkForUpdatesInBackground();
    ASSERT_TRUE(settle(2));
    ASSERT_EQ(results.size(), 2u);
    EXPECT_FALSE(results[1].userInitiated);
    EXPECT_EQ(results[1].kind, Result::Kind::updateAvailable);
}

TEST_F(UpdateCheckerTest, TheSameVersionIsUpToDateAndQuietAtLaunch)
{
    serve(200, feedWith("0.1"));
    checker->checkForUpdatesInBackground();
    ASSERT_TRUE(settle(1));
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(log.has("[INFO] Update check result: You're up to date"));

    checker->checkForUpdates();
    ASSERT_TRUE(settle(2));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].kind, Result::Kind::upToDate);
    EXPECT_EQ(results[0].message, "You're up to date");
    EXPECT_FALSE(results[0].link);
}

TEST_F(UpdateCheckerTest, AMalformedFeedOrABadAnswerIsReportedAsAnError)
{
    serve(200, "<rss><channel><item><title>cut short");
    checker->checkForUpdates();
    ASSERT_TRUE(settle(1));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].kind, Result::Kind::failed);
    EXPECT_EQ(results[0].message.rfind("Could not check for updates: the update feed is not valid XML", 0), 0u)
        << results[0].message;

    serve(404, "<html>gone</html>");
    checker->checkForUpdates();
    ASSERT_TRUE(settle(2));
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[1].message, "Could not check for updates: the update feed answered HTTP 404");

    // A failure at launch is only logged.
    checker->checkForUpdatesInBackground();
    ASSERT_TRUE(settle(3));
    EXPECT_EQ(results.size(), 2u);
    EXPECT_TRUE(log.has("[WARN] Update check failed: Could not check for updates: the update feed answered HTTP 404"));
}

TEST_F(UpdateCheckerTest, NoServerIsReportedAsAnError)
{
    serve(200, feedWith("9.0"));
    server.stop();
    checker->checkForUpdates();
    ASSERT_TRUE(waitUntil(15, [&] {
        loop.runPending();
        return !results.empty();
    }));
    EXPECT_EQ(results[0].kind, Result::Kind::failed);
    EXPECT_EQ(results[0].message.rfind("Could not check for updates: ", 0), 0u);
    EXPECT_GT(results[0].message.size(), std::string("Could not check for updates: ").size());
    EXPECT_FALSE(checker->isChecking());
}

TEST_F(UpdateCheckerTest, WithoutAFeedUpdatesAreNotConfigured)
{
    EXPECT_FALSE(checker->isConfigured());
    EXPECT_FALSE(checker->automaticallyChecksForUpdates());
    checker->checkForUpdatesInBackground();
    checker->checkForUpdates();
    loop.runPending();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].kind, Result::Kind::notConfigured);
    EXPECT_EQ(results[0].message, "Updates are not configured: no update feed is set");
    EXPECT_TRUE(server.requests().empty());

    defaults.set(UpdateChecker::feedURLKey, "file:///etc/passwd");
    EXPECT_FALSE(checker->automaticallyChecksForUpdates());
    checker->checkForUpdates();
    loop.runPending();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[1].message,
              "Updates are not configured: the feed address \"file:///etc/passwd\" is not an http or https URL");
}

TEST_F(UpdateCheckerTest, AutomaticChecksFollowTheirSettingOnceAFeedIsSet)
{
    serve(200, feedWith("0.2"));
    EXPECT_TRUE(checker->automaticallyChecksForUpdates());
    defaults.set(UpdateChecker::automaticChecksKey, false);
    EXPECT_FALSE(checker->automaticallyChecksForUpdates());
    defaults.set(UpdateChecker::automaticChecksKey, "yes");
    EXPECT_TRUE(checker->automaticallyChecksForUpdates());
}

TEST_F(UpdateCheckerTest, AUserCheckDuringALaunchCheckJoinsItAndShowsTheResult)
{
    serve(200, feedWith("0.1.0"));
    server.setHandler([body = feedWith("0.1.0")](const LoopbackHttpServer::Request&) {
        LoopbackHttpServer::Reply reply{200, body, "application/rss+xml"};
        reply.hold = true;
        return reply;
    });
    checker->checkForUpdatesInBackground();
    ASSERT_TRUE(server.waitForRequests(1, 10));
    checker->checkForUpdates();
    server.release();
    ASSERT_TRUE(settle(1));
    EXPECT_EQ(server.requests().size(), 1u);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].kind, Result::Kind::upToDate);
    EXPECT_TRUE(results[0].userInitiated);
}

TEST_F(UpdateCheckerTest, NothingHappensBeforeTheUpdaterStartsOrAfterTheCheckerIsGone)
{
    serve(200, feedWith("0.2"));
    checker = makeChecker(false);
    checker->checkForUpdates();
    EXPECT_FALSE(checker->isChecking());
    checker->startUpdater();
    EXPECT_TRUE(checker->isStarted());

    server.setHandler([body = feedWith("0.2")](const LoopbackHttpServer::Request&) {
        LoopbackHttpServer::Reply reply{200, body, "application/rss+xml"};
        reply.hold = true;
        return reply;
    });
    checker->checkForUpdates();
    ASSERT_TRUE(server.waitForRequests(1, 10));
    checker.reset();
    server.release();
    // The answer reaches the main loop and finds nobody to tell.
    waitUntil(1, [&] {
        loop.runPending();
        return false;
    });
    EXPECT_TRUE(results.empty());
}
