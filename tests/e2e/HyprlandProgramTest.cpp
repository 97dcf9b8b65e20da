#include "support/TarnwickProgram.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

int listening(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd, 8);
    return fd;
}

// Hyprland's two sockets, as no Hyprland runs here: every request is kept and
// answered ("ok", or the keyboards for "j/devices"), and every connection to
// the event socket gets the layout switches the test makes.
class HyprlandStandIn {
public:
    HyprlandStandIn(const std::string& runtime, const std::string& instance)
    {
        std::string folder = runtime + "/hypr/" + instance;
        std::filesystem::create_directories(folder);
        requests_ = listening(folder + "/.socket.sock");
        events_ = listening(folder + "/.socket2.sock");
        thread_ = std::thread([this] { serve(); });
    }

    ~HyprlandStandIn()
    {
        stop_ = true;
        thread_.join();
        for (int fd : eventClients_)
            close(fd);
        close(requests_);
        close(events_);
    }

    std::vector<std::string> requests()
    {
        std::lock_guard lock(mutex_);
        return received_;
    }

    bool received(const std::string& prefix, const std::string& suffix, std::size_t from = 0)
    {
        return waitUntil(20, [&] {
            auto all = requests();
            for (std::size_t i = from; i < all.size(); ++i)
                if (all[i].starts_with(prefix) && all[i].ends_with(suffix))
                    return true;
            return false;
        });
    }

    void switchLayout(const std::string& description)
    {
        std::lock_guard lock(mutex_);
        keymap_ = description;
        // As Hyprland tells `switchxkblayout all next`: a line per keyboard,
        // each with a layout of its own, the main keyboard's not last.
        std::string line = "activewindow>>designer,Qt Designer\nactivelayout>>at-translated-set-2-keyboard," +
                           description + "\nactivelayout>>qemu-virtio-keyboard,German\n"
                           "activelayout>>power-button,English (US)\n";
        // Some listened once and left.
        for (int fd : eventClients_)
            send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    }

    // One keyboard switched alone, which Hyprland then makes its main one.
    void switchKeyboard(const std::string& keyboard, const std::string& description)
    {
        std::lock_guard lock(mutex_);
        keymap_ = description;
        std::string line = "activelayout>>" + keyboard + "," + description + "\n";
        for (int fd : eventClients_)
            send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    }

private:
    void serve()
    {
        while (!stop_) {
            pollfd listeners[] = {{requests_, POLLIN, 0}, {events_, POLLIN, 0}};
            if (poll(listeners, 2, 20) <= 0)
                continue;
            std::lock_guard lock(mutex_);
            if (listeners[1].revents)
                eventClients_.push_back(accept4(events_, nullptr, nullptr, SOCK_CLOEXEC));
            if (listeners[0].revents)
                answer(accept4(requests_, nullptr, nullptr, SOCK_CLOEXEC));
        }
    }

    void answer(int fd)
    {
        char buffer[512];
        pollfd request{fd, POLLIN, 0};
        ssize_t got = poll(&request, 1, 1000) == 1 ? read(fd, buffer, sizeof buffer) : 0;
        std::string text(buffer, got > 0 ? std::size_t(got) : 0);
        received_.push_back(text);
        std::string keyboards = R"json({"keyboards": [
            {"name": "power-button", "main": false, "active_keymap": "English (US)"},
            {"name": "qemu-virtio-keyboard", "main": false, "active_keymap": "German"},
            {"name": "at-translated-set-2-keyboard", "main": true, "active_keymap": ")json" + keymap_ + "\"}]}";
        std::string reply = text == "j/devices" ? keyboards : "ok";
        send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        close(fd);
    }

    int requests_, events_;
    std::vector<int> eventClients_;
    std::string keymap_ = "English (US)";
    std::vector<std::string> received_;
    std::mutex mutex_;
    std::atomic<bool> stop_ = false;
    std::thread thread_;
};

}

