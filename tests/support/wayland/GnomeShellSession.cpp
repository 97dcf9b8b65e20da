#include "support/wayland/GnomeShellSession.h"

#include "support/TempHome.h"

#include <gio/gio.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int callTimeout = 10000;
constexpr unsigned escapeKey = 0xff1b;

GVariant* call(GDBusConnection* bus, const char* destination, const std::string& path, const char* interface,
               const char* method, GVariant* arguments, const char* replyType = nullptr)
{
    if (!bus)
        return nullptr;
    return g_dbus_connection_call_sync(bus, destination, path.c_str(), interface, method, arguments,
                                       replyType ? G_VARIANT_TYPE(replyType) : nullptr, G_DBUS_CALL_FLAGS_NONE,
                                       callTimeout, nullptr, nullptr);
}

bool succeeded(GVariant* reply)
{
    if (!reply)
        return false;
    g_variant_unref(reply);
    return true;
}

std::string inQuotes(const std::string& text)
{
    return "'" + text + "'";
}

std::string sourceList(const std::vector<std::pair<std::string, std::string>>& sources)
{
    std::string list = "[";
    for (const auto& [type, id] : sources)
        list += (list.size() > 1 ? ", (" : "(") + inQuotes(type) + ", " + inQuotes(id) + ")";
    return list + "]";
}

// Where the shell says XWayland listens: "Using public X11 display :N".
std::string xwaylandDisplayIn(const std::string& log)
{
    std::smatch found;
    static const std::regex line("Using public X11 display (:[0-9]+)");
    return std::regex_search(log, found, line) ? found[1].str() : std::string();
}

}

