#include "platform/input/Fcitx5Watcher.h"

#include "platform/input/InputMethodLanguages.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

namespace {

const QString fcitxService = QStringLiteral("org.fcitx.Fcitx5");
const QString controllerPath = QStringLiteral("/controller");
const QString controllerInterface = QStringLiteral("org.fcitx.Fcitx.Controller1");
const QString panelService = QStringLiteral("org.kde.impanel");
const QString panelPath = QStringLiteral("/kimpanel");
const QString panelInterface = QStringLiteral("org.kde.kimpanel.inputmethod");
const std::string keyboardPrefix = "keyboard-";
constexpr int callTimeoutMs = 300;

// A daemon the user quit is not started again by asking it.
QDBusMessage controllerCall(const QString& method)
{
    QDBusMessage call = QDBusMessage::createMethodCall(fcitxService, controllerPath, controllerInterface, method);
    call.setAutoStartService(false);
    return call;
}

QDBusMessage askController(const QString& method)
{
    return QDBusConnection::sessionBus().call(controllerCall(method), QDBus::Block, callTimeoutMs);
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

Fcitx5Watcher::Fcitx5Watcher()
    : question_(controllerCall(QStringLiteral("CurrentInputMethod")))
{
}

void Fcitx5Watcher::start()
{
    QDBusConnection session = QDBusConnection::sessionBus();
    auto* daemon = new QDBusServiceWatcher(fcitxService, session, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(daemon, &QDBusServiceWatcher::serviceUnregistered, this, &Fcitx5Watcher::onDaemonGone);
    connect(daemon, &QDBusServiceWatcher::serviceRegistered, this, &Fcitx5Watcher::onDaemonBack);
    auto* panel = new QDBusServiceWatcher(panelService, session, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(panel, &QDBusServiceWatcher::serviceUnregistered, this, &Fcitx5Watcher::onPanelGone);
    connect(panel, &QDBusServiceWatcher::serviceRegistered, this, &Fcitx5Watcher::onPanelBack);
    session.connect(fcitxService, controllerPath, controllerInterface, QStringLiteral("InputMethodGroupsChanged"),
                    this, SLOT(readInputMethods()));
    session.connect(fcitxService, panelPath, panelInterface, QStringLiteral("UpdateProperty"), this,
                    SLOT(onPanelProperty(QString)));
    panelOwned_ = session.interface()->isServiceRegistered(panelService);
    if (session.interface()->isServiceRegistered(fcitxService))
        onDaemonBack();
    else
        refresh();
}

void Fcitx5Watcher::refresh()
{
    QDBusMessage reply = askController(QStringLiteral("CurrentInputMethod"));
    Answer answer = answerOf(reply);
    if (!answer) {
        report({!meansDaemonGone(reply), std::nullopt}, answer);
        return;
    }
    if (!answer->empty() && !inputMethods_.contains(*answer))
        readInputMethods();
    report({true, answer->empty() ? std::nullopt : sourceFor(*answer)}, answer);
}

void Fcitx5Watcher::poll()
{
    if (pendingQuestion_ && pendingQuestion_->isFinished()) {
        Answer answer = answerOf(pendingQuestion_->reply());
        pendingQuestion_.reset();
        if (answer != reportedAnswer_)
            refresh();
    }
    if (!pendingQuestion_)
        pendingQuestion_ = QDBusConnection::sessionBus().asyncCall(question_, callTimeoutMs);
}

Fcitx5Watcher::Answer Fcitx5Watcher::answerOf(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return reply.arguments().first().toString().toStdString();
}

void Fcitx5Watcher::report(const Report& report, const Answer& answer)
{
    reportedAnswer_ = answer;
    publish(report);
}

void Fcitx5Watcher::readInputMethods()
{
    QDBusMessage reply = askController(QStringLiteral("AvailableInputMethods"));
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
        inputMethods_ = inputMethodsFromReply(reply.arguments().first().value<QDBusArgument>());
}

void Fcitx5Watcher::onDaemonBack()
{
    daemonPresent_ = true;
    panelUsed_ = false;
    readInputMethods();
    refresh();
    followPanelIfUsed();
    updatePolling();
}

void Fcitx5Watcher::onDaemonGone()
{
    // The name coming back says when to ask again.
    daemonPresent_ = false;
    panelUsed_ = false;
    updatePolling();
    inputMethods_.clear();
    report({false, std::nullopt}, std::nullopt);
}

void Fcitx5Watcher::onPanelBack()
{
    panelOwned_ = true;
    followPanelIfUsed();
    updatePolling();
}

void Fcitx5Watcher::onPanelGone()
{
    panelOwned_ = false;
    panelUsed_ = false;
    updatePolling();
}

void Fcitx5Watcher::onPanelProperty(const QString& property)
{
    if (!property.startsWith(QStringLiteral("/Fcitx/im:")))
        return;
    // Fcitx 5 may start talking to a panel after telling it has none.
    panelUsed_ = panelOwned_;
    updatePolling();
    refresh();
}

// Fcitx 5 broadcasts its input method to a panel only when it uses the
// kimpanel interface; it may have been told to use another.
void Fcitx5Watcher::followPanelIfUsed()
{
    if (!panelOwned_)
        return;
    QDBusMessage reply = askController(QStringLiteral("CurrentUI"));
    panelUsed_ = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
                 reply.arguments().first().toString() == QStringLiteral("kimpanel");
}

void Fcitx5Watcher::updatePolling()
{
    setNeedsPolling(daemonPresent_ && !(panelOwned_ && panelUsed_));
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
