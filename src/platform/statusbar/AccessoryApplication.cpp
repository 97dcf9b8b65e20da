#include "platform/statusbar/AccessoryApplication.h"

#include <QApplication>

AccessoryApplication::AccessoryApplication(int& argc, char** argv)
    : application_(std::make_unique<QApplication>(argc, argv))
{
    QApplication::setApplicationName("Tarnwick");
    QApplication::setQuitOnLastWindowClosed(false);
}

AccessoryApplication::~AccessoryApplication() = default;
