#include "platform/input/InputSourceService.h"

#include "base/AppLog.h"
#include "platform/input/EnsureQtApplication.h"
#include "platform/input/Fcitx5Watcher.h"
#include "platform/input/FileInputSourceService.h"
#include "platform/input/GnomeInputSourceService.h"
#include "platform/input/IbusWatcher.h"
#include "platform/input/InputMethodInputSourceService.h"
#include "platform/input/XkbInputSourceService.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const char* const ibusBusName = "org.freedesktop.IBus";
const char* const fcitxBusName = "org.fcitx.Fcitx5";

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

// Without a display the XKB service simply finds no source.
std::unique_ptr<InputSourceService> ibus()
{
    return std::make_unique<InputMethodInputSourceService>(std::make_unique<IbusWatcher>(),
                                                           std::make_unique<XkbInputSourceService>());
}

std::unique_ptr<InputSourceService> fcitx5()
{
    return std::make_unique<InputMethodInputSourceService>(std::make_unique<Fcitx5Watcher>(),
                                                           std::make_unique<XkbInputSourceService>());
}

std::unique_ptr<InputSourceService> automatic()
{
    std::optional<QString> ibusOwner = sessionBusOwner(ibusBusName);
    std::optional<QString> fcitxOwner = sessionBusOwner(fcitxBusName);
    // Fcitx 5 also answers under the IBus name, for IBus's clients.
    if (ibusOwner && ibusOwner != fcitxOwner) {
        AppLog::info(std::string("Input sources: using ibus (TARNWICK_INPUT_SOURCE=auto; ") + ibusBusName +
                     " answers on the session bus)");
        return ibus();
    }
    if (fcitxOwner) {
        AppLog::info(std::string("Input sources: using fcitx5 (TARNWICK_INPUT_SOURCE=auto; ") + fcitxBusName +
                     " answers on the session bus)");
        return fcitx5();
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
            std::make_unique<IbusWatcher>(), nullptr, 1.0, "GNOME's input sources"));
    }
    if (choice == "ibus") {
        AppLog::info("Input sources: using ibus (TARNWICK_INPUT_SOURCE=ibus)");
        return ibus();
    }
    if (choice == "fcitx5") {
        AppLog::info("Input sources: using fcitx5 (TARNWICK_INPUT_SOURCE=fcitx5)");
        return fcitx5();
    }
    if (choice.empty() || choice == "auto")
        return automatic();
    if (choice != "xkb")
        AppLog::warn("Input sources: unsupported TARNWICK_INPUT_SOURCE=" + choice + "; using xkb");
    return std::make_unique<XkbInputSourceService>();
}
