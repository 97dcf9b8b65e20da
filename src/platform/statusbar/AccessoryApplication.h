#pragma once

#include <memory>

class QApplication;

// The program's application object: a tray item and no window, so closing
// a window (a dialog of Qt's own) never quits it. Choose the platform first
// (GuiApplication::choosePlatform); make one, on the main thread, before any
// other Qt object.
class AccessoryApplication {
public:
    AccessoryApplication(int& argc, char** argv);
    ~AccessoryApplication();
    AccessoryApplication(const AccessoryApplication&) = delete;
    AccessoryApplication& operator=(const AccessoryApplication&) = delete;

private:
    std::unique_ptr<QApplication> application_;
};
