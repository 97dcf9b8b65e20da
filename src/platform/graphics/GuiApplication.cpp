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
// Qt's font fallback leaves fontconfig patterns behind that nothing frees;
// sanitizer builds would otherwise fail every program that draws text.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
#endif
