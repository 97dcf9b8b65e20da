#include "support/wayland/VirtualInput.h"

#include "fake-input-client.h"
#include "virtual-keyboard-client.h"
#include "wlr-virtual-pointer-client.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

namespace {

constexpr uid_t sessionUser = 65534;

// The compositor's objects, in the session user's process.
struct Devices {
    wl_display* display = nullptr;
    wl_seat* seat = nullptr;
    org_kde_kwin_fake_input* fakeInput = nullptr;
    zwlr_virtual_pointer_manager_v1* pointers = nullptr;
    zwlr_virtual_pointer_v1* pointer = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboards = nullptr;
    int width = 0, height = 0, x = 0, y = 0;
    std::uint32_t time = 0;

    static void announced(void* self, wl_registry* registry, std::uint32_t name, const char* interface,
                          std::uint32_t version)
    {
        auto take = [&](auto*& slot, const wl_interface& kind) {
            if (!slot && std::strcmp(interface, kind.name) == 0)
                slot = static_cast<std::remove_reference_t<decltype(slot)>>(
                    wl_registry_bind(registry, name, &kind, std::min(version, std::uint32_t(kind.version))));
        };
        auto& devices = *static_cast<Devices*>(self);
        take(devices.seat, wl_seat_interface);
        take(devices.fakeInput, org_kde_kwin_fake_input_interface);
        take(devices.pointers, zwlr_virtual_pointer_manager_v1_interface);
        take(devices.keyboards, zwp_virtual_keyboard_manager_v1_interface);
    }

    // KWin offers its fake input a moment after it answers on the bus.
    bool plug(const std::string& socket, const std::string& layouts)
    {
        static const wl_registry_listener listener{&Devices::announced, [](void*, wl_registry*, std::uint32_t) {}};
        for (int attempt = 0; attempt < 100 && !fakeInput && !pointers; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(attempt ? 100 : 0));
            if (display)
                wl_display_disconnect(display);
            *this = Devices{nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, width, height};
            if ((display = wl_display_connect(socket.c_str()))) {
                wl_registry_add_listener(wl_display_get_registry(display), &listener, this);
                wl_display_roundtrip(display);
            }
        }
        if (fakeInput)
            org_kde_kwin_fake_input_authenticate(fakeInput, "tarnwick tests", "the tests' pointer");
        if (pointers)
            pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointers, seat);
        if (keyboards && seat)
            plugKeyboard(layouts);
        return display && wl_display_roundtrip(display) >= 0 && (fakeInput || pointer);
    }

    void plugKeyboard(const std::string& layouts)
    {
        xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        xkb_rule_names names{"evdev", "pc105", layouts.c_str(), nullptr, nullptr};
        xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
        std::string text = keymap ? xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1) : "";
        int fd = memfd_create("tarnwick-test-keymap", MFD_CLOEXEC);
        if (write(fd, text.c_str(), text.size() + 1) == ssize_t(text.size() + 1))
            zwp_virtual_keyboard_v1_keymap(zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboards, seat),
                                           WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, std::uint32_t(text.size() + 1));
        wl_display_roundtrip(display);
        close(fd);
        xkb_keymap_unref(keymap);
        xkb_context_unref(context);
    }

    void moveTo(int toX, int toY)
    {
        x = toX;
        y = toY;
        if (fakeInput)
            org_kde_kwin_fake_input_pointer_motion_absolute(fakeInput, wl_fixed_from_int(x), wl_fixed_from_int(y));
        if (pointer) {
            zwlr_virtual_pointer_v1_motion_absolute(pointer, ++time, x, y, width, height);
            zwlr_virtual_pointer_v1_frame(pointer);
        }
        wl_display_roundtrip(display);
    }

    void replug()
    {
        if (!pointer)
            return;
        zwlr_virtual_pointer_v1_destroy(pointer);
        wl_display_roundtrip(display);
        pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointers, seat);
        moveTo(x, y);
    }
};

// The child's whole life: commands "m X Y" and "r" in, one byte out for each.
// KWin finds out which program a client is through /proc, which a process
// that changed its user keeps closed until it says otherwise.
[[noreturn]] void serve(const std::string& socket, const std::string& layouts, int width, int height, int in, int out)
{
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setresgid(sessionUser, sessionUser, sessionUser) != 0 ||
                           setresuid(sessionUser, sessionUser, sessionUser) != 0 || prctl(PR_SET_DUMPABLE, 1) != 0))
        _exit(1);
    Devices devices;
    devices.width = width;
    devices.height = height;
    bool plugged = devices.plug(socket, layouts);
    if (write(out, plugged ? "1" : "0", 1) != 1 || !plugged)
        _exit(1);
    FILE* commands = fdopen(in, "r");
    int x = 0, y = 0;
    for (char line[64]; fgets(line, sizeof line, commands);) {
        std::sscanf(line, "m %d %d", &x, &y) == 2 ? devices.moveTo(x, y) : devices.replug();
        if (write(out, ".", 1) != 1)
            break;
    }
    _exit(0);
}

}

VirtualInput::VirtualInput(const std::string& socket, const std::string& layouts, int width, int height)
{
    int down[2], up[2];
    if (pipe2(down, O_CLOEXEC) != 0 || pipe2(up, O_CLOEXEC) != 0)
        return;
    pid_ = fork();
    if (pid_ == 0)
        serve(socket, layouts, width, height, down[0], up[1]);
    close(down[0]);
    close(up[1]);
    commands_ = down[1];
    answers_ = up[0];
    pollfd answered{answers_, POLLIN, 0};
    char plugged = '0';
    ready_ = poll(&answered, 1, 15000) == 1 && read(answers_, &plugged, 1) == 1 && plugged == '1';
}

VirtualInput::~VirtualInput()
{
    close(commands_);
    close(answers_);
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

bool VirtualInput::tell(const std::string& command)
{
    pollfd answered{answers_, POLLIN, 0};
    char done;
    return ready_ && write(commands_, command.data(), command.size()) == ssize_t(command.size()) &&
           poll(&answered, 1, 5000) == 1 && read(answers_, &done, 1) == 1;
}

void VirtualInput::moveTo(int x, int y)
{
    tell("m " + std::to_string(x) + " " + std::to_string(y) + "\n");
}

void VirtualInput::replug()
{
    tell("r\n");
}
