#include "platform/input/InputSourceService.h"

#include "base/AppLog.h"
#include "platform/input/EnsureQtApplication.h"
#include "platform/input/FileInputSourceService.h"
#include "platform/input/IbusWatcher.h"
#include "platform/input/InputMethodInputSourceService.h"
#include "platform/input/XkbInputSourceService.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <cstdlib>
#include <string>

namespace {

const char* const ibusBusName = "org.freedesktop.IBus";

bool answersOnSessionBus(const char* name)
{
    ensureQtApplication();
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    call << QString::fromUtf8(name);
    QDBusMessage reply = session.call(call, QDBus::Block, 500);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().first().toBool();
}

// Without a display the XKB service simply finds no source.
std::unique_ptr<InputSourceService> ibus()
{
    return std::make_unique<InputMethodInputSourceService>(std::make_unique<IbusWatcher>(),
                                                           std::make_unique<XkbInputSourceService>());
}

std::unique_ptr<InputSourceService> automatic()
{
    if (answersOnSessionBus(ibusBusName)) {
        AppLog::info(std::string("Input sources: using ibus (TARNWICK_INPUT_SOURCE=auto; ") + ibusBusName +
                     " answers on the session bus)");
        return ibus();
    }
    AppLog::info("Input sources: using xkb (TARNWICK_INPUT_SOURCE=auto; no input method daemon answers on the "
                 "session bus)");
    return std::make_unique<XkbInputSourceService>();
}

}

InputSourceService& InputSourceService::shared()
{
    static std::unique_ptr<InputSourceService> service = fromEnvironment();
    return *service;
}

std::unique_ptr<InputSourceService> InputSourceService::fromEnvironment()
{
    const char* raw = std::getenv("TARNWICK_INPUT_SOURCE");
    std::string choice = raw ? raw : "";
    const std::string filePrefix = "file:";
    if (choice.rfind(filePrefix, 0) == 0 && choice.size() > filePrefix.size())
        return std::make_unique<FileInputSourceService>(choice.substr(filePrefix.size()));
    if (choice == "ibus") {
        AppLog::info("Input sources: using ibus (TARNWICK_INPUT_SOURCE=ibus)");
        return ibus();
    }
    if (choice == "xkb")
        return std::make_unique<XkbInputSourceService>();
    if (!choice.empty() && choice != "auto")
        AppLog::warn("Input sources: unsupported TARNWICK_INPUT_SOURCE=" + choice + "; using auto");
    return automatic();
}
