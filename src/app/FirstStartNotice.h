#pragma once

#include <string>

class UserDefaults;

// The one notification a home gets, at its first start: what the badge on the
// pointer is, where the menu is (or, with no tray, how to control Tarnwick)
// and that the cursors are mirrored for left-handed use by default, with how
// to turn that off.
class FirstStartNotice {
public:
    // The key in the settings that says the notice is still owed (true) or
    // was shown (false).
    static constexpr const char* owedKey = "tarnwick.first_start_notice_pending";

    // A home without a settings file starts for the first time. That is
    // written into the settings at once, before anything else writes them:
    // a run that ends early still owes the notice to the next start, and no
    // later start counts as a first one.
    explicit FirstStartNotice(UserDefaults& defaults);

    // Sends the notice if it is owed; it stays owed until the notification
    // server has taken it.
    void showIfOwed(bool inTray);

    static std::string text(bool inTray);

private:
    UserDefaults& defaults_;
};
