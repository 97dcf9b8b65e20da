#include "platform/input/SwayInputSourceService.h"

#include <nlohmann/json.hpp>

namespace {

bool isKeyboardWithLayout(const nlohmann::json& input)
{
    return input.is_object() && input.value("type", "") == "keyboard" && input.contains("identifier") &&
           input["identifier"].is_string() && input.contains("xkb_active_layout_name") &&
           input["xkb_active_layout_name"].is_string();
}

}

void SwayInputSourceService::ask()
{
    auto inputs = nlohmann::json::parse(SwayIpc(socketPath_).request(SwayIpc::getInputs).value_or(""), nullptr, false);
    if (!inputs.is_array())
        return;
    const nlohmann::json* chosen = nullptr;
    for (const auto& input : inputs) {
        if (!isKeyboardWithLayout(input))
            continue;
        if (!chosen || input["identifier"] == keyboard())
            chosen = &input;
    }
    if (chosen)
        follow((*chosen)["identifier"].get<std::string>(), (*chosen)["xkb_active_layout_name"].get<std::string>());
}

int SwayInputSourceService::subscribe()
{
    events_ = std::make_unique<SwayIpc>(socketPath_);
    auto reply = nlohmann::json::parse(events_->request(SwayIpc::subscribe, R"(["input"])").value_or(""), nullptr,
                                       false);
    if (!reply.is_object() || reply.value("success", false) != true) {
        events_.reset();
        return -1;
    }
    return events_->fd();
}

bool SwayInputSourceService::readEvents()
{
    std::vector<SwayIpc::Message> events;
    bool open = events_->takeEvents(events);
    for (const auto& event : events) {
        if (event.type != SwayIpc::inputEvent)
            continue;
        auto body = nlohmann::json::parse(event.payload, nullptr, false);
        std::string change = body.is_object() ? body.value("change", "") : "";
        if ((change == "xkb_layout" || change == "xkb_keymap") && isKeyboardWithLayout(body["input"]))
            follow(body["input"]["identifier"].get<std::string>(),
                   body["input"]["xkb_active_layout_name"].get<std::string>());
    }
    return open;
}
