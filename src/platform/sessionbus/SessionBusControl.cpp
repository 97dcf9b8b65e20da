#include "platform/sessionbus/SessionBusControl.h"

#include "base/AppLog.h"
#include "platform/sessionbus/SessionBus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QStringList>
#include <QVariantMap>

#include <optional>
#include <vector>

namespace {

const QString controlInterface = QString::fromLatin1(SessionBusControl::interfaceName);
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString quittingError = QStringLiteral("com.tarnwick.app.Error.Quitting");
const QStringList methods{QStringLiteral("Quit"),     QStringLiteral("Reapply"),       QStringLiteral("Restore"),
                          QStringLiteral("SetStyle"), QStringLiteral("SetLeftHanded"), QStringLiteral("CheckForUpdates")};

const char* const introspection = R"xml(  <interface name="com.tarnwick.app">
    <method name="Quit"/>
    <method name="Reapply"/>
    <method name="Restore">
      <arg name="restored" type="b" direction="out"/>
    </method>
    <method name="SetStyle">
      <arg name="style" type="s" direction="in"/>
    </method>
    <method name="SetLeftHanded">
      <arg name="leftHanded" type="b" direction="in"/>
    </method>
    <method name="CheckForUpdates"/>
    <property name="Language" type="(ssss)" access="read"/>
    <property name="Style" type="s" access="read"/>
    <property name="LeftHanded" type="b" access="read"/>
    <property name="Styles" type="as" access="read"/>
  </interface>
)xml";

QString text(const std::string& value)
{
    return QString::fromStdString(value);
}

QVariant languageValue(const ControlState& state)
{
    QDBusArgument language;
    language.beginStructure();
    language << text(state.languageCode) << text(state.badgeText) << text(state.languageName) << text(state.sourceID);
    language.endStructure();
    return QVariant::fromValue(language);
}

// The properties that differ between two states, all of them without an
// earlier one.
QVariantMap differingProperties(const std::optional<ControlState>& before, const ControlState& now,
                              const QStringList& styles)
{
    QVariantMap changed;
    if (!before || before->languageCode != now.languageCode || before->badgeText != now.badgeText ||
        before->languageName != now.languageName || before->sourceID != now.sourceID)
        changed.insert(QStringLiteral("Language"), languageValue(now));
    if (!before || before->style != now.style)
        changed.insert(QStringLiteral("Style"), text(now.style));
    if (!before || before->leftHanded != now.leftHanded)
        changed.insert(QStringLiteral("LeftHanded"), now.leftHanded);
    if (!before)
        changed.insert(QStringLiteral("Styles"), styles);
    return changed;
}

}

// The object at /com/tarnwick/app, answering every message itself so that a
// call can wait until the program is ready and every error says what was
// wrong.
class SessionBusControl::Object : public QDBusVirtualObject {
public:
    explicit Object(const QDBusConnection& connection) : connection_(connection) {}

    QString introspect(const QString&) const override { return QString::fromLatin1(introspection); }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override
    {
        const QString interface = message.interface();
        // A call may leave out the interface; Qt answers introspection.
        bool ours = interface == controlInterface || interface == propertiesInterface ||
                    (interface.isEmpty() && methods.contains(message.member()));
        if (!ours)
            return false;
        if (closed_) {
            connection_.send(message.createErrorReply(quittingError, QStringLiteral("Tarnwick is quitting")));
        } else if (!actions_) {
            message.setDelayedReply(true);
            waiting_.push_back(message);
        } else {
            answer(message);
        }
        return true;
    }

    void serve(ControlActions actions)
    {
        for (const std::string& style : actions.styles)
            styles_ << text(style);
        actions_ = std::move(actions);
        for (const QDBusMessage& message : std::exchange(waiting_, {}))
            answer(message);
    }

    void publish(const ControlState& state)
    {
        if (state_ == state)
            return;
        QVariantMap changed = differingProperties(state_, state, styles_);
        state_ = state;
        if (!actions_ || closed_)
            return;
        QDBusMessage signal = QDBusMessage::createSignal(text(objectPath), propertiesInterface,
                                                         QStringLiteral("PropertiesChanged"));
        signal << controlInterface << changed << QStringList();
        connection_.send(signal);
    }

    void close()
    {
        closed_ = true;
        for (const QDBusMessage& message : std::exchange(waiting_, {}))
            connection_.send(message.createErrorReply(quittingError, QStringLiteral("Tarnwick is quitting")));
    }

private:
    void answer(const QDBusMessage& call)
    {
        if (call.interface() == propertiesInterface)
            answerProperty(call);
        else
            answerMethod(call);
    }

