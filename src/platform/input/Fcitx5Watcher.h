#pragma once

#include "platform/input/InputMethodWatcher.h"
#include "platform/input/XkbLayoutRegistry.h"

#include <QDBusMessage>
#include <QDBusPendingCall>

#include <map>

class QDBusArgument;

// The input method Fcitx 5 has selected for the focused input context, from
// its controller on the session bus (org.fcitx.Fcitx5 /controller,
// org.fcitx.Fcitx.Controller1). The controller announces no change of input
// method, only of the groups. The one broadcast of changes there is goes to
// a panel (the kimpanel interface, org.kde.impanel), a role the badge must
// not take from the desktop's own; while the desktop has such a panel and
// Fcitx 5 talks to it, its announcements are followed. Otherwise the current
// input method is asked at every poll of the main thread without waiting:
// the answer is read at the next poll, and only a changed one is looked
// into. The names and languages of the input methods are read once and again
// when the groups change.
//
// An input method "unikey" is the source "fcitx5:unikey", named by its name
// and typing its language code; a keyboard input method ("keyboard-ru",
// "keyboard-de-nodeadkeys") types the languages of its layout, as the
// keymap's groups do. Fcitx 5 answers with the input method of the input
// context that last had the focus; only with no input context at all does it
// select none, and then the keymap decides.
class Fcitx5Watcher : public InputMethodWatcher {
    Q_OBJECT

public:
    Fcitx5Watcher();

    std::string frameworkName() const override { return "Fcitx 5"; }
    void start() override;
    void poll() override;

private slots:
    void readInputMethods();
    void onDaemonBack();
    void onDaemonGone();
    void onPanelBack();
    void onPanelGone();
    void onPanelProperty(const QString& property);

private:
    struct InputMethod {
        std::string name;
        std::string languageCode;
    };
    // The unique name of the current input method in a reply, empty for
    // none; nothing for an error.
    using Answer = std::optional<std::string>;

    void refresh();
    static Answer answerOf(const QDBusMessage& reply);
    // The answer of AvailableInputMethods, a(ssssssb), by unique name.
    static std::map<std::string, InputMethod> inputMethodsFromReply(const QDBusArgument& list);
    std::optional<InputSource> sourceFor(const std::string& uniqueName);
    void report(const Report& report, const Answer& answer);
    void followPanelIfUsed();
    void updatePolling();

    std::map<std::string, InputMethod> inputMethods_;
    XkbLayoutRegistry registry_;
    bool daemonPresent_ = false;
    bool panelOwned_ = false;
    bool panelUsed_ = false;
    Answer reportedAnswer_;
    const QDBusMessage question_;
    std::optional<QDBusPendingCall> pendingQuestion_;
};
