#include "platform/input/EnsureQtApplication.h"

#include <QCoreApplication>

void ensureQtApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "tarnwick";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}
