#pragma once

#include "platform/input/InputMethodWatcher.h"
#include "platform/input/XkbLayoutRegistry.h"

#include <map>

class QDBusArgument;

// The input method Fcitx 5 has selected for the focused input context, from
// its controller on the session bus (org.fcitx.Fcitx5 /controller,
// org.fcitx.Fcitx.Controller1). The controller announces no change of input
// method, only of the groups, and the one broadcast of changes that exists
// goes to the panel, a role the badge must not take from the desktop's own;
// so the current input method is asked again whenever the main thread polls,
// here on the watcher thread. The names and languages of the input methods
// are read once and again when the groups change.
//
// An input method "unikey" is the source "fcitx5:unikey", named by its name
// and typing its language code; a keyboard input method ("keyboard-ru",
// "keyboard-de-nodeadkeys") types the languages of its layout, as the
// keymap's groups do. With no focused input context Fcitx 5 selects none,
// and the keymap decides.
class Fcitx5Watcher : public InputMethodWatcher {
    Q_OBJECT

public:
    std::string frameworkName() const override { return "Fcitx 5"; }
    bool needsPolling() const override { return true; }
    void start() override;
    void refresh() override;

private slots:
    void readInputMethods();
    void onDaemonGone();

private:
    struct InputMethod {
        std::string name;
        std::string languageCode;
    };
    // The answer of AvailableInputMethods, a(ssssssb), by unique name.
    static std::map<std::string, InputMethod> inputMethodsFromReply(const QDBusArgument& list);
    std::optional<InputSource> sourceFor(const std::string& uniqueName);

    std::map<std::string, InputMethod> inputMethods_;
    XkbLayoutRegistry registry_;
};
