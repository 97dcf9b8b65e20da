#include "support/dbus/TestStatusNotifierWatcher.h"

#include "platform/graphics/GuiApplication.h"
#include "support/ChildProcess.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QVariantMap>

#include <atomic>
#include <mutex>

namespace {

constexpr int callTimeoutMilliseconds = 10000;

// What both services record, read by the test thread.
struct Records {
    mutable std::mutex mutex;
    std::vector<TestStatusNotifierWatcher::Item> items;
    std::vector<TestStatusNotifierWatcher::Notification> notifications;
};

}

class WatcherService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    explicit WatcherService(Records& records) : records_(records) {}

    QStringList registeredItems() const
    {
        std::lock_guard lock(records_.mutex);
        QStringList names;
        for (const auto& item : records_.items)
            names << QString::fromStdString(item.service + item.path);
        return names;
    }
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public slots:
    // The argument is a bus name (the item at the usual path) or an object
    // path on the caller's own connection.
    void RegisterStatusNotifierItem(const QString& serviceOrPath, const QDBusMessage& message)
    {
        TestStatusNotifierWatcher::Item item;
        if (serviceOrPath.startsWith(QLatin1Char('/')))
            item = {message.service().toStdString(), serviceOrPath.toStdString()};
        else
            item = {serviceOrPath.toStdString(), "/StatusNotifierItem"};
        {
            std::lock_guard lock(records_.mutex);
            records_.items.push_back(item);
        }
        emit StatusNotifierItemRegistered(QString::fromStdString(item.service + item.path));
    }
    void RegisterStatusNotifierHost(const QString&) { emit StatusNotifierHostRegistered(); }

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    Records& records_;
};

class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit NotificationService(Records& records) : records_(records) {}

public slots:
    uint Notify(const QString& appName, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int)
    {
        std::lock_guard lock(records_.mutex);
        records_.notifications.push_back({appName.toStdString(), summary.toStdString(), body.toStdString()});
        return uint(records_.notifications.size());
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion)
    {
        vendor = QStringLiteral("Tarnwick tests");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("test-notifications");
    }
    void CloseNotification(uint) {}

signals:
    void NotificationClosed(uint id, uint reason);
    void ActionInvoked(uint id, const QString& actionKey);

private:
    Records& records_;
};

namespace {

std::string withoutMnemonic(const QString& label)
{
    QString plain;
    for (int i = 0; i < label.size(); ++i) {
        if (label[i] == QLatin1Char('_') && i + 1 < label.size())
            ++i;
        plain += label[i];
    }
    return plain.toStdString();
}

// "shortcut" is a list of key combinations, each a list of key names.
std::string shortcutText(const QVariant& value)
{
    if (!value.canConvert<QDBusArgument>())
        return {};
    const QDBusArgument argument = value.value<QDBusArgument>();
    QStringList combinations;
    argument.beginArray();
    while (!argument.atEnd()) {
        QStringList keys;
        argument >> keys;
        combinations << keys.join(QLatin1Char('+'));
    }
    argument.endArray();
    return combinations.join(QLatin1String(", ")).toStdString();
}

TestStatusNotifierWatcher::MenuEntry readEntry(const QDBusArgument& argument)
{
    TestStatusNotifierWatcher::MenuEntry entry;
    QVariantMap properties;
    argument.beginStructure();
    argument >> entry.id >> properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        entry.children.push_back(readEntry(child.variant().value<QDBusArgument>()));
    }
    argument.endArray();
    argument.endStructure();

    entry.separator = properties.value(QStringLiteral("type")).toString() == QLatin1String("separator");
    entry.label = withoutMnemonic(properties.value(QStringLiteral("label")).toString());
    entry.shortcut = shortcutText(properties.value(QStringLiteral("shortcut")));
    entry.toggleType = properties.value(QStringLiteral("toggle-type")).toString().toStdString();
    entry.toggleState = properties.value(QStringLiteral("toggle-state"), -1).toInt();
    entry.enabled = properties.value(QStringLiteral("enabled"), true).toBool();
    entry.visible = properties.value(QStringLiteral("visible"), true).toBool();
    return entry;
}