    void answerMethod(const QDBusMessage& call)
    {
        const QString method = call.member();
        AppLog::info("Session bus call " + method.toStdString() + " from " + call.service().toStdString());
        auto takes = [&](const QString& signature, const QString& description) {
            if (call.signature() == signature)
                return true;
            reply(call.createErrorReply(QDBusError::InvalidArgs, method + QStringLiteral(" takes ") + description));
            return false;
        };
        const QString none = QStringLiteral("no arguments");
        if (method == QLatin1String("SetStyle")) {
            if (takes(QStringLiteral("s"), QStringLiteral("one string: the style")))
                setStyle(call);
        } else if (method == QLatin1String("SetLeftHanded")) {
            if (!takes(QStringLiteral("b"), QStringLiteral("one boolean: whether the cursors are mirrored")))
                return;
            actions_->setLeftHanded(call.arguments().constFirst().toBool());
            reply(call.createReply());
        } else if (method == QLatin1String("Restore")) {
            if (takes(QString(), none))
                reply(call.createReply(actions_->restore()));
        } else if (method == QLatin1String("Reapply") || method == QLatin1String("CheckForUpdates")) {
            if (!takes(QString(), none))
                return;
            (method == QLatin1String("Reapply") ? actions_->reapply : actions_->checkForUpdates)();
            reply(call.createReply());
        } else if (method == QLatin1String("Quit")) {
            if (!takes(QString(), none))
                return;
            // Answered first: quitting ends the loop that would send a later answer.
            reply(call.createReply());
            actions_->quit();
        } else {
            reply(call.createErrorReply(QDBusError::UnknownMethod,
                                        QStringLiteral("No method %1 in %2").arg(method, controlInterface)));
        }
    }

    void setStyle(const QDBusMessage& call)
    {
        QString style = call.arguments().constFirst().toString();
        if (!styles_.contains(style))
            return reply(call.createErrorReply(QDBusError::InvalidArgs,
                                               QStringLiteral("Unknown style \"%1\"; the styles are %2")
                                                   .arg(style, styles_.join(QStringLiteral(", ")))));
        actions_->setStyle(style.toStdString());
        reply(call.createReply());
    }

    void answerProperty(const QDBusMessage& call)
    {
        const QString method = call.member();
        const QString signature = method == QLatin1String("GetAll") ? QStringLiteral("s")
                                  : method == QLatin1String("Get")  ? QStringLiteral("ss")
                                  : method == QLatin1String("Set")  ? QStringLiteral("ssv")
                                                                    : QString();
        if (signature.isNull())
            return reply(call.createErrorReply(QDBusError::UnknownMethod,
                                               QStringLiteral("No method %1 in %2").arg(method, propertiesInterface)));
        if (call.signature() != signature)
            return reply(call.createErrorReply(QDBusError::InvalidArgs,
                                               QStringLiteral("%1 takes the arguments (%2)").arg(method, signature)));
        const QVariantList arguments = call.arguments();
        const QString interface = arguments.constFirst().toString();
        if (interface != controlInterface && !interface.isEmpty())
            return reply(call.createErrorReply(QDBusError::UnknownInterface,
                                               QStringLiteral("No interface %1 here").arg(interface)));
        const QVariantMap all = differingProperties(std::nullopt, state_.value_or(ControlState{}), styles_);
        if (method == QLatin1String("GetAll"))
            return reply(call.createReply(all));
        const QString name = arguments.at(1).toString();
        if (!all.contains(name))
            return reply(call.createErrorReply(QDBusError::UnknownProperty,
                                               QStringLiteral("No property %1 in %2").arg(name, controlInterface)));
        if (method == QLatin1String("Get"))
            return reply(call.createReply(QVariant::fromValue(QDBusVariant(all.value(name)))));
        reply(call.createErrorReply(QDBusError::PropertyReadOnly,
                                    QStringLiteral("Property %1 is read-only; the methods change it").arg(name)));
    }

    void reply(const QDBusMessage& answer) { connection_.send(answer); }

    QDBusConnection connection_;
    std::optional<ControlActions> actions_;
    QStringList styles_;
    std::optional<ControlState> state_;
    std::vector<QDBusMessage> waiting_;
    bool closed_ = false;
};

SessionBusControl::SessionBusControl()
{
    if (!SessionBus::exists())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        AppLog::warn("Session bus unavailable: " + bus.lastError().message().toStdString());
        return;
    }
    object_ = std::make_unique<Object>(bus);
    // The object is there before the name, so that no caller who finds the
    // name finds nothing behind it.
    if (!bus.registerVirtualObject(text(objectPath), object_.get())) {
        object_.reset();
        return;
    }
    auto owned = bus.interface()->registerService(text(serviceName), QDBusConnectionInterface::DontQueueService,
                                                  QDBusConnectionInterface::DontAllowReplacement);
    if (!owned.isValid())
        AppLog::warn("Session bus name " + std::string(serviceName) + " not requested: " +
                     owned.error().message().toStdString());
    else
        claim_ = owned.value() == QDBusConnectionInterface::ServiceRegistered ? Claim::claimed : Claim::taken;
    if (claim_ != Claim::claimed) {
        bus.unregisterObject(text(objectPath));
        object_.reset();
    }
}

SessionBusControl::~SessionBusControl()
{
    if (object_)
        QDBusConnection::sessionBus().unregisterObject(text(objectPath));
}

void SessionBusControl::serve(ControlActions actions)
{
    if (object_)
        object_->serve(std::move(actions));
}

void SessionBusControl::publish(const ControlState& state)
{
    if (object_)
        object_->publish(state);
}

void SessionBusControl::close()
{
    if (object_)
        object_->close();
}
