#include "platform/input/InputSourceService.h"

#include "base/AppLog.h"
#include "platform/compositor/RunningDesktop.h"
#include "platform/input/EnsureQtApplication.h"
#include "platform/input/Fcitx5Watcher.h"
#include "platform/input/FileInputSourceService.h"
#include "platform/input/GnomeInputSourceService.h"
#include "platform/input/HyprlandInputSourceService.h"
#include "platform/input/IbusWatcher.h"
#include "platform/input/InputMethodInputSourceService.h"
#include "platform/input/KdeLayoutWatcher.h"
#include "platform/input/SwayInputSourceService.h"
#include "platform/input/XkbInputSourceService.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const char* const ibusBusName = "org.freedesktop.IBus";
const char* const fcitxBusName = "org.fcitx.Fcitx5";
const char* const kdeBusName = "org.kde.keyboard";
constexpr std::pair<int, int> swayReloadingItsPointer{1, 10};

// A session bus named in the environment, or the user bus systemd keeps in
// the runtime folder. Without either the bus library would launch a bus of
// its own.
bool hasSessionBus()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address)
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime && std::filesystem::exists(std::string(runtime) + "/bus");
}

// The unique name of the connection that owns a name on the session bus.
std::optional<QString> sessionBusOwner(const char* name)
{
    if (!hasSessionBus())
        return std::nullopt;
    ensureQtApplication();
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected())
        return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
    call << QString::fromUtf8(name);
    QDBusMessage reply = session.call(call, QDBus::Block, 500);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return reply.arguments().first().toString();
}

// The layout the desktop itself reports, what it is called in the log, and
// why it was found.
struct DesktopLayouts {
    std::string choice;
    std::string name;
    std::string reason;
};

std::string versionText(std::pair<int, int> version)
{
    return std::to_string(version.first) + "." + std::to_string(version.second);
}

std::optional<DesktopLayouts> desktopLayouts()
{
    RunningDesktop desktop = RunningDesktop::fromEnvironment();
    switch (desktop.kind) {
    case RunningDesktop::Kind::kde:
        if (sessionBusOwner(kdeBusName))
            return DesktopLayouts{"kde", "KWin's keyboard layout",
                                  std::string(kdeBusName) + " answers on the session bus"};
        break;
    case RunningDesktop::Kind::sway:
        if (auto version = SwayIpc(desktop.instance).version())
            return DesktopLayouts{"sway", "sway's keyboard layout",
                                  "sway " + versionText(*version) + " answers on SWAYSOCK"};
        break;
    case RunningDesktop::Kind::hyprland:
        if (HyprlandSocket(desktop.instance).events().connected())
            return DesktopLayouts{"hyprland", "Hyprland's keyboard layout", "Hyprland's event socket answers"};
        break;
    case RunningDesktop::Kind::other:
        break;
    }
    return std::nullopt;
}

// sway before 1.10 loads a new cursor theme for its own pointer only when a
// pointer device is added or an output configured.
void noteSwayPointer()
{
    auto version = SwayIpc().version();
    if (version && *version < swayReloadingItsPointer)
        AppLog::warn("Cursor theme: sway " + versionText(*version) +
                     " shows a new cursor theme on its own pointer only once a pointer device is added or an output "
                     "is configured; sway " +
                     versionText(swayReloadingItsPointer) + " and later show it at once");
}

std::unique_ptr<InputSourceService> layoutsOf(const std::string& choice)
{
    if (choice == "kde")
        return std::make_unique<InputMethodInputSourceService>(std::make_unique<KdeLayoutWatcher>(),
                                                               std::make_unique<XkbInputSourceService>());
    if (choice == "sway") {
        noteSwayPointer();
        return std::make_unique<SwayInputSourceService>();
    }
    if (choice == "hyprland")
        return std::make_unique<HyprlandInputSourceService>();
    return std::make_unique<XkbInputSourceService>();
}

// While no input method is selected, the desktop's own layout decides, else
// the XKB keymap. Without a display the XKB service simply finds no source.
std::unique_ptr<InputSourceService> inputMethod(std::unique_ptr<InputMethodWatcher> watcher)
{
    std::optional<DesktopLayouts> desktop = desktopLayouts();
    if (!desktop)
        return std::make_unique<InputMethodInputSourceService>(std::move(watcher),
                                                               std::make_unique<XkbInputSourceService>());
    return std::make_unique<InputMethodInputSourceService>(std::move(watcher), layoutsOf(desktop->choice), 1.0,
                                                           desktop->name);
}

std::unique_ptr<InputSourceService> automatic()
{
    std::optional<QString> ibusOwner = sessionBusOwner(ibusBusName);
    std::optional<QString> fcitxOwner = sessionBusOwner(fcitxBusName);
    // Fcitx 5 also answers under the IBus name, for IBus's clients.
    if (ibusOwner && ibusOwner != fcitxOwner) {
        AppLog::info(std::string("Input sources: using ibus (TARNWICK_INPUT_SOURCE=auto; ") + ibusBusName +
                     " answers on the session bus)");
        return inputMethod(std::make_unique<IbusWatcher>());
    }
    if (fcitxOwner) {
        AppLog::info(std::string("Input sources: using fcitx5 (TARNWICK_INPUT_SOURCE=auto; ") + fcitxBusName +
                     " answers on the session bus)");
        return inputMethod(std::make_unique<Fcitx5Watcher>());
    }
    if (std::optional<DesktopLayouts> desktop = desktopLayouts()) {
        AppLog::info("Input sources: using " + desktop->choice + " (TARNWICK_INPUT_SOURCE=auto; " + desktop->reason +
                     ")");
        return layoutsOf(desktop->choice);
    }
    AppLog::info("Input sources: using xkb (TARNWICK_INPUT_SOURCE=auto; no input method daemon answers on the "
                 "session bus)");
    return std::make_unique<XkbInputSourceService>();
}

}

std::unique_ptr<InputSourceService> InputSourceService::fromEnvironment()
{
    const char* raw = std::getenv("TARNWICK_INPUT_SOURCE");
    std::string choice = raw ? raw : "";
    const std::string filePrefix = "file:";
    if (choice.rfind(filePrefix, 0) == 0 && choice.size() > filePrefix.size())
        return std::make_unique<FileInputSourceService>(choice.substr(filePrefix.size()));
    if (GnomeInputSourceService::wanted(choice)) {
        AppLog::info("Input sources: using gnome (TARNWICK_INPUT_SOURCE=" + (choice.empty() ? "auto" : choice) +
                     "; org.gnome.desktop.input-sources in this session)");
        return std::make_unique<GnomeInputSourceService>(std::make_unique<InputMethodInputSourceService>(
            std::make_unique<IbusWatcher>(IbusWatcher::Engines::namedOnly), nullptr, 1.0, "GNOME's input sources"));
    }
    if (choice == "ibus" || choice == "fcitx5" || choice == "kde" || choice == "sway" || choice == "hyprland")
        AppLog::info("Input sources: using " + choice + " (TARNWICK_INPUT_SOURCE=" + choice + ")");
    if (choice == "ibus")
        return inputMethod(std::make_unique<IbusWatcher>());
    if (choice == "fcitx5")
        return inputMethod(std::make_unique<Fcitx5Watcher>());
    if (choice == "kde" || choice == "sway" || choice == "hyprland")
        return layoutsOf(choice);
    if (choice.empty() || choice == "auto")
        return automatic();
    if (choice != "xkb")
        AppLog::warn("Input sources: unsupported TARNWICK_INPUT_SOURCE=" + choice + "; using xkb");
    return std::make_unique<XkbInputSourceService>();
}