std::vector<TestStatusNotifierWatcher::Icon> readIcons(const QDBusArgument& argument)
{
    std::vector<TestStatusNotifierWatcher::Icon> icons;
    argument.beginArray();
    while (!argument.atEnd()) {
        TestStatusNotifierWatcher::Icon icon;
        QByteArray bytes;
        argument.beginStructure();
        argument >> icon.width >> icon.height >> bytes;
        argument.endStructure();
        // Network byte order: A, R, G, B.
        for (qsizetype i = 0; i + 3 < bytes.size(); i += 4) {
            auto byte = [&](qsizetype k) { return std::uint32_t(std::uint8_t(bytes[i + k])); };
            icon.argb.push_back(byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3));
        }
        if (icon.argb.size() == std::size_t(icon.width) * std::size_t(icon.height))
            icons.push_back(std::move(icon));
    }
    argument.endArray();
    return icons;
}

}

class TestStatusNotifierWatcher::Bus {
public:
    Bus(const std::string& address, Role role)
        : role_(role),
          name_(QStringLiteral("tarnwick-test-watcher-%1").arg(++counter)),
          connection_(QDBusConnection::connectToBus(QString::fromStdString(address), name_)),
          watcher_(new WatcherService(records_)),
          notifications_(new NotificationService(records_))
    {
        thread_.setObjectName(QStringLiteral("test-tray-host"));
        thread_.start();
        watcher_->moveToThread(&thread_);
        notifications_->moveToThread(&thread_);
        // QtDBus attaches helpers to a registered object, which must happen
        // in the object's own thread.
        QMetaObject::invokeMethod(
            watcher_, [this] { running_ = registerEverything(); }, Qt::BlockingQueuedConnection);
    }

    ~Bus()
    {
        QMetaObject::invokeMethod(
            watcher_,
            [this] {
                connection_.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
                connection_.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
            },
            Qt::BlockingQueuedConnection);
        QDBusConnection::disconnectFromBus(name_);
        // Gone in their own thread, before it ends.
        watcher_->deleteLater();
        notifications_->deleteLater();
        thread_.quit();
        thread_.wait();
    }

    std::optional<QDBusMessage> call(const std::string& service, const std::string& path, const QString& interface,
                                     const QString& method, const QVariantList& arguments) const
    {
        QDBusMessage message = QDBusMessage::createMethodCall(QString::fromStdString(service),
                                                              QString::fromStdString(path), interface, method);
        message.setArguments(arguments);
        QDBusMessage reply = connection_.call(message, QDBus::Block, callTimeoutMilliseconds);
        if (reply.type() != QDBusMessage::ReplyMessage)
            return std::nullopt;
        return reply;
    }

    std::optional<QVariant> property(const Item& item, const QString& name) const
    {
        auto reply = call(item.service, item.path, QStringLiteral("org.freedesktop.DBus.Properties"),
                          QStringLiteral("Get"), {QStringLiteral("org.kde.StatusNotifierItem"), name});
        if (!reply || reply->arguments().isEmpty())
            return std::nullopt;
        return reply->arguments().first().value<QDBusVariant>().variant();
    }

    std::optional<std::string> menuPath(const Item& item) const
    {
        auto path = property(item, QStringLiteral("Menu"));
        if (!path || !path->canConvert<QDBusObjectPath>())
            return std::nullopt;
        return path->value<QDBusObjectPath>().path().toStdString();
    }

    Records records_;
    bool running_ = false;

private:
    bool registerEverything()
    {
        const auto everything = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                QDBusConnection::ExportAllProperties;
        bool trayHost = role_ == Role::trayHostAndNotifications;
        return connection_.isConnected() &&
               (!trayHost ||
                connection_.registerObject(QStringLiteral("/StatusNotifierWatcher"), watcher_, everything)) &&
               connection_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), notifications_,
                                          everything) &&
               (!trayHost || connection_.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) &&
               connection_.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }

    static inline std::atomic<int> counter{0};
    Role role_;
    QString name_;
    QDBusConnection connection_;
    QThread thread_;
    WatcherService* watcher_;
    NotificationService* notifications_;
};

