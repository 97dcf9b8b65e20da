#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// Sends HTTP GET requests on a transfer thread of its own, so no caller ever
// waits for the network. Each request ends in exactly one call of its
// completion, on that thread.
class HttpSession {
public:
    struct Request {
        std::string url;
        double timeoutSeconds = 60;
    };

    struct Response {
        // Set when the exchange failed (no connection, timeout, too large):
        // nothing that came back can be trusted.
        std::optional<std::string> error;
        // The status of the HTTP response, when one arrived.
        std::optional<long> statusCode;
        // The body, present (possibly empty) whenever there is no error.
        std::optional<std::string> body;
    };

    using Completion = std::function<void(Response)>;

    // A response body larger than this ends the transfer with an error rather
    // than filling memory.
    static constexpr std::size_t maxResponseBytes = 1u << 20;

    HttpSession();
    // Ends unfinished transfers at once with the error "cancelled".
    ~HttpSession();
    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;

    // Only http and https addresses are fetched; redirects are followed
    // within those two schemes.
    void send(Request request, Completion completion);

    // The process's session; its thread starts with the first request.
    static HttpSession& shared();

private:
    class Engine;
    std::unique_ptr<Engine> engine_;
};
