#include "platform/graphics/GuiApplication.h"

#include "base/AppLog.h"

#include <QDir>
#include <QGuiApplication>
#include <QLibraryInfo>

#include <X11/Xlib.h>
#include <cstdlib>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool xServerAnswers(const std::string& display)
{
    Display* connection = XOpenDisplay(display.c_str());
    if (connection)
        XCloseDisplay(connection);
    return connection != nullptr;
}

// A socket file outlives a crashed compositor; only a connection that is
// accepted shows that one is listening.
bool waylandCompositorAnswers(const std::string& display)
{
    std::string path = display.front() == '/' ? display : variable("XDG_RUNTIME_DIR") + "/" + display;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    path.copy(address.sun_path, path.size());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool answers = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        close(fd);
    return answers;
}

bool qtSpeaksWayland()
{
    QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms");
    return !platforms.entryList({"libqwayland*"}, QDir::Files).isEmpty();
}

}

void GuiApplication::ensure()
{
    if (QCoreApplication::instance())
        return;
    static char name[] = "tarnwick";
    static char platformOption[] = "-platform";
    static char platform[] = "offscreen";
    static char* arguments[] = {name, platformOption, platform, nullptr};
    static int count = 3;
    static QGuiApplication* application = new QGuiApplication(count, arguments);
    (void)application;
}

void GuiApplication::choosePlatform()
{
    if (std::getenv("QT_QPA_PLATFORM"))
        return;
    const std::string x11 = variable("DISPLAY"), wayland = variable("WAYLAND_DISPLAY");
    const char* platform = "offscreen";
    if (!x11.empty() && xServerAnswers(x11))
        platform = "xcb";
    else if (!wayland.empty() && waylandCompositorAnswers(wayland) && qtSpeaksWayland())
        platform = "wayland";
    else
        AppLog::warn("No display server answers (DISPLAY=" + x11 + " WAYLAND_DISPLAY=" + wayland +
                     "); running without a screen on the offscreen platform");
    setenv("QT_QPA_PLATFORM", platform, 1);
}

#if defined(__SANITIZE_ADDRESS__)
// System libraries keep allocations until exit by design: Qt's font fallback
// leaves fontconfig patterns behind, the tray's session-bus connection
// keeps libdbus state, Qt's Wayland plugin the objects of its connection, and
// Qt's X platform the pointer devices XWayland announces. Sanitizer builds
// would otherwise fail every program that draws text, shows a tray item or
// runs on Wayland.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libdbus-1.so\nleak:libwayland-client.so\nleak:libQt6XcbQpa.so\n";
}
#endif
