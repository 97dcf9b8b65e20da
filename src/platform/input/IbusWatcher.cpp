#include "platform/input/IbusWatcher.h"

#include "platform/input/IbusAddress.h"
#include "platform/input/InputMethodLanguages.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QTimer>

namespace {

const QString ibusService = QStringLiteral("org.freedesktop.IBus");
const QString ibusPath = QStringLiteral("/org/freedesktop/IBus");
constexpr int callTimeoutMs = 300;
constexpr int retryIntervalMs = 1000;

// The fields of an IBusEngineDesc that matter here, in their order on the
// wire after the type name and the attachments.
struct EngineFields {
    QString name, longName, description, language, license, author, icon, layout;
    uint rank = 0;
    QString hotkeys, symbol, setup, layoutVariant;
};

bool readEngineFields(const QDBusArgument& argument, EngineFields& fields)
{
    if (!argument.currentSignature().startsWith(QStringLiteral("(sa{sv}ssssssssus")))
        return false;
    argument.beginStructure();
    QString typeName;
    argument >> typeName;
    argument.beginMap();
    while (!argument.atEnd()) {
        QString key;
        QDBusVariant value;
        argument.beginMapEntry();
        argument >> key >> value;
        argument.endMapEntry();
    }
    argument.endMap();
    argument >> fields.name >> fields.longName >> fields.description >> fields.language >> fields.license >>
        fields.author >> fields.icon >> fields.layout >> fields.rank >> fields.hotkeys >> fields.symbol >>
        fields.setup >> fields.layoutVariant;
    argument.endStructure();
    return typeName == QStringLiteral("IBusEngineDesc");
}

// Property values arrive as variants of variants; the description is the
// structure inside.
std::optional<QDBusArgument> innermostStructure(QVariant value)
{
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    if (value.userType() != qMetaTypeId<QDBusArgument>())
        return std::nullopt;
    return value.value<QDBusArgument>();
}

}

IbusWatcher::IbusWatcher(Engines engines) : engines_(engines), connection_(QString()) {}

IbusWatcher::~IbusWatcher()
{
    disconnectFromDaemon();
}

void IbusWatcher::start()
{
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        sessionWatcher_ = new QDBusServiceWatcher(ibusService, session, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(sessionWatcher_, &QDBusServiceWatcher::serviceUnregistered, this, &IbusWatcher::onDaemonGone);
        connect(sessionWatcher_, &QDBusServiceWatcher::serviceRegistered, this, &IbusWatcher::tryConnecting);
    }
    retryTimer_ = new QTimer(this);
    retryTimer_->setInterval(retryIntervalMs);
    connect(retryTimer_, &QTimer::timeout, this, &IbusWatcher::tryConnecting);
    if (connectToDaemon()) {
        readGlobalEngine();
    } else {
        reportNotAnswering();
        retryTimer_->start();
    }
}

void IbusWatcher::tryConnecting()
{
    if (!connectToDaemon()) {
        if (!retryTimer_->isActive())
            retryTimer_->start();
        return;
    }
    retryTimer_->stop();
    readGlobalEngine();
}

void IbusWatcher::onDaemonGone()
{
    disconnectFromDaemon();
    reportNotAnswering();
    retryTimer_->start();
}

void IbusWatcher::onGlobalEngineChanged(const QString& engineName)
{
    if (engines_ == Engines::described || engineName.isEmpty()) {
        readGlobalEngine();
        return;
    }
    InputSource source;
    source.identifier = "ibus:" + engineName.toStdString();
    publish({true, source});
}

bool IbusWatcher::connectToDaemon()
{
    std::optional<std::string> address = IbusAddress::find();
    if (!address)
        return false;
    disconnectFromDaemon();
    connectionName_ = QStringLiteral("tarnwick-ibus-%1").arg(++connectionCount_);
    connection_ = QDBusConnection::connectToBus(QString::fromStdString(*address), connectionName_);
    if (!connection_.isConnected()) {
        disconnectFromDaemon();
        return false;
    }
    // The daemon is the bus here: its signals come from no well-known name.
    connection_.connect(QString(), ibusPath, ibusService, QStringLiteral("GlobalEngineChanged"), this,
                        SLOT(onGlobalEngineChanged(QString)));
    return true;
}

void IbusWatcher::disconnectFromDaemon()
{
    if (connectionName_.isEmpty())
        return;
    connection_ = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(connectionName_);
    connectionName_.clear();
}

void IbusWatcher::readGlobalEngine()
{
    QDBusMessage call = QDBusMessage::createMethodCall(ibusService, ibusPath,
                                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("Get"));
    call << ibusService << QStringLiteral("GlobalEngine");
    QDBusMessage reply = connection_.call(call, QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        if (meansDaemonGone(reply)) {
            onDaemonGone();
            return;
        }
        // "No global engine": the daemon answers, the keymap decides.
        publish({true, std::nullopt});
        return;
    }
    std::optional<InputSource> source;
    if (!reply.arguments().isEmpty())
        source = sourceFromEngine(reply.arguments().first().value<QDBusVariant>());
    publish({true, source});
}

void IbusWatcher::reportNotAnswering()
{
    publish({false, std::nullopt});
}

std::optional<InputSource> IbusWatcher::sourceFromEngine(const QDBusVariant& description)
{
    std::optional<QDBusArgument> structure = innermostStructure(description.variant());
    EngineFields fields;
    if (!structure || !readEngineFields(*structure, fields) || fields.name.isEmpty())
        return std::nullopt;
    InputSource source;
    source.identifier = "ibus:" + fields.name.toStdString();
    if (!fields.longName.isEmpty())
        source.localizedName = fields.longName.toStdString();
    if (fields.name.startsWith(QStringLiteral("xkb:")) && !fields.layout.isEmpty()) {
        std::string layout = fields.layout.toStdString();
        if (!fields.layoutVariant.isEmpty())
            layout += "(" + fields.layoutVariant.toStdString() + ")";
        std::optional<std::vector<std::string>> languages = registry_.languages(layout);
        if (languages && !languages->empty())
            source.languages = languages;
    }
    if (!source.languages)
        source.languages = InputMethodLanguages::fromTag(fields.language.toStdString());
    return source;
}
