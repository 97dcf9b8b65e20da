#pragma once

#include "platform/input/InputMethodWatcher.h"
#include "platform/input/XkbLayoutRegistry.h"

#include <QDBusConnection>
#include <QString>

class QDBusServiceWatcher;
class QDBusVariant;
class QTimer;

// The engine the IBus daemon has selected, read from the daemon's own bus
// (org.freedesktop.IBus, property GlobalEngine) and followed through its
// GlobalEngineChanged signal: the main thread never needs to ask. The name
// org.freedesktop.IBus on the session bus tells when the daemon goes away or
// comes back; while it is away, the bus is tried again every second.
//
// An engine "Unikey" is the source "ibus:Unikey" named by the engine's long
// name, typing the engine's language; an xkb engine ("xkb:ru::rus") types
// the languages of its layout, as the keymap's groups do.
class IbusWatcher : public InputMethodWatcher {
    Q_OBJECT

public:
    // Named only: a change is reported with the engine's name from the signal
    // itself, as "ibus:<name>", without asking the daemon for the rest, which
    // it answers only once it has switched.
    enum class Engines { described, namedOnly };

    explicit IbusWatcher(Engines engines = Engines::described);
    ~IbusWatcher() override;

    std::string frameworkName() const override { return "IBus"; }
    void start() override;

private slots:
    void onGlobalEngineChanged(const QString& engineName);
    void onDaemonGone();
    void tryConnecting();

private:
    bool connectToDaemon();
    void disconnectFromDaemon();
    void readGlobalEngine();
    void reportNotAnswering();
    // The source an engine description (IBusEngineDesc, serialised in a
    // variant) stands for; nothing when it is not one.
    std::optional<InputSource> sourceFromEngine(const QDBusVariant& description);

    Engines engines_;
    QDBusConnection connection_;
    QString connectionName_;
    int connectionCount_ = 0;
    QDBusServiceWatcher* sessionWatcher_ = nullptr;
    QTimer* retryTimer_ = nullptr;
    XkbLayoutRegistry registry_;
};
