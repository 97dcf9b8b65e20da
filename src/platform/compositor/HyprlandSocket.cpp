#include "platform/compositor/HyprlandSocket.h"

#include <cstdlib>
#include <filesystem>

namespace {

constexpr double answerTimeout = 1.0;

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

}

std::string HyprlandSocket::instanceFromEnvironment()
{
    return environment("HYPRLAND_INSTANCE_SIGNATURE");
}

HyprlandSocket::HyprlandSocket(std::string instance) : instance_(std::move(instance)) {}

std::string HyprlandSocket::folder() const
{
    std::string runtime = environment("XDG_RUNTIME_DIR");
    std::string current = runtime + "/hypr/" + instance_;
    std::error_code ignored;
    if (!runtime.empty() && std::filesystem::exists(current, ignored))
        return current;
    return "/tmp/hypr/" + instance_;
}

std::optional<std::string> HyprlandSocket::request(const std::string& text) const
{
    if (instance_.empty())
        return std::nullopt;
    UnixSocket socket(folder() + "/.socket.sock");
    std::string answer;
    if (!socket.sendAll(text) || !socket.receiveAll(answer, answerTimeout))
        return std::nullopt;
    return answer;
}

UnixSocket HyprlandSocket::events() const
{
    return instance_.empty() ? UnixSocket() : UnixSocket(folder() + "/.socket2.sock");
}
