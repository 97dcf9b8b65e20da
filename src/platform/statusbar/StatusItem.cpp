#include "platform/statusbar/StatusItem.h"

#include "base/AppLog.h"
#include "menu/Menu.h"
#include "platform/sessionbus/DesktopNotification.h"
#include "platform/statusbar/BadgeIcon.h"
#include "platform/statusbar/TrayMenu.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QUrl>

namespace {

constexpr int notificationMilliseconds = 10000;

}

// The Qt side, present only inside a widget application.
class StatusItem::Tray {
public:
    Tray()
    {
        QObject::connect(&icon, &QSystemTrayIcon::activated, &icon, [this](QSystemTrayIcon::ActivationReason reason) {
            // A plain click opens the menu too, as a status item does.
            if (reason == QSystemTrayIcon::Trigger && menu)
                menu->qMenu()->popup(QCursor::pos());
        });
        QObject::connect(&icon, &QSystemTrayIcon::messageClicked, &icon, [this] {
            if (link)
                QDesktopServices::openUrl(QUrl(QString::fromStdString(*link)));
        });
    }

    // The menu outlives the icon: the tray's exported copy of the menu must
    // never point at a deleted one.
    std::unique_ptr<TrayMenu> menu;
    QSystemTrayIcon icon;
    std::optional<std::string> link;
};

StatusItem::StatusItem(std::string title) : title_(std::move(title))
{
    bool widgets = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (widgets)
        tray_ = std::make_unique<Tray>();
    if (!widgets || !QSystemTrayIcon::isSystemTrayAvailable())
        AppLog::warn("Status item not shown: no system tray is available; Tarnwick keeps running without its menu");
    if (!tray_)
        return;
    tray_->icon.setIcon(BadgeIcon::icon(badge_));
    tray_->icon.setToolTip(QString::fromStdString(title_));
    // Shown even without a tray today: an XEmbed tray that starts later
    // picks the icon up.
    tray_->icon.show();
}

StatusItem::~StatusItem() = default;

void StatusItem::setTitle(std::string title)
{
    // Every poll sets the title; only a change is worth a signal to the tray host.
    if (title == title_)
        return;
    title_ = std::move(title);
    if (tray_)
        tray_->icon.setToolTip(QString::fromStdString(title_));
}

void StatusItem::setBadge(std::optional<StatusBadge> badge)
{
    if (badge == badge_)
        return;
    badge_ = std::move(badge);
    if (tray_)
        tray_->icon.setIcon(BadgeIcon::icon(badge_));
}

void StatusItem::setMenu(std::shared_ptr<Menu> menu)
{
    menu_ = std::move(menu);
    if (!tray_ || (tray_->menu && tray_->menu->menu() == menu_))
        return;
    // The new menu is handed over before the old one goes, and there is
    // always one: Qt's tray keeps a pointer to the last menu it was given.
    auto shown = std::make_unique<TrayMenu>(menu_ ? menu_ : std::make_shared<Menu>());
    tray_->icon.setContextMenu(shown->qMenu());
    tray_->menu = std::move(shown);
}

void StatusItem::showNotification(const std::string& title, const std::string& message,
                                  const std::optional<std::string>& link)
{
    AppLog::info("Notification: " + title + ": " + message + (link ? " link=" + *link : std::string()));
    if (!tray_)
        return;
    tray_->link = link;
    std::string body = link ? message + "\n" + *link : message;
    // Qt shows a tray's message by the tray; without one the desktop's
    // notification server still shows it.
    if (!isInTray())
        return DesktopNotification::send(title, body);
    tray_->icon.showMessage(QString::fromStdString(title), QString::fromStdString(body),
                            QSystemTrayIcon::Information, notificationMilliseconds);
}

bool StatusItem::isInTray() const
{
    return tray_ && QSystemTrayIcon::isSystemTrayAvailable() && tray_->icon.isVisible();
}
