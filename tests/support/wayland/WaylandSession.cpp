#include "support/wayland/WaylandSession.h"

#include "support/TempHome.h"

#include <X11/Xcursor/Xcursor.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <gio/gio.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Compositors refuse to run as root.
constexpr uid_t sessionUser = 65534;

std::vector<std::string> asSessionUser(std::vector<std::string> command)
{
    // Programs inside choose their toolkit platform as they would there.
    std::vector<std::string> prefix{"/usr/bin/env", "-u", "QT_QPA_PLATFORM"};
    if (geteuid() == 0)
        prefix.insert(prefix.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    command.insert(command.begin(), prefix.begin(), prefix.end());
    return command;
}

void handOver(const std::string& path)
{
    if (geteuid() != 0)
        return;
    [[maybe_unused]] int ignored = lchown(path.c_str(), sessionUser, sessionUser);
    if (fs::is_directory(fs::symlink_status(path)))
        for (const auto& entry : fs::recursive_directory_iterator(path))
            ignored = lchown(entry.path().c_str(), sessionUser, sessionUser);
}

constexpr const char* probeTheme = "TarnwickTestProbe";
constexpr std::uint32_t probeGreen = 0x00FF00;

// Every pointer shape a compositor shows over a bare desktop, a solid square.
void writeProbeTheme(const std::string& icons)
{
    std::string folder = icons + "/" + probeTheme;
    fs::create_directories(folder + "/cursors");
    TempHome::writeFile(folder + "/index.theme", std::string("[Icon Theme]\nName=") + probeTheme + "\n");
    XcursorImages* images = XcursorImagesCreate(1);
    XcursorImage* image = images->images[images->nimage++] = XcursorImageCreate(24, 24);
    std::fill(image->pixels, image->pixels + 24 * 24, 0xFF000000u | probeGreen);
    image->size = 24;
    image->xhot = image->yhot = image->delay = 0;
    XcursorFilenameSaveImages((folder + "/cursors/left_ptr").c_str(), images);
    XcursorImagesDestroy(images);
    fs::create_symlink("left_ptr", folder + "/cursors/default");
}

// One variable of `env`'s output; empty when it is not there.
std::string variableIn(const std::string& listing, const std::string& name)
{
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with(name + "="))
            return line.substr(name.size() + 1);
    return {};
}

int channel(std::uint32_t pixel, int shift)
{
    return static_cast<int>((pixel >> shift) & 0xFF);
}

// Within a few steps of the colour (0xRRGGBB) in every channel.
bool nearColour(std::uint32_t pixel, std::uint32_t colour)
{
    for (int shift : {16, 8, 0})
        if (std::abs(channel(pixel, shift) - channel(colour, shift)) > 3)
            return false;
    return true;
}

}

