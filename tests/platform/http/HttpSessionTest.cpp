#include "platform/http/HttpSession.h"

#include "LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

// Sends one request and waits (bounded) for its completion.
std::optional<HttpSession::Response> fetch(HttpSession& session, const std::string& url, double timeout = 10)
{
    auto answer = std::make_shared<std::promise<HttpSession::Response>>();
    auto future = answer->get_future();
    session.send({url, timeout}, [answer](HttpSession::Response response) { answer->set_value(std::move(response)); });
    if (future.wait_for(std::chrono::duration<double>(timeout + 5)) != std::future_status::ready)
        return std::nullopt;
    return future.get();
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}

TEST(HttpSessionTest, AGetBringsBackTheStatusAndTheBodyOfAnyAnswer)
{
    LoopbackHttpServer server([](const LoopbackHttpServer::Request& request) {
        if (request.path == "/missing")
            return LoopbackHttpServer::Reply{404, "<html>gone</html>", "text/html"};
        return LoopbackHttpServer::Reply{200, "hello " + request.query.at("who")};
    });
    HttpSession session;

    auto ok = fetch(session, server.url("/greet?who=you+and%20me"));
    ASSERT_TRUE(ok.has_value());
    EXPECT_FALSE(ok->error.has_value());
    EXPECT_EQ(ok->statusCode, 200);
    EXPECT_EQ(ok->body, "hello you and me");

    auto missing = fetch(session, server.url("/missing"));
    ASSERT_TRUE(missing.has_value());
    EXPECT_FALSE(missing->error.has_value());
    EXPECT_EQ(missing->statusCode, 404);
    EXPECT_EQ(missing->body, "<html>gone</html>");

    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/greet?who=you+and%20me");
}

TEST(HttpSessionTest, FailedExchangesEndInAnErrorWithoutStatusOrBody)
{
    LoopbackHttpServer server([](const LoopbackHttpServer::Request& request) {
        LoopbackHttpServer::Reply reply;
        reply.hangUp = request.path == "/hangup";
        reply.hold = request.path == "/hold";
        if (request.path == "/huge")
            reply.body.assign(HttpSession::maxResponseBytes + 1, 'x');
        return reply;
    });
    HttpSession session;

    auto hungUp = fetch(session, server.url("/hangup"));
    auto huge = fetch(session, server.url("/huge"));
    auto start = Clock::now();
    auto timedOut = fetch(session, server.url("/hold"), 0.3);
    double waited = secondsSince(start);
    auto wrongScheme = fetch(session, "file:///etc/hostname");

    for (const auto& response : {hungUp, huge, timedOut, wrongScheme}) {
        ASSERT_TRUE(response.has_value());
        EXPECT_TRUE(response->error.has_value());
        EXPECT_FALSE(response->body.has_value());
    }
    EXPECT_EQ(huge->error, "response too large");
    EXPECT_GE(waited, 0.25);
    EXPECT_LT(waited, 5.0);

    int port = server.port();
    server.stop();
    auto refused = fetch(session, "http://127.0.0.1:" + std::to_string(port) + "/c");
    ASSERT_TRUE(refused.has_value());
    EXPECT_TRUE(refused->error.has_value());
    EXPECT_FALSE(refused->statusCode.has_value());
}

TEST(HttpSessionTest, ManyRequestsAtOnceAllComplete)
{
    LoopbackHttpServer server([](const LoopbackHttpServer::Request& request) {
        return LoopbackHttpServer::Reply{200, request.query.at("n")};
    });
    HttpSession session;
    constexpr int count = 40;
    std::vector<std::future<HttpSession::Response>> answers;
    for (int n = 0; n < count; ++n) {
        auto answer = std::make_shared<std::promise<HttpSession::Response>>();
        answers.push_back(answer->get_future());
        session.send({server.url("/c?n=" + std::to_string(n)), 10},
                     [answer](HttpSession::Response response) { answer->set_value(std::move(response)); });
    }
    for (int n = 0; n < count; ++n) {
        ASSERT_EQ(answers[n].wait_for(std::chrono::seconds(15)), std::future_status::ready) << n;
        EXPECT_EQ(answers[n].get().body, std::to_string(n));
    }
}

TEST(HttpSessionTest, EndingTheSessionCancelsAHangingTransferAtOnce)
{
    LoopbackHttpServer server([](const LoopbackHttpServer::Request&) {
        LoopbackHttpServer::Reply reply;
        reply.hold = true;
        return reply;
    });
    auto answer = std::make_shared<std::promise<HttpSession::Response>>();
    auto future = answer->get_future();
    auto session = std::make_unique<HttpSession>();
    session->send({server.url(), 15}, [answer](HttpSession::Response response) { answer->set_value(std::move(response)); });
    ASSERT_TRUE(server.waitForRequests(1, 10));

    auto start = Clock::now();
    session.reset();
    EXPECT_LT(secondsSince(start), 0.5);
    ASSERT_EQ(future.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_EQ(future.get().error, "cancelled");
}
