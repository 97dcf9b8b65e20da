#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// A small HTTP/1.1 server on 127.0.0.1 and an ephemeral port, for tests: each
// connection carries one request, answered by the handler on a thread of its
// own. It stops by itself after its lifetime even if a test forgets it, and a
// held answer never outlives the server.
class LoopbackHttpServer {
public:
    struct Request {
        std::string method;
        std::string target;
        std::string path;
        std::map<std::string, std::string> query;
        // The "data" query item, when there is one.
        std::optional<std::string> data;
        // The "eventId" string inside the data, when it is a JSON object with one.
        std::optional<std::string> eventId;
    };

    struct Reply {
        int status = 200;
        std::string body;
        std::string contentType = "application/json";
        // Close the connection without a word.
        bool hangUp = false;
        // Keep the connection waiting until release() (or the server stops,
        // which closes it unanswered).
        bool hold = false;
    };

    using Handler = std::function<Reply(const Request&)>;

    explicit LoopbackHttpServer(Handler handler = &acknowledge, double lifetimeSeconds = 120);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& pathAndQuery = "/collect") const;

    void setHandler(Handler handler);
    // Answers every held request.
    void release();
    // Stops accepting and closes every connection; the port is then refused.
    void stop();

    std::vector<Request> requests() const;
    // Waits (bounded) until at least count requests have arrived.
    bool waitForRequests(std::size_t count, double timeoutSeconds) const;

    // {"ok": true, "eventId": <the request's event id>}
    static Reply acknowledge(const Request& request);

    static std::optional<std::string> decodeComponent(const std::string& text);

private:
    void acceptLoop(double lifetimeSeconds);
    void serve(int connection);
    static std::optional<Request> parse(const std::string& head);

    int listener_ = -1;
    int port_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Handler handler_;
    std::vector<Request> requests_;
    std::vector<int> connections_;
    std::vector<std::thread> workers_;
    unsigned releases_ = 0;
    bool stopping_ = false;
    std::thread acceptor_;
};
