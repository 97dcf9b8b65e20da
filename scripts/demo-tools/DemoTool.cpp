// The X-side half of the headless demo (scripts/demo): a window under the
// pointer, keyboard group changes, and pictures and hashes of the live cursor.

#include "ContactSheet.h"
#include "CursorCapture.h"
#include "DemoWindow.h"

#include "language/CursorStyle.h"
#include "language/InputLanguage.h"

#include <X11/XKBlib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const usage =
    "usage: demo_tool window [CURSOR-NAME]\n"
    "       demo_tool lock-group N\n"
    "       demo_tool live-hash\n"
    "       demo_tool theme-hash [CURSOR-NAME]\n"
    "       demo_tool capture OUT.png\n"
    "       demo_tool wait-change HASH SECONDS\n"
    "       demo_tool badge-pixels PNG LANGUAGE-CODE\n"
    "       demo_tool contact-sheet OUT.png [PNG LABEL]...\n";

int fail(const std::string& message)
{
    std::cerr << "demo_tool: " << message << "\n";
    return 1;
}

struct Connection {
    Display* display = XOpenDisplay(nullptr);
    ~Connection()
    {
        if (display)
            XCloseDisplay(display);
    }
};

std::optional<int> number(const std::string& text)
{
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 0 || value > 1000)
        return std::nullopt;
    return static_cast<int>(value);
}

int showWindow(Display* display, const std::string& cursorName)
{
    DemoWindow window(display, cursorName);
    if (!window.shown())
        return fail("the cursor theme has no " + cursorName);
    std::cout << "ready" << std::endl;
    window.run();
}

std::string groupName(Display* display, int group)
{
    XkbDescPtr keyboard = XkbAllocKeyboard();
    std::string name = "?";
    if (keyboard && XkbGetNames(display, XkbGroupNamesMask, keyboard) == Success &&
        keyboard->names->groups[group] != None) {
        char* atomName = XGetAtomName(display, keyboard->names->groups[group]);
        name = atomName;
        XFree(atomName);
    }
    if (keyboard)
        XkbFreeKeyboard(keyboard, 0, True);
    return name;
}

int lockGroup(Display* display, int group)
{
    if (group >= XkbNumKbdGroups)
        return fail("there are at most " + std::to_string(XkbNumKbdGroups) + " groups");
    XkbLockGroup(display, XkbUseCoreKbd, static_cast<unsigned>(group));
    XkbStateRec state;
    if (XkbGetState(display, XkbUseCoreKbd, &state) != Success)
        return fail("no keyboard state");
    if (state.locked_group != group)
        return fail("the server kept group " + std::to_string(state.locked_group));
    std::cout << group << " " << groupName(display, group) << "\n";
    return 0;
}

// The badge may be drawn in more than one step, so a change counts once the
// image has held still for a moment.
int waitForChange(Display* display, const std::string& fromHash, double seconds)
{
    constexpr auto step = std::chrono::milliseconds(10);
    constexpr auto settled = std::chrono::milliseconds(300);
    auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    std::optional<CursorCapture> current = CursorCapture::live(display);
    while (current && current->hashText() == fromHash && Clock::now() < deadline) {
        std::this_thread::sleep_for(step);
        current = CursorCapture::live(display);
    }
    if (!current)
        return fail("no cursor image");
    if (current->hashText() == fromHash) {
        std::cout << current->hashText() << "\n";
        return 1;
    }
    auto lastChange = Clock::now();
    while (Clock::now() - lastChange < settled && Clock::now() < deadline + settled) {
        std::this_thread::sleep_for(step);
        std::optional<CursorCapture> next = CursorCapture::live(display);
        if (next && next->hash() != current->hash()) {
            current = next;
            lastChange = Clock::now();
        }
    }
    std::cout << current->hashText() << "\n";
    return 0;
}

int capture(Display* display, const std::string& path)
{
    std::optional<CursorCapture> live = CursorCapture::live(display);
    if (!live)
        return fail("no cursor image");
    if (!live->writePng(path))
        return fail("cannot write " + path);
    std::cout << live->width() << "x" << live->height() << " " << live->hashText() << "\n";
    return 0;
}

int printHash(const std::optional<CursorCapture>& capture, const std::string& what)
{
    if (!capture)
        return fail("no image of " + what);
    std::cout << capture->hashText() << "\n";
    return 0;
}

// The fill of the language's letter badge, the style of a fresh home.
CursorCapture::Colour badgeFill(const std::string& code)
{
    Color fill = marker(CursorStyle::letterBadge, InputLanguage::make(code, code, "xkb:" + code))->fillColor;
    Color::RGBA rgba = fill.rgba();
    auto byte = [](double unit) { return static_cast<int>(std::lround(unit * 255)); };
    return {byte(rgba.red), byte(rgba.green), byte(rgba.blue)};
}

int badgePixels(const std::string& path, const std::string& code)
{
    std::optional<CursorCapture> picture = CursorCapture::readPng(path);
    if (!picture)
        return fail("cannot read " + path);
    CursorCapture::Colour fill = badgeFill(code);
    char colour[8];
    std::snprintf(colour, sizeof colour, "#%02X%02X%02X", fill.red, fill.green, fill.blue);
    std::cout << picture->opaquePixelsNear(fill) << " " << colour << "\n";
    return 0;
}

int contactSheet(const std::string& path, const std::vector<std::string>& pairs)
{
    ContactSheet sheet;
    for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
        std::optional<CursorCapture> picture = CursorCapture::readPng(pairs[i]);
        if (!picture)
            return fail("cannot read " + pairs[i]);
        sheet.add(pairs[i + 1], *picture);
    }
    if (!sheet.write(path))
        return fail("cannot write " + path);
    return 0;
}

int runOnDisplay(const std::vector<std::string>& args)
{
    Connection connection;
    if (!connection.display)
        return fail("cannot open display \"" + std::string(XDisplayName(nullptr)) + "\"");
    Display* display = connection.display;
    const std::string& command = args[0];
    if (command == "window" && args.size() <= 2)
        return showWindow(display, args.size() == 2 ? args[1] : "left_ptr");
    if (command == "lock-group" && args.size() == 2 && number(args[1]))
        return lockGroup(display, *number(args[1]));
    if (command == "live-hash" && args.size() == 1)
        return printHash(CursorCapture::live(display), "the live cursor");
    if (command == "theme-hash" && args.size() <= 2) {
        std::string name = args.size() == 2 ? args[1] : "left_ptr";
        return printHash(CursorCapture::theme(display, name), name);
    }
    if (command == "capture" && args.size() == 2)
        return capture(display, args[1]);
    if (command == "wait-change" && args.size() == 3 && number(args[2]))
        return waitForChange(display, args[1], *number(args[2]));
    std::cerr << usage;
    return 2;
}

}

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << usage;
        return 2;
    }
    // The picture commands read files only and need no display.
    if (args[0] == "badge-pixels" && args.size() == 3)
        return badgePixels(args[1], args[2]);
    if (args[0] == "contact-sheet" && args.size() >= 2 && args.size() % 2 == 0)
        return contactSheet(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
    return runOnDisplay(args);
}