GnomeShellSession::GnomeShellSession(const Options& options)
    : sessionBus_({"ca.desrt.dconf"}),
      runtimeFolder_(fs::temp_directory_path() / "tarnwick-gnome-XXXXXX"),
      shotFolder_(runtimeFolder_ + "/shots")
{
    if (!mkdtemp(runtimeFolder_.data()) || !sessionBus_.running() || !systemBus_.running())
        return;
    shotFolder_ = runtimeFolder_ + "/shots";
    fs::create_directories(shotFolder_);
    waylandDisplay_ = "wayland-tarnwick-" + std::to_string(getpid());
    // XWayland, like every X server, needs the shared socket folder open to all.
    fs::create_directories("/tmp/.X11-unix");
    fs::permissions("/tmp/.X11-unix", fs::perms::all | fs::perms::sticky_bit);
    bus_ = g_dbus_connection_new_for_address_sync(
        sessionBus_.address().c_str(),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    // Services the bus starts, dconf among them, live in the session too: a
    // dconf writer marks changes in the runtime folder its readers watch.
    GVariantBuilder variables;
    g_variant_builder_init(&variables, G_VARIANT_TYPE("a{ss}"));
    for (const auto& [name, value] : environment())
        g_variant_builder_add(&variables, "{ss}", name.c_str(), value.c_str());
    succeeded(call(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                   "UpdateActivationEnvironment", g_variant_new("(a{ss})", &variables)));
    setSetting("org.gnome.desktop.interface", "cursor-theme", inQuotes(options.cursorTheme));
    setSetting("org.gnome.desktop.interface", "cursor-size", "24");
    setSetting("org.gnome.desktop.input-sources", "sources", sourceList(options.inputSources));
    std::string extensions = "[";
    for (const auto& folder : options.extensionFolders) {
        std::string uuid = fs::path(folder).filename();
        fs::path installed = fs::path(std::getenv("HOME")) / ".local/share/gnome-shell/extensions" / uuid;
        fs::create_directories(installed);
        fs::copy(folder, installed, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        extensions += (extensions.size() > 1 ? ", " : "") + inQuotes(uuid);
    }
    setSetting("org.gnome.shell", "enabled-extensions", extensions + "]");
    setSetting("org.gnome.shell", "disable-user-extensions", "false");
    // The shell starts in the overview; a session begins on the desktop.
    setSetting("org.gnome.shell", "welcome-dialog-last-shown-version", "'99.0'");
    shell_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/gnome-shell", "--headless", "--wayland", "--virtual-monitor",
                                 std::to_string(width) + "x" + std::to_string(height), "--wayland-display",
                                 waylandDisplay_},
        environment());
    // The screenshot interface comes last in the shell's start-up.
    bool up = waitUntil(60, [this] {
        return shell_->wait(0) || succeeded(call(bus_, "org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot",
                                                 "org.freedesktop.DBus.Introspectable", "Introspect", nullptr));
    });
    if (!up || shell_->wait(0))
        return;
    xwaylandDisplay_ = xwaylandDisplayIn(shell_->standardError() + shell_->standardOutput());
    for (const auto& entry : fs::directory_iterator(runtimeFolder_))
        if (entry.path().filename().string().starts_with(".mutter-Xwaylandauth."))
            xwaylandAuthority_ = entry.path();
    // What GNOME's settings daemon tells X programs in a full session: the
    // user's cursor theme, by name, in the X resources.
    std::string resources = runtimeFolder_ + "/Xresources";
    TempHome::writeFile(resources, "Xcursor.theme: " + options.cursorTheme + "\nXcursor.size: 24\n");
    ChildProcess({"/usr/bin/xrdb", "-merge", resources}, environment()).wait(10);
    // Only the shell's allowed callers may take screenshots: GNOME 51 no
    // longer lets the screenshot tool's name in, but still the settings
    // daemon's media keys, which take screenshots on the Print key. That
    // name is taken only where needed: an older shell calls its owner.
    for (const char* allowed : {"org.gnome.Screenshot", "org.gnome.SettingsDaemon.MediaKeys"}) {
        if (!capture(true).isNull())
            break;
        succeeded(call(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                       g_variant_new("(su)", allowed, 4u)));
    }
    GVariant* created = nullptr;
    waitUntil(10, [&] {
        return (created = call(bus_, "org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                               "org.gnome.Mutter.RemoteDesktop", "CreateSession", nullptr, "(o)"));
    });
    if (created) {
        const char* path = nullptr;
        g_variant_get(created, "(&o)", &path);
        remoteSession_ = path;
        g_variant_unref(created);
        succeeded(call(bus_, "org.gnome.Mutter.RemoteDesktop", remoteSession_, "org.gnome.Mutter.RemoteDesktop.Session",
                       "Start", nullptr));
        // GNOME 51 draws no pointer in its screenshots until the pointer
        // has moved once; a user's has long before anything is measured.
        movePointer(width / 2, height / 2);
    }
}

GnomeShellSession::~GnomeShellSession()
{
    if (shell_) {
        shell_->signal(SIGTERM);
        if (!shell_->wait(10))
            shell_->signal(SIGKILL);
    }
    if (bus_)
        g_object_unref(bus_);
    std::error_code ignored;
    fs::remove_all(runtimeFolder_, ignored);
}

::testing::AssertionResult GnomeShellSession::ready() const
{
    if (!shell_ || shell_->wait(0))
        return ::testing::AssertionFailure() << "gnome-shell did not start: "
                                             << (shell_ ? shell_->standardError() : std::string("no bus"));
    if (xwaylandDisplay_.empty() || remoteSession_.empty())
        return ::testing::AssertionFailure() << "no XWayland display or remote desktop session: "
                                             << shell_->standardError();
    return ::testing::AssertionSuccess();
}

std::map<std::string, std::string> GnomeShellSession::environment() const
{
    std::map<std::string, std::string> variables = {
        {"XDG_RUNTIME_DIR", runtimeFolder_},
        {"WAYLAND_DISPLAY", waylandDisplay_},
        {"XDG_SESSION_TYPE", "wayland"},
        {"XDG_CURRENT_DESKTOP", "GNOME"},
        {"DBUS_SESSION_BUS_ADDRESS", sessionBus_.address()},
        {"DBUS_SYSTEM_BUS_ADDRESS", systemBus_.address()},
        {"GSETTINGS_BACKEND", "dconf"},
        {"NO_AT_BRIDGE", "1"},
    };
    if (!xwaylandDisplay_.empty()) {
        variables["DISPLAY"] = xwaylandDisplay_;
        variables["XAUTHORITY"] = xwaylandAuthority_;
    }
    return variables;
}

std::string GnomeShellSession::setting(const std::string& schema, const std::string& key) const
{
    ChildProcess get({"/usr/bin/gsettings", "get", schema, key}, environment());
    get.wait(10);
    std::string value = get.standardOutput();
    while (!value.empty() && value.back() == '\n')
        value.pop_back();
    return value;
}

bool GnomeShellSession::setSetting(const std::string& schema, const std::string& key, const std::string& value) const
{
    ChildProcess set({"/usr/bin/gsettings", "set", schema, key, value}, environment());
    return set.wait(10) == 0;
}

bool GnomeShellSession::leaveOverview()
{
    auto overviewActive = [this] {
        GVariant* reply = call(bus_, "org.gnome.Shell", "/org/gnome/Shell", "org.freedesktop.DBus.Properties", "Get",
                               g_variant_new("(ss)", "org.gnome.Shell", "OverviewActive"), "(v)");
        if (!reply)
            return true;
        GVariant* value = nullptr;
        g_variant_get(reply, "(v)", &value);
        bool active = g_variant_get_boolean(value);
        g_variant_unref(value);
        g_variant_unref(reply);
        return active;
    };
    return waitUntil(10, [&] {
        if (!overviewActive())
            return true;
        pressKeys({escapeKey});
        return false;
    });
}

// From the bottom right corner, where the shell's hot corner is not.
void GnomeShellSession::movePointer(int x, int y)
{
    auto relative = [this](double dx, double dy) {
        succeeded(call(bus_, "org.gnome.Mutter.RemoteDesktop", remoteSession_, "org.gnome.Mutter.RemoteDesktop.Session",
                       "NotifyPointerMotionRelative", g_variant_new("(dd)", dx, dy)));
    };
    relative(4 * width, 4 * height);
    relative(x - width + 1, y - height + 1);
}

void GnomeShellSession::pressKeys(const std::vector<unsigned>& keysyms)
{
    auto key = [this](unsigned keysym, bool down) {
        succeeded(call(bus_, "org.gnome.Mutter.RemoteDesktop", remoteSession_, "org.gnome.Mutter.RemoteDesktop.Session",
                       "NotifyKeyboardKeysym", g_variant_new("(ub)", keysym, down)));
    };
    for (unsigned keysym : keysyms)
        key(keysym, true);
    for (auto keysym = keysyms.rbegin(); keysym != keysyms.rend(); ++keysym)
        key(*keysym, false);
}

QImage GnomeShellSession::capture(bool withPointer) const
{
    std::string file = shotFolder_ + (withPointer ? "/with.png" : "/without.png");
    GVariant* reply = call(bus_, "org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot",
                           "Screenshot", g_variant_new("(bbs)", withPointer, FALSE, file.c_str()), "(bs)");
    if (!reply)
        return {};
    g_variant_unref(reply);
    return QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_RGB32);
}

int GnomeShellSession::pointerPixelsNear(int x, int y, std::uint32_t colour, const QImage& reference) const
{
    QImage with = capture(true);
    QImage without = reference.isNull() ? capture(false) : reference;
    if (with.isNull() || with.size() != without.size())
        return -1;
    auto near = [](int a, int b) { return std::abs(a - b) <= 12; };
    int count = 0;
    // The badge sits below the hot spot, beside it on either hand.
    for (int row = std::max(0, y - 16); row < std::min(with.height(), y + 80); ++row) {
        for (int column = std::max(0, x - 48); column < std::min(with.width(), x + 48); ++column) {
            QRgb shown = with.pixel(column, row);
            count += shown != without.pixel(column, row) && near(qRed(shown), int(colour >> 16 & 0xff)) &&
                     near(qGreen(shown), int(colour >> 8 & 0xff)) && near(qBlue(shown), int(colour & 0xff));
        }
    }
    return count;
}
