#include "support/wayland/SwaySession.h"

#include "platform/compositor/SwayIpc.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// sway names its sockets itself; this runtime folder holds no others.
std::string socketIn(const std::string& folder, const std::string& prefix)
{
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored))
        if (entry.path().filename().string().starts_with(prefix) && entry.is_socket())
            return entry.path().filename().string();
    return {};
}

}

SwaySession::SwaySession(const std::string& layouts, bool xwayland)
{
    writeFile(folder_ + "/sway.config",
              "output HEADLESS-1 resolution " + std::to_string(width) + "x" + std::to_string(height) +
                  " position 0 0\n"
                  "seat seat0 attach \"*\"\n"
                  "seat seat0 xcursor_theme DMZ-White 24\n"
                  "for_window [title=\".*\"] floating enable, resize set 540 680, move position 700 60\n"
                  "xwayland " + (xwayland ? "enable" : "disable") + "\n"
                  "exec " + environmentRecorder() + "\n");
    environment_["XDG_CURRENT_DESKTOP"] = "sway";
    if (xwayland)
        allowXwayland();
    start({"/usr/bin/sway", "-c", folder_ + "/sway.config"},
          {{"WLR_BACKENDS", "headless"}, {"WLR_LIBINPUT_NO_DEVICES", "1"}, {"WLR_RENDERER", "pixman"}}, [this] {
              std::string ipc = socketIn(runtime_, "sway-ipc.");
              environment_["WAYLAND_DISPLAY"] = socketIn(runtime_, "wayland-");
              environment_["SWAYSOCK"] = runtime_ + "/" + ipc;
              return !ipc.empty() && !environment_["WAYLAND_DISPLAY"].empty() && SwayIpc(socket()).version();
          });
    // sway exports XCURSOR_THEME and XCURSOR_SIZE of seat0, as every session
    // here does; XWayland starts with its first X program.
    if (xwayland)
        useXwayland();
    plugInput(layouts);
}

bool SwaySession::switchLayout(unsigned index)
{
    return SwayIpc(socket()).command("input type:keyboard xkb_switch_layout " + std::to_string(index));
}

// The tree names each window's title and program (app_id).
bool SwaySession::showsWindow(const std::string& program)
{
    auto lowered = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
        return text;
    };
    std::string tree = lowered(SwayIpc(socket()).request(SwayIpc::getTree).value_or(""));
    return tree.find(lowered(program)) != std::string::npos;
}

// sway 1.7 loads the theme for its pointer when a pointer is plugged in.
void SwaySession::pointTheme(const std::string& name)
{
    SwayIpc(socket()).command("seat * xcursor_theme " + name + " 24");
    input().replug();
}

// grim's portable pixmap: "P6", width, height, 255, then RGB bytes.
std::vector<std::uint32_t> SwaySession::capture(Area area)
{
    auto grim = run({"/usr/bin/grim", "-t", "ppm", "-c", "-g",
                     std::to_string(area.x) + "," + std::to_string(area.y) + " " + std::to_string(area.width) + "x" +
                         std::to_string(area.height),
                     "-"});
    grim->wait(10);
    std::string bytes = grim->standardOutput();
    int width = 0, height = 0, consumed = 0;
    if (std::sscanf(bytes.c_str(), "P6 %d %d 255%n", &width, &height, &consumed) != 2 ||
        bytes.size() < std::size_t(consumed) + 1 + std::size_t(width * height * 3))
        return {};
    std::vector<std::uint32_t> pixels;
    for (const char* rgb = bytes.data() + consumed + 1; pixels.size() < std::size_t(width * height); rgb += 3)
        pixels.push_back(std::uint32_t(std::uint8_t(rgb[0])) << 16 | std::uint32_t(std::uint8_t(rgb[1])) << 8 |
                         std::uint8_t(rgb[2]));
    return pixels;
}
