#pragma once

#include "language/CursorStyle.h"
#include "language/InputLanguage.h"
#include "platform/defaults/UserDefaults.h"

#include <optional>

// The two choices that drive the application: the badge style and the
// left-handed flag. Nothing is cached: every read goes to the store, so a
// value changed outside the application is seen on the next read.
class CursorPreferences {
public:
    explicit CursorPreferences(UserDefaults& defaults);

    // True on a fresh installation.
    bool isLeftHanded() const;
    void setLeftHanded(bool leftHanded);

    // One style for every language: the language is accepted and ignored.
    // A style stored under an older per-language key is moved to the global
    // key on first read.
    CursorStyle style(const std::optional<InputLanguage>& language = std::nullopt) const;
    void setStyle(CursorStyle style, const std::optional<InputLanguage>& language = std::nullopt);

    UserDefaults& defaults;
};
