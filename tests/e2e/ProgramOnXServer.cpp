#include "ProgramOnXServer.h"

#include "language/CursorStyle.h"
#include "language/InputLanguage.h"

#include <X11/Xatom.h>

#include <cmath>
#include <cstdlib>

namespace {

int channel(std::uint32_t pixel, int shift)
{
    return static_cast<int>((pixel >> shift) & 0xFF);
}

// Desktops also load the cursor theme into the X resources, where programs
// that read no environment for it (Qt's libxcb-cursor) find it.
void loadCursorResources(const std::string& theme)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return;
    std::string resources = "Xcursor.theme:\t" + theme + "\nXcursor.size:\t24\n";
    XChangeProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources.data()), static_cast<int>(resources.size()));
    XCloseDisplay(display);
}

}

ProgramOnXServer::ProgramOnXServer() : theme_(selectCursorTheme())
{
    if (!server_.running())
        return;
    // The test's own connections (the window, the theme lookups) go to the
    // private server too.
    setenv("DISPLAY", server_.display().c_str(), 1);
    loadCursorResources(theme_);
    keyboard_ = std::make_unique<TestKeyboard>(server_.display());
    layoutsSet_ = keyboard_->setLayouts("us,ru,de");
    keyboard_->lockGroup(0);
    arrow_ = themeCursor("left_ptr");
    window_ = std::make_unique<CursorTestWindow>("left_ptr");
}

::testing::AssertionResult ProgramOnXServer::ready() const
{
    if (!server_.running())
        return ::testing::AssertionFailure() << "Xvfb did not start";
    if (!bus_.running())
        return ::testing::AssertionFailure() << "no private session bus";
    if (!layoutsSet_)
        return ::testing::AssertionFailure() << "setxkbmap could not set us,ru,de";
    if (!arrow_)
        return ::testing::AssertionFailure() << "the theme " << theme_ << " has no left_ptr";
    if (!window_ || !window_->display())
        return ::testing::AssertionFailure() << "no test window";
    if (window_->onScreen().pixels != arrow_->pixels)
        return ::testing::AssertionFailure() << "the window does not show the theme's arrow";
    return ::testing::AssertionSuccess();
}

std::map<std::string, std::string> ProgramOnXServer::environment(const std::map<std::string, std::string>& extra) const
{
    std::map<std::string, std::string> environment{{"DISPLAY", server_.display()},
                                                   {"WAYLAND_DISPLAY", ""},
                                                   {"DBUS_SESSION_BUS_ADDRESS", bus_.address()},
                                                   {"QT_QPA_PLATFORM", "xcb"},
                                                   {"TARNWICK_WINDOW_SERVER", "x11"},
                                                   {"TARNWICK_INPUT_SOURCE", "xkb"},
                                                   {"XCURSOR_THEME", theme_},
                                                   {"XCURSOR_SIZE", "24"}};
    for (const auto& [name, value] : extra)
        environment[name] = value;
    return environment;
}

std::unique_ptr<ChildProcess> ProgramOnXServer::launch(const std::map<std::string, std::string>& extraEnvironment,
                                                       const std::string& program)
{
    return program_.launch(environment(extraEnvironment), {}, program);
}

std::unique_ptr<ChildProcess> ProgramOnXServer::command(const std::vector<std::string>& arguments,
                                                        const std::string& program)
{
    std::vector<std::string> line{program};
    line.insert(line.end(), arguments.begin(), arguments.end());
    auto process = std::make_unique<ChildProcess>(line, environment({{"TARNWICK_LOG_FILE", program_.logPath()}}));
    process->wait(30);
    return process;
}

void ProgramOnXServer::lockGroup(unsigned int group)
{
    keyboard_->lockGroup(group);
}

ScreenCursor ProgramOnXServer::live()
{
    return window_->onScreen();
}

bool ProgramOnXServer::showsThemeArrow()
{
    ScreenCursor now = live();
    return now.width == arrow_->width && now.height == arrow_->height && now.xHot == arrow_->xHot &&
           now.yHot == arrow_->yHot && pixelHash(now.pixels) == pixelHash(arrow_->pixels);
}

Rgb letterBadgeFill(const std::string& code)
{
    Color fill = marker(CursorStyle::letterBadge, InputLanguage::make(code, code, "xkb:" + code))->fillColor;
    Color::RGBA rgba = fill.rgba();
    auto byte = [](double unit) { return static_cast<int>(std::lround(unit * 255)); };
    return {byte(rgba.red), byte(rgba.green), byte(rgba.blue)};
}

int opaquePixelsNear(const ScreenCursor& cursor, Rgb colour, int tolerance)
{
    int count = 0;
    for (std::uint32_t pixel : cursor.pixels) {
        count += channel(pixel, 24) == 0xFF && std::abs(channel(pixel, 16) - colour.red) <= tolerance &&
                 std::abs(channel(pixel, 8) - colour.green) <= tolerance &&
                 std::abs(channel(pixel, 0) - colour.blue) <= tolerance;
    }
    return count;
}