std::vector<std::string> TestStatusNotifierWatcher::MenuEntry::childLabels() const
{
    std::vector<std::string> labels;
    for (const MenuEntry& child : children)
        labels.push_back(child.separator ? "-" : child.label);
    return labels;
}

const TestStatusNotifierWatcher::MenuEntry* TestStatusNotifierWatcher::MenuEntry::find(const std::string& wanted) const
{
    if (!separator && label == wanted)
        return this;
    for (const MenuEntry& child : children)
        if (const MenuEntry* found = child.find(wanted))
            return found;
    return nullptr;
}

TestStatusNotifierWatcher::TestStatusNotifierWatcher(const std::string& busAddress, Role role)
{
    GuiApplication::ensure();
    bus_ = std::make_unique<Bus>(busAddress, role);
}

TestStatusNotifierWatcher::~TestStatusNotifierWatcher() = default;

bool TestStatusNotifierWatcher::isRunning() const
{
    return bus_->running_;
}

std::vector<TestStatusNotifierWatcher::Item> TestStatusNotifierWatcher::items() const
{
    std::lock_guard lock(bus_->records_.mutex);
    return bus_->records_.items;
}

std::optional<TestStatusNotifierWatcher::Item> TestStatusNotifierWatcher::waitForItem(double timeoutSeconds) const
{
    if (!waitUntil(timeoutSeconds, [this] { return !items().empty(); }))
        return std::nullopt;
    return items().front();
}

std::optional<std::string> TestStatusNotifierWatcher::stringProperty(const Item& item, const std::string& name) const
{
    auto value = bus_->property(item, QString::fromStdString(name));
    if (!value || !value->canConvert<QString>())
        return std::nullopt;
    return value->toString().toStdString();
}

std::optional<std::string> TestStatusNotifierWatcher::toolTipTitle(const Item& item) const
{
    auto value = bus_->property(item, QStringLiteral("ToolTip"));
    if (!value || !value->canConvert<QDBusArgument>())
        return std::nullopt;
    const QDBusArgument argument = value->value<QDBusArgument>();
    QString iconName, title, description;
    argument.beginStructure();
    argument >> iconName;
    readIcons(argument);
    argument >> title >> description;
    argument.endStructure();
    return title.toStdString();
}

std::vector<TestStatusNotifierWatcher::Icon> TestStatusNotifierWatcher::iconPixmaps(const Item& item) const
{
    auto value = bus_->property(item, QStringLiteral("IconPixmap"));
    if (!value || !value->canConvert<QDBusArgument>())
        return {};
    return readIcons(value->value<QDBusArgument>());
}

std::optional<TestStatusNotifierWatcher::MenuEntry> TestStatusNotifierWatcher::menu(const Item& item) const
{
    auto path = bus_->menuPath(item);
    if (!path)
        return std::nullopt;
    auto reply = bus_->call(item.service, *path, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetLayout"),
                            {0, -1, QStringList()});
    if (!reply || reply->arguments().size() < 2)
        return std::nullopt;
    return readEntry(reply->arguments().at(1).value<QDBusArgument>());
}

bool TestStatusNotifierWatcher::click(const Item& item, int entryId) const
{
    auto path = bus_->menuPath(item);
    if (!path)
        return false;
    QVariantList arguments{entryId, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QVariant(0))),
                           QVariant::fromValue(uint(0))};
    return bus_->call(item.service, *path, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("Event"),
                      arguments)
        .has_value();
}

bool TestStatusNotifierWatcher::click(const Item& item, const std::string& label) const
{
    std::optional<MenuEntry> root = menu(item);
    const MenuEntry* entry = root ? root->find(label) : nullptr;
    return entry && click(item, entry->id);
}

std::vector<TestStatusNotifierWatcher::Notification> TestStatusNotifierWatcher::notifications() const
{
    std::lock_guard lock(bus_->records_.mutex);
    return bus_->records_.notifications;
}

bool TestStatusNotifierWatcher::waitForNotifications(std::size_t count, double timeoutSeconds) const
{
    return waitUntil(timeoutSeconds, [&] { return notifications().size() >= count; });
}

#include "TestStatusNotifierWatcher.moc"