TEST(HyprlandProgramTest, HyprlandsThemeFollowsItsLayoutEventsAndIsTheUsersAgainAfterQuitAndCrashButNotInTheNext)
{
    TempHome home;
    std::string runtime = home.path() + "/run";
    HyprlandStandIn hyprland(runtime, "first"), next(runtime, "next");
    TarnwickProgram tarnwick;
    auto launch = [&](const std::string& instance, const std::vector<std::string>& arguments = {}) {
        return tarnwick.launch({{"HYPRLAND_INSTANCE_SIGNATURE", instance},
                                {"XDG_RUNTIME_DIR", runtime},
                                {"XDG_SESSION_TYPE", "wayland"},
                                {"WAYLAND_DISPLAY", "wayland-tarnwick-nobody"},
                                {"DISPLAY", ""},
                                {"QT_QPA_PLATFORM", "offscreen"},
                                {"XCURSOR_THEME", "DMZ-White"},
                                {"XCURSOR_SIZE", "32"},
                                {"GSETTINGS_BACKEND", "memory"},
                                {"DBUS_SESSION_BUS_ADDRESS", ""},
                                {"SWAYSOCK", ""},
                                {"TARNWICK_WINDOW_SERVER", ""},
                                {"TARNWICK_INPUT_SOURCE", ""}},
                               arguments);
    };
    // Hyprland finds Xcursor themes only on libXcursor's path.
    auto reachable = [&](const std::string& request) {
        std::string name = request.substr(request.find(' ') + 1, request.rfind(' ') - request.find(' ') - 1);
        return std::filesystem::is_directory(home.path() + "/.icons/" + name + "/cursors");
    };
    auto program = launch("first");
    ASSERT_TRUE(tarnwick.waitForLog("Input sources: using hyprland (TARNWICK_INPUT_SOURCE=auto; ")) << tarnwick.log();
    EXPECT_TRUE(hyprland.received("/setcursor Tarnwick-en-", " 32")) << tarnwick.log();
    std::string shown;
    for (const auto& request : hyprland.requests())
        shown = request.starts_with("/setcursor Tarnwick-en-") ? request : shown;
    EXPECT_TRUE(reachable(shown)) << shown;
    // A keyboard switched alone is Hyprland's main one from then on.
    std::size_t before = hyprland.requests().size();
    hyprland.switchKeyboard("qemu-virtio-keyboard", "German");
    EXPECT_TRUE(hyprland.received("/setcursor Tarnwick-de-", " 32", before)) << tarnwick.log();
    before = hyprland.requests().size();
    hyprland.switchKeyboard("at-translated-set-2-keyboard", "English (US)");
    EXPECT_TRUE(hyprland.received("/setcursor Tarnwick-en-", " 32", before)) << tarnwick.log();
    hyprland.switchLayout("Russian");
    EXPECT_TRUE(hyprland.received("/setcursor Tarnwick-ru-", " 32")) << tarnwick.log();
    auto detect = launch("first", {"--detect"});
    detect->wait(10);
    EXPECT_EQ(detect->standardOutput(), "ru\tРу\tRussian\txkb:ru\n");
    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10), 0) << program->standardError();
    EXPECT_EQ(hyprland.requests().back(), "/setcursor DMZ-White 32");
    EXPECT_FALSE(reachable(shown)) << "the link goes with the quit";

    program = launch("first");
    ASSERT_TRUE(hyprland.received("/setcursor Tarnwick-ru-", " 32", hyprland.requests().size()));
    program->signal(SIGKILL);
    program->wait(10);
    std::size_t killed = hyprland.requests().size();
    program = launch("first");
    ASSERT_TRUE(hyprland.received("/setcursor Tarnwick-ru-", " 32", killed));
    EXPECT_EQ(hyprland.requests()[killed], "/setcursor DMZ-White 32")
        << "the same Hyprland gets the user's theme first";

    program->signal(SIGKILL);
    program->wait(10);
    killed = hyprland.requests().size();
    program = launch("next");
    ASSERT_TRUE(next.received("/setcursor Tarnwick-en-", " 32"));
    EXPECT_EQ(next.requests().front().find("DMZ-White"), std::string::npos)
        << "another Hyprland never had the theme of the one that ended";
    EXPECT_EQ(hyprland.requests().size(), killed);
    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10), 0) << program->standardError();
}
