#include "support/wayland/KwinSession.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* socketName = "wayland-tarnwick";

// Every normal window, now and later, to the right half of the screen; each
// one that comes and goes is told in KWin's output, since KWin 6 has no
// window search on the bus. KWin 6 calls windows what 5 called clients.
constexpr const char* placement = R"(function place(window) {
    if (!window.normalWindow)
        return;
    window.frameGeometry = {x: 700, y: 60, width: 540, height: 680};
    print("tarnwick-window shown " + window.resourceClass);
}
function gone(window) {
    if (window.normalWindow)
        print("tarnwick-window gone " + window.resourceClass);
}
(workspace.windowList ? workspace.windowList() : workspace.clientList()).forEach(place);
(workspace.windowAdded || workspace.clientAdded).connect(place);
(workspace.windowRemoved || workspace.clientRemoved).connect(gone);
)";

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}

KwinSession::KwinSession(const std::string& layouts, bool xwayland)
{
    writeFile(configHome() + "/kcminputrc", "[Mouse]\ncursorTheme=DMZ-White\ncursorSize=24\n");
    writeFile(configHome() + "/kxkbrc", "[Layout]\nLayoutList=" + layouts + "\nUse=true\n");
    writeFile(folder_ + "/placement.js", placement);
    std::string kwin = folder_ + "/kwin_wayland";
    fs::copy_file("/usr/bin/kwin_wayland", kwin);
    environment_["WAYLAND_DISPLAY"] = socketName;
    environment_["XDG_CURRENT_DESKTOP"] = "KDE";
    std::vector<std::string> command{kwin,          "--virtual", "--width", std::to_string(width), "--height",
                                     std::to_string(height), "--socket", socketName, "--no-lockscreen",
                                     "--no-global-shortcuts", "--no-kactivities"};
    if (xwayland) {
        allowXwayland();
        // KWin starts the programs it is given once XWayland is up.
        command.insert(command.end(), {"--xwayland", environmentRecorder()});
    }
    start(command, {{"KWIN_SCREENSHOT_NO_PERMISSION_CHECKS", "1"}, {"KWIN_WAYLAND_NO_PERMISSION_CHECKS", "1"}},
          [this] { return busNameAnswers("org.kde.KWin") && busNameAnswers("org.kde.keyboard"); });
    // Plasma's start exports the theme of kcminputrc as XCURSOR_THEME and
    // XCURSOR_SIZE, as every session here does, and loads it into the X
    // resources for X programs.
    if (xwayland)
        useXwayland("Xcursor.theme: DMZ-White\nXcursor.size: 24\n");
    placeWindows();
    plugInput(layouts);
}

