// A small program with a status item, for the tests of the real tray: it
// shows a menu like the program's and prints every choice on its output.
// Usage: tarnwick_tray_fixture LOG_FILE

#include "base/AppLog.h"
#include "menu/Menu.h"
#include "menu/MenuItem.h"
#include "platform/graphics/GuiApplication.h"
#include "platform/statusbar/StatusItem.h"

#include <QApplication>

#include <iostream>

namespace {

void report(const std::string& line)
{
    std::cout << line << std::endl;
}

std::shared_ptr<Menu> styleMenu(const std::string& current, MenuItem& root)
{
    auto menu = std::make_shared<Menu>("Cursor style");
    for (auto [title, style] : {std::pair{"System cursor", "system"}, {"Letter badge", "letterBadge"}}) {
        auto entry = MenuItem::make(title, [&root](MenuItem& sender) {
            report("style " + *sender.representedObject());
            root.setSubmenu(styleMenu(*sender.representedObject(), root));
        });
        entry->setRepresentedObject(style);
        entry->setOn(current == style);
        menu->addItem(entry);
    }
    return menu;
}

}

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    GuiApplication::ensure();
    AppLog::testing::reset(argv[1]);

    StatusItem item("TW");
    auto menu = std::make_shared<Menu>();
    auto styles = MenuItem::make("Cursor style");
    styles->setSubmenu(styleMenu("letterBadge", *styles));
    menu->addItem(styles);
    auto toggle = MenuItem::make("Left-handed cursor", [](MenuItem& sender) {
        sender.setOn(!sender.isOn());
        report("left-handed " + std::string(sender.isOn() ? "on" : "off"));
    });
    toggle->setOn(false);
    menu->addItem(toggle);
    menu->addItem(MenuItem::separator());
    menu->addItem(MenuItem::make("Reapply for current language", [](MenuItem&) { report("reapply"); }, "r"));
    menu->addItem(MenuItem::make("Check for Updates...", [&item](MenuItem&) {
        item.showNotification("Tarnwick", "Tarnwick 0.2 is available", "https://example.org/0.2");
        report("notified");
    }));
    menu->addItem(MenuItem::separator());
    menu->addItem(MenuItem::make("Quit", [](MenuItem&) {
        report("quit");
        QApplication::quit();
    }, "q"));
    item.setMenu(menu);
    // Handing over the same menu again must not cut the tray off from it.
    item.setMenu(menu);
    item.setTitle("TW [En]");
    item.setBadge(StatusBadge{"En", Color::calibratedRGB(0.0, 0.4, 1.0), Color::white(), Color::clear()});
    report(item.isInTray() ? "in tray" : "no tray");
    int status = application.exec();
    AppLog::flush();
    return status;
}
