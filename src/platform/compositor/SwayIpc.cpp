#include "platform/compositor/SwayIpc.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t headerSize = sizeof magic + 2 * sizeof(std::uint32_t);
constexpr double replyTimeout = 1.0;

std::string frame(std::uint32_t type, const std::string& payload)
{
    std::uint32_t words[2] = {static_cast<std::uint32_t>(payload.size()), type};
    std::string bytes(magic, sizeof magic);
    bytes.append(reinterpret_cast<const char*>(words), sizeof words);
    return bytes + payload;
}

}

SwayIpc::SwayIpc(const std::string& socketPath) : socket_(socketPath) {}

std::string SwayIpc::socketFromEnvironment()
{
    const char* path = std::getenv("SWAYSOCK");
    return path ? path : "";
}

std::optional<std::string> SwayIpc::request(std::uint32_t type, const std::string& payload)
{
    if (!socket_.sendAll(frame(type, payload)))
        return std::nullopt;
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::duration<double>(replyTimeout);
    for (;;) {
        while (auto message = nextMessage())
            if (message->type == type)
                return message->payload;
        double left = std::chrono::duration<double>(deadline - Clock::now()).count();
        if (left <= 0 || !socket_.receive(received_, left))
            return std::nullopt;
    }
}

bool SwayIpc::command(const std::string& text)
{
    std::optional<std::string> reply = request(runCommand, text);
    auto results = nlohmann::json::parse(reply.value_or(""), nullptr, false);
    if (!results.is_array() || results.empty())
        return false;
    for (const auto& result : results)
        if (!result.is_object() || result.value("success", false) != true)
            return false;
    return true;
}

std::optional<std::pair<int, int>> SwayIpc::version()
{
    auto reply = nlohmann::json::parse(request(getVersion).value_or(""), nullptr, false);
    if (!reply.is_object() || !reply["major"].is_number_integer() || !reply["minor"].is_number_integer())
        return std::nullopt;
    return std::make_pair(reply["major"].get<int>(), reply["minor"].get<int>());
}

bool SwayIpc::takeEvents(std::vector<Message>& events)
{
    bool open = socket_.receive(received_, 0);
    while (auto message = nextMessage())
        events.push_back(std::move(*message));
    return open;
}

std::optional<SwayIpc::Message> SwayIpc::nextMessage()
{
    if (received_.size() < headerSize)
        return std::nullopt;
    std::uint32_t words[2];
    std::memcpy(words, received_.data() + sizeof magic, sizeof words);
    if (received_.size() < headerSize + words[0])
        return std::nullopt;
    Message message{words[1], received_.substr(headerSize, words[0])};
    received_.erase(0, headerSize + words[0]);
    return message;
}
