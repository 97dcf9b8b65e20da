#include "platform/input/Fcitx5Watcher.h"

#include "platform/input/InputMethodLanguages.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>

namespace {

const QString fcitxService = QStringLiteral("org.fcitx.Fcitx5");
const QString controllerPath = QStringLiteral("/controller");
const QString controllerInterface = QStringLiteral("org.fcitx.Fcitx.Controller1");
const std::string keyboardPrefix = "keyboard-";
constexpr int callTimeoutMs = 300;

QDBusMessage askController(const QString& method)
{
    QDBusMessage call = QDBusMessage::createMethodCall(fcitxService, controllerPath, controllerInterface, method);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, callTimeoutMs);
}

// "keyboard-de-nodeadkeys" is layout de, variant nodeadkeys.
std::string keyboardLayout(const std::string& uniqueName)
{
    std::string layout = uniqueName.substr(keyboardPrefix.size());
    std::size_t dash = layout.find('-');
    if (dash == std::string::npos)
        return layout;
    return layout.substr(0, dash) + "(" + layout.substr(dash + 1) + ")";
}

}

void Fcitx5Watcher::start()
{
    QDBusConnection session = QDBusConnection::sessionBus();
    auto* watcher = new QDBusServiceWatcher(fcitxService, session, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, &Fcitx5Watcher::onDaemonGone);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        readInputMethods();
        refresh();
    });
    session.connect(fcitxService, controllerPath, controllerInterface, QStringLiteral("InputMethodGroupsChanged"),
                    this, SLOT(readInputMethods()));
    readInputMethods();
    refresh();
}

void Fcitx5Watcher::refresh()
{
    QDBusMessage reply = askController(QStringLiteral("CurrentInputMethod"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        publish({!meansDaemonGone(reply), std::nullopt});
        return;
    }
    std::string uniqueName = reply.arguments().first().toString().toStdString();
    if (!uniqueName.empty() && !inputMethods_.contains(uniqueName))
        readInputMethods();
    publish({true, uniqueName.empty() ? std::nullopt : sourceFor(uniqueName)});
}

void Fcitx5Watcher::readInputMethods()
{
    QDBusMessage reply = askController(QStringLiteral("AvailableInputMethods"));
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
        inputMethods_ = inputMethodsFromReply(reply.arguments().first().value<QDBusArgument>());
}

void Fcitx5Watcher::onDaemonGone()
{
    inputMethods_.clear();
    publish({false, std::nullopt});
}

std::map<std::string, Fcitx5Watcher::InputMethod> Fcitx5Watcher::inputMethodsFromReply(const QDBusArgument& list)
{
    std::map<std::string, InputMethod> methods;
    if (list.currentSignature() != QStringLiteral("a(ssssssb)"))
        return methods;
    list.beginArray();
    while (!list.atEnd()) {
        QString uniqueName, name, nativeName, icon, label, languageCode;
        bool configurable = false;
        list.beginStructure();
        list >> uniqueName >> name >> nativeName >> icon >> label >> languageCode >> configurable;
        list.endStructure();
        methods[uniqueName.toStdString()] = {name.toStdString(), languageCode.toStdString()};
    }
    list.endArray();
    return methods;
}

std::optional<InputSource> Fcitx5Watcher::sourceFor(const std::string& uniqueName)
{
    InputSource source;
    source.identifier = "fcitx5:" + uniqueName;
    auto known = inputMethods_.find(uniqueName);
    if (known != inputMethods_.end() && !known->second.name.empty())
        source.localizedName = known->second.name;
    if (uniqueName.starts_with(keyboardPrefix)) {
        std::optional<std::vector<std::string>> languages = registry_.languages(keyboardLayout(uniqueName));
        if (languages && !languages->empty())
            source.languages = languages;
    }
    if (!source.languages && known != inputMethods_.end())
        source.languages = InputMethodLanguages::fromTag(known->second.languageCode);
    return source;
}
