#include "platform/graphics/GuiApplication.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// The tray's menus are widgets: these tests run inside an offscreen widget
// application, as the program runs inside its own.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    // Already satisfied by the application above; linked for its sanitizer
    // settings for the font libraries.
    GuiApplication::ensure();
    return RUN_ALL_TESTS();
}
