#include "platform/input/HyprlandInputSourceService.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <utility>

namespace {

constexpr std::string_view layoutEvent = "activelayout>>";

bool isKeyboardWithKeymap(const nlohmann::json& keyboard)
{
    return keyboard.is_object() && keyboard.contains("name") && keyboard["name"].is_string() &&
           keyboard.contains("active_keymap") && keyboard["active_keymap"].is_string();
}

}

// Every keyboard has a layout of its own, the power button's too; the one
// typed on last is the compositor's main keyboard, and that one is followed.
void HyprlandInputSourceService::ask()
{
    auto devices = nlohmann::json::parse(hyprland_.request("j/devices").value_or(""), nullptr, false);
    if (!devices.is_object() || !devices["keyboards"].is_array())
        return;
    const nlohmann::json* chosen = nullptr;
    for (const auto& candidate : devices["keyboards"])
        if (isKeyboardWithKeymap(candidate) && (!chosen || candidate.value("main", false)))
            chosen = &candidate;
    if (chosen)
        follow((*chosen)["name"].get<std::string>(), (*chosen)["active_keymap"].get<std::string>());
}

int HyprlandInputSourceService::subscribe()
{
    events_ = hyprland_.events();
    return events_.connected() ? events_.fd() : -1;
}

// A switch comes as one line per keyboard, each with its own layout, and
// the keyboard switched alone becomes the main one: the main keyboard's line
// is followed, else the last keyboard's. Keyboard names carry no comma;
// layout descriptions may ("English (US, intl., with dead keys)").
bool HyprlandInputSourceService::readEvents()
{
    bool open = events_.receive(received_, 0);
    std::optional<std::pair<std::string, std::string>> chosen;
    for (std::size_t end; (end = received_.find('\n')) != std::string::npos; received_.erase(0, end + 1)) {
        std::string_view line(received_.data(), end);
        std::size_t comma = line.find(',');
        if (!line.starts_with(layoutEvent) || comma == std::string_view::npos)
            continue;
        std::string name(line.substr(layoutEvent.size(), comma - layoutEvent.size()));
        if (!chosen || chosen->first != keyboard())
            chosen.emplace(name, line.substr(comma + 1));
    }
    if (chosen)
        follow(chosen->first, chosen->second);
    return open;
}
