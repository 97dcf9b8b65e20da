#pragma once

#include <QDBusConnection>
#include <QString>

// What the input method daemons' other clients do, for tests and benchmarks
// that run the real daemons: the panel that selects an IBus engine, and the
// focused application that owns an Fcitx 5 input context (through Fcitx 5's
// own D-Bus frontend) and picks its input method.
namespace InputMethodClient {

// Once per process, before the first Fcitx 5 call.
void registerTypes();

bool selectIbusEngine(const QString& engine);
bool focusFcitxContext(const QDBusConnection& session, const QString& program);
bool selectFcitxInputMethod(const QDBusConnection& session, const QString& name);

}
