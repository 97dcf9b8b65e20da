#include "LoopbackHttpServer.h"

#include "base/Text.h"

#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t maxHead = 64 * 1024;
constexpr std::size_t maxConnections = 256;

bool sendAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The request head, or nothing when the client sends none within a few seconds.
std::optional<std::string> readHead(int fd)
{
    std::string head;
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > maxHead || Clock::now() > deadline)
            return std::nullopt;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buffer[4096];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return std::nullopt;
        head.append(buffer, static_cast<std::size_t>(n));
    }
    return head;
}

std::string reasonOf(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

}

LoopbackHttpServer::LoopbackHttpServer(Handler handler, double lifetimeSeconds) : handler_(std::move(handler))
{
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 64) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this, lifetimeSeconds] { acceptLoop(lifetimeSeconds); });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    stop();
}

std::string LoopbackHttpServer::url(const std::string& pathAndQuery) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + pathAndQuery;
}

void LoopbackHttpServer::setHandler(Handler handler)
{
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void LoopbackHttpServer::release()
{
    {
        std::lock_guard lock(mutex_);
        ++releases_;
    }
    changed_.notify_all();
}

void LoopbackHttpServer::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (int connection : connections_)
            shutdown(connection, SHUT_RDWR);
    }
    changed_.notify_all();
    if (acceptor_.joinable())
        acceptor_.join();
    for (auto& worker : workers_)
        worker.join();
    workers_.clear();
    if (listener_ >= 0)
        ::close(listener_);
    listener_ = -1;
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

bool LoopbackHttpServer::waitForRequests(std::size_t count, double timeoutSeconds) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                             [&] { return requests_.size() >= count; });
}

LoopbackHttpServer::Reply LoopbackHttpServer::acknowledge(const Request& request)
{
    nlohmann::json answer = {{"ok", true}, {"eventId", request.eventId.value_or("")}};
    return Reply{200, answer.dump()};
}

std::optional<std::string> LoopbackHttpServer::decodeComponent(const std::string& text)
{
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            decoded += ' ';
        } else if (text[i] != '%') {
            decoded += text[i];
        } else {
            if (i + 2 >= text.size() || hexDigitValue(text[i + 1]) < 0 || hexDigitValue(text[i + 2]) < 0)
                return std::nullopt;
            decoded += static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
            i += 2;
        }
    }
    return decoded;
}

void LoopbackHttpServer::acceptLoop(double lifetimeSeconds)
{
    auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(lifetimeSeconds));
    while (Clock::now() < end) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
        }
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        std::lock_guard lock(mutex_);
        if (stopping_ || workers_.size() >= maxConnections) {
            ::close(connection);
            continue;
        }
        connections_.push_back(connection);
        workers_.emplace_back([this, connection] { serve(connection); });
    }
    // Lifetime over: behave as if the test had stopped the server.
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (int connection : connections_)
            shutdown(connection, SHUT_RDWR);
    }
    changed_.notify_all();
}

void LoopbackHttpServer::serve(int connection)
{
    auto head = readHead(connection);
    auto request = head ? parse(*head) : std::nullopt;
    std::optional<Reply> reply;
    if (request) {
        std::unique_lock lock(mutex_);
        requests_.push_back(*request);
        Handler handler = handler_;
        unsigned releasesAtArrival = releases_;
        changed_.notify_all();
        lock.unlock();
        reply = handler(*request);
        lock.lock();
        if (reply->hold)
            changed_.wait(lock, [&] { return stopping_ || releases_ != releasesAtArrival; });
        if (stopping_)
            reply.reset();
    }
    if (reply && !reply->hangUp) {
        std::string response = "HTTP/1.1 " + std::to_string(reply->status) + " " + reasonOf(reply->status) +
                               "\r\nContent-Type: " + reply->contentType +
                               "\r\nContent-Length: " + std::to_string(reply->body.size()) +
                               "\r\nConnection: close\r\n\r\n" + reply->body;
        sendAll(connection, response);
    }
    std::lock_guard lock(mutex_);
    std::erase(connections_, connection);
    ::close(connection);
}

std::optional<LoopbackHttpServer::Request> LoopbackHttpServer::parse(const std::string& head)
{
    auto lineEnd = head.find("\r\n");
    std::string line = head.substr(0, lineEnd);
    auto firstSpace = line.find(' ');
    auto secondSpace = line.find(' ', firstSpace + 1);
    if (firstSpace == std::string::npos || secondSpace == std::string::npos)
        return std::nullopt;
    Request request;
    request.method = line.substr(0, firstSpace);
    request.target = line.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    auto question = request.target.find('?');
    request.path = request.target.substr(0, question);
    if (question != std::string::npos) {
        std::string query = request.target.substr(question + 1);
        std::size_t start = 0;
        while (start <= query.size()) {
            auto amp = query.find('&', start);
            std::string item = query.substr(start, amp == std::string::npos ? std::string::npos : amp - start);
            auto equals = item.find('=');
            auto name = decodeComponent(item.substr(0, equals));
            auto value = equals == std::string::npos ? std::optional<std::string>("")
                                                     : decodeComponent(item.substr(equals + 1));
            if (name && value && !request.query.count(*name))
                request.query[*name] = *value;
            if (amp == std::string::npos)
                break;
            start = amp + 1;
        }
    }
    if (auto data = request.query.find("data"); data != request.query.end()) {
        request.data = data->second;
        auto event = nlohmann::json::parse(data->second, nullptr, false);
        if (event.is_object() && event.contains("eventId") && event["eventId"].is_string())
            request.eventId = event["eventId"].get<std::string>();
    }
    return request;
}
