#include "platform/graphics/GuiApplication.h"

#include <QGuiApplication>

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

#if defined(__SANITIZE_ADDRESS__)
// System libraries keep allocations until exit by design: Qt's font fallback
// leaves fontconfig patterns behind, and the tray's session-bus connection
// keeps libdbus state. Sanitizer builds would otherwise fail every program
// that draws text or shows a tray item.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
#endif