WaylandSession::WaylandSession()
{
    std::string pattern = (fs::temp_directory_path() / "tarnwick-wayland-XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    home_ = folder_ + "/home";
    runtime_ = folder_ + "/run";
    fs::create_directories(runtime_);
    fs::permissions(runtime_, fs::perms::owner_all);
    fs::permissions(folder_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    for (const char* theme : {"DMZ-White", "DMZ-Black"}) {
        fs::create_directories(home_ + "/.icons");
        fs::create_directory_symlink(std::string("/usr/share/icons/") + theme, home_ + "/.icons/" + theme);
    }
    writeProbeTheme(home_ + "/.icons");
    TempHome::writeFile(configHome() + "/glib-2.0/settings/keyfile",
                        "[org/gnome/desktop/interface]\ncursor-theme='DMZ-White'\ncursor-size=24\n");
    environment_ = {{"HOME", home_},
                    {"XDG_RUNTIME_DIR", runtime_},
                    {"XDG_CONFIG_HOME", configHome()},
                    {"XDG_DATA_HOME", home_ + "/.local/share"},
                    {"XDG_CACHE_HOME", home_ + "/.cache"},
                    {"XDG_SESSION_TYPE", "wayland"},
                    {"DBUS_SESSION_BUS_ADDRESS", sessionBus_.address()},
                    {"DISPLAY", ""},
                    {"XCURSOR_PATH", home_ + "/.local/share/icons:" + home_ + "/.icons"},
                    {"XCURSOR_THEME", "DMZ-White"},
                    {"XCURSOR_SIZE", "24"},
                    {"GSETTINGS_BACKEND", "keyfile"},
                    {"NO_AT_BRIDGE", "1"}};
    auto flags = GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                      G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
    bus_ = g_dbus_connection_new_for_address_sync(sessionBus_.address().c_str(), flags, nullptr, nullptr, nullptr);
}

WaylandSession::~WaylandSession()
{
    input_.reset();
    if (compositor_) {
        compositor_->signal(SIGTERM);
        compositor_->wait(5);
    }
    compositor_.reset();
    if (bus_)
        g_object_unref(bus_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

void WaylandSession::start(std::vector<std::string> command, const std::map<std::string, std::string>& extraEnvironment,
                           const std::function<bool()>& answers)
{
    handOver(folder_);
    compositor_ = run(std::move(command), extraEnvironment);
    answered_ = waitUntil(20, [&] { return answers() || compositor_->wait(0).has_value(); }) && answers();
}

void WaylandSession::plugInput(const std::string& layouts)
{
    input_ = std::make_unique<VirtualInput>(runtime_ + "/" + environment_["WAYLAND_DISPLAY"], layouts, width, height);
}

std::string WaylandSession::environmentRecorder() const
{
    return "/bin/sh -c 'env > " + folder_ + "/session.env'";
}

// XWayland lets in its own user only; the tests' X connections are the test
// process's.
void WaylandSession::useXwayland(const std::string& resources)
{
    std::string recorded, display;
    waitUntil(20, [&] {
        recorded = TempHome::readFile(folder_ + "/session.env");
        return !(display = variableIn(recorded, "DISPLAY")).empty();
    });
    environment_["DISPLAY"] = display;
    environment_["XAUTHORITY"] = variableIn(recorded, "XAUTHORITY");
    if (display.empty())
        return;
    if (geteuid() != sessionUser)
        if (const passwd* tests = getpwuid(geteuid()))
            run({"/usr/bin/xhost", std::string("+si:localuser:") + tests->pw_name})->wait(10);
    if (!resources.empty()) {
        writeFile(folder_ + "/Xresources", resources);
        run({"/usr/bin/xrdb", "-merge", folder_ + "/Xresources"})->wait(10);
    }
}

std::string WaylandSession::xDisplay() const
{
    auto display = environment_.find("DISPLAY");
    return display != environment_.end() ? display->second : std::string();
}

void WaylandSession::allowXwayland()
{
    std::error_code ignored;
    fs::create_directories("/tmp/.X11-unix", ignored);
    if (geteuid() == 0)
        fs::permissions("/tmp/.X11-unix", fs::perms::all | fs::perms::sticky_bit, ignored);
}

::testing::AssertionResult WaylandSession::ready() const
{
    if (!sessionBus_.running() || !bus_)
        return ::testing::AssertionFailure() << "no private session bus";
    if (!answered_)
        return ::testing::AssertionFailure() << "the compositor did not start: " << compositor_->standardError();
    if (!input_ || !input_->ready())
        return ::testing::AssertionFailure() << "no virtual pointer: " << compositor_->standardError();
    return ::testing::AssertionSuccess();
}

bool WaylandSession::busNameAnswers(const char* name) const
{
    GVariant* reply = g_dbus_connection_call_sync(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", name),
                                                  G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 500, nullptr, nullptr);
    gboolean owned = FALSE;
    if (reply) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    return owned;
}

std::unique_ptr<ChildProcess> WaylandSession::run(std::vector<std::string> command,
                                                  const std::map<std::string, std::string>& extraEnvironment) const
{
    std::map<std::string, std::string> environment = environment_;
    for (const auto& [name, value] : extraEnvironment)
        environment[name] = value;
    return std::make_unique<ChildProcess>(asSessionUser(std::move(command)), environment);
}

// The log's folder is the test's; the program writes its log as the
// session's user.
std::unique_ptr<ChildProcess> WaylandSession::launch(const TarnwickProgram& program,
                                                     const std::vector<std::string>& arguments)
{
    fs::permissions(fs::path(program.logPath()).parent_path(), fs::perms::all);
    std::vector<std::string> command = asSessionUser({ChildProcess::programPath()});
    command.insert(command.end(), arguments.begin(), arguments.end());
    return program.launch(environment_, {command.begin() + 1, command.end()}, command.front());
}

void WaylandSession::writeFile(const std::string& path, const std::string& text) const
{
    TempHome::writeFile(path, text);
    handOver(fs::path(path).parent_path());
}

bool WaylandSession::waitForWindow(const std::string& program, bool up)
{
    return waitUntil(20, [&] { return showsWindow(program) == up; });
}

// KWin 5.27 keeps the image of a resting pointer until the next motion once
// a program has just shown a window; the proof moves the pointer a little
// until the probe shows.
::testing::AssertionResult WaylandSession::restPointer(int x, int y)
{
    restPointerOver(x, y);
    if (!capturesPointer())
        return loadsThemesByHand();
    pointTheme(probeTheme);
    bool probed = waitUntil(10, [&] {
        if (waitUntil(1, [&] { return pointerPixelsNear(probeGreen) > 100; }))
            return true;
        input_->moveTo(x + 1, y);
        input_->moveTo(x, y);
        return false;
    });
    pointTheme("DMZ-White");
    if (!probed || !waitUntil(5, [&] { return pointerPixelsNear(probeGreen) == 0; }))
        return ::testing::AssertionFailure() << "the compositor's pointer does not show a theme set by hand";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult WaylandSession::loadsThemesByHand()
{
    pointTheme(probeTheme);
    bool probed = waitUntil(5, [&] { return loadedTheme() == probeTheme; });
    pointTheme("DMZ-White");
    if (!probed || !waitUntil(5, [&] { return loadedTheme() == "DMZ-White"; }))
        return ::testing::AssertionFailure() << "the compositor does not load a theme set by hand: " << loadedTheme();
    return ::testing::AssertionSuccess();
}

void WaylandSession::restPointerOver(int x, int y)
{
    pointerArea_ = {x - 48, y - 16, 96, 96};
    input_->moveTo(60, height - 40);
    reference_ = capture(pointerArea_);
    input_->moveTo(x, y);
}

// KWin and sway hand the pointer to a window just shown only with the
// pointer's next motion.
bool WaylandSession::restPointerOverXwayland(int x, int y)
{
    auto handedOver = [&] {
        return waitUntil(10, [&] {
            input_->moveTo(x + 1, y);
            input_->moveTo(x, y);
            return waitUntil(0.2, [&] { return xwaylandHasPointerAt(x, y); });
        });
    };
    if (!handedOver())
        return false;
    restPointerOver(x, y);
    return handedOver();
}

bool WaylandSession::xwaylandHasPointerAt(int x, int y) const
{
    Display* display = XOpenDisplay(xDisplay().c_str());
    if (!display)
        return false;
    Window root = 0, child = 0;
    int rootX = -1, rootY = -1, windowX, windowY;
    unsigned int buttons;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &windowX, &windowY, &buttons);
    XCloseDisplay(display);
    return child && rootX == x && rootY == y;
}

std::string WaylandSession::compositorOutput() const
{
    return compositor_ ? compositor_->standardError() : "";
}

int WaylandSession::xwaylandCursorPixelsNear(std::uint32_t colour) const
{
    Display* display = XOpenDisplay(xDisplay().c_str());
    XFixesCursorImage* image = display ? XFixesGetCursorImage(display) : nullptr;
    int count = 0;
    for (int i = 0; image && i < image->width * image->height; ++i) {
        auto pixel = static_cast<std::uint32_t>(image->pixels[i]);
        count += pixel >> 24 == 0xFF && nearColour(pixel, colour);
    }
    if (image)
        XFree(image);
    if (display)
        XCloseDisplay(display);
    return count;
}

int WaylandSession::pointerPixelsNear(std::uint32_t colour)
{
    std::vector<std::uint32_t> now = capture(pointerArea_);
    int count = 0;
    for (std::size_t i = 0; i < now.size() && i < reference_.size(); ++i)
        count += nearColour(now[i], colour) && now[i] != reference_[i];
    return count;
}
