#include "platform/input/KdeLayoutWatcher.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>

namespace {

const QString service = QStringLiteral("org.kde.keyboard");
const QString path = QStringLiteral("/Layouts");
const QString interface = QStringLiteral("org.kde.KeyboardLayouts");
constexpr int callTimeoutMs = 300;

QDBusMessage ask(const QString& method)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setAutoStartService(false);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, callTimeoutMs);
}

bool answered(const QDBusMessage& reply)
{
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
}

}

void KdeLayoutWatcher::start()
{
    QDBusConnection session = QDBusConnection::sessionBus();
    auto* watcher = new QDBusServiceWatcher(service, session, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, &KdeLayoutWatcher::readLayouts);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, &KdeLayoutWatcher::onGone);
    session.connect(service, path, interface, QStringLiteral("layoutChanged"), this, SLOT(onLayoutChanged(uint)));
    session.connect(service, path, interface, QStringLiteral("layoutListChanged"), this, SLOT(readLayouts()));
    readLayouts();
}

void KdeLayoutWatcher::onLayoutChanged(uint index)
{
    current_ = index;
    report();
}

// getLayoutsList answers a(sss): the layout's short name ("de"), the name
// the user gave it, and its description ("German (no dead keys)").
void KdeLayoutWatcher::readLayouts()
{
    QDBusMessage list = ask(QStringLiteral("getLayoutsList"));
    QDBusMessage current = ask(QStringLiteral("getLayout"));
    answering_ = answered(list) && answered(current);
    layouts_.clear();
    const QDBusArgument names = answering_ ? list.arguments().first().value<QDBusArgument>() : QDBusArgument();
    if (answering_ && names.currentSignature() == QStringLiteral("a(sss)")) {
        names.beginArray();
        while (!names.atEnd()) {
            QString shortName, displayName, longName;
            names.beginStructure();
            names >> shortName >> displayName >> longName;
            names.endStructure();
            layouts_.push_back(registry_.sourceDescribedAs(longName.toStdString(), shortName.toStdString()));
        }
        names.endArray();
        current_ = current.arguments().first().toUInt();
    }
    report();
}

void KdeLayoutWatcher::onGone()
{
    answering_ = false;
    report();
}

void KdeLayoutWatcher::report()
{
    std::optional<InputSource> source;
    if (answering_ && current_ && *current_ < layouts_.size())
        source = layouts_[*current_];
    publish({answering_, source});
}