void KwinSession::placeWindows()
{
    GVariant* loaded = g_dbus_connection_call_sync(bus(), "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting",
                                                   "loadScript",
                                                   g_variant_new("(ss)", (folder_ + "/placement.js").c_str(), "tests"),
                                                   nullptr, G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
    if (!loaded)
        return;
    g_variant_unref(loaded);
    GVariant* started = g_dbus_connection_call_sync(bus(), "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting",
                                                    "start", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, 2000, nullptr,
                                                    nullptr);
    if (started)
        g_variant_unref(started);
}

bool KwinSession::switchLayout(unsigned index)
{
    GVariant* reply = g_dbus_connection_call_sync(bus(), "org.kde.keyboard", "/Layouts", "org.kde.KeyboardLayouts",
                                                  "setLayout", g_variant_new("(u)", index), G_VARIANT_TYPE("(b)"),
                                                  G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
    gboolean switched = FALSE;
    if (reply) {
        g_variant_get(reply, "(b)", &switched);
        g_variant_unref(reply);
    }
    return switched;
}

// The windows of the program shown and not gone again, as the placement
// script tells them.
bool KwinSession::showsWindow(const std::string& program)
{
    std::istringstream lines(compositorOutput());
    int open = 0;
    for (std::string line; std::getline(lines, line);) {
        if (lowerCase(line).ends_with("tarnwick-window shown " + lowerCase(program)))
            ++open;
        else if (lowerCase(line).ends_with("tarnwick-window gone " + lowerCase(program)))
            --open;
    }
    return open > 0;
}

bool KwinSession::capturesPointer()
{
    if (!screenshots_)
        screenshots_ = callKwin("/org/kde/KWin/ScreenShot2", "org.freedesktop.DBus.Introspectable", "Introspect")
                           .find("CaptureArea") != std::string::npos;
    return *screenshots_;
}

// KWin's support information has a section "Cursor" with "themeName: …".
std::string KwinSession::loadedTheme()
{
    std::string information = callKwin("/KWin", "org.kde.KWin", "supportInformation");
    std::size_t section = information.find("\nCursor\n");
    std::size_t name = information.find("themeName: ", section);
    if (section == std::string::npos || name == std::string::npos)
        return "";
    name += std::strlen("themeName: ");
    return information.substr(name, information.find('\n', name) - name);
}

std::string KwinSession::callKwin(const char* path, const char* interface, const char* method)
{
    GVariant* reply = g_dbus_connection_call_sync(bus(), "org.kde.KWin", path, interface, method, nullptr,
                                                  G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr,
                                                  nullptr);
    if (!reply)
        return "";
    const gchar* text = nullptr;
    g_variant_get(reply, "(&s)", &text);
    std::string result = text;
    g_variant_unref(reply);
    return result;
}

// As KDE's settings do it.
void KwinSession::pointTheme(const std::string& name)
{
    writeFile(configHome() + "/kcminputrc", "[Mouse]\ncursorTheme=" + name + "\ncursorSize=24\n");
    g_dbus_connection_emit_signal(bus(), nullptr, "/KGlobalSettings", "org.kde.KGlobalSettings", "notifyChange",
                                  g_variant_new("(ii)", 5, 0), nullptr);
    g_dbus_connection_flush_sync(bus(), nullptr, nullptr);
}

// ScreenShot2 writes the pixels into a pipe as a QImage's bytes (32 bits a
// pixel, 0xAARRGGBB words) and answers their layout.
std::vector<std::uint32_t> KwinSession::capture(Area area)
{
    int pipe[2];
    if (pipe2(pipe, O_CLOEXEC) != 0)
        return {};
    GUnixFDList* descriptors = g_unix_fd_list_new_from_array(&pipe[1], 1);
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&options, "{sv}", "include-cursor", g_variant_new_boolean(TRUE));
    g_variant_builder_add(&options, "{sv}", "native-resolution", g_variant_new_boolean(TRUE));
    GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
        bus(), "org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureArea",
        g_variant_new("(iiuua{sv}h)", area.x, area.y, area.width, area.height, &options, 0), nullptr,
        G_DBUS_CALL_FLAGS_NONE, 5000, descriptors, nullptr, nullptr, nullptr);
    g_object_unref(descriptors);
    std::string bytes;
    char buffer[65536];
    for (ssize_t got; reply && (got = read(pipe[0], buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, static_cast<std::size_t>(got));
    close(pipe[0]);
    guint32 width = 0, height = 0, stride = 0;
    if (reply) {
        GVariant* layout = g_variant_get_child_value(reply, 0);
        g_variant_lookup(layout, "width", "u", &width);
        g_variant_lookup(layout, "height", "u", &height);
        g_variant_lookup(layout, "stride", "u", &stride);
        g_variant_unref(layout);
        g_variant_unref(reply);
    }
    std::vector<std::uint32_t> pixels;
    for (guint32 row = 0; row < height && bytes.size() >= std::size_t(stride) * height; ++row)
        for (guint32 column = 0; column < width; ++column) {
            std::uint32_t word;
            std::memcpy(&word, bytes.data() + row * stride + column * 4, 4);
            pixels.push_back(word & 0xFFFFFF);
        }
    return pixels;
}
