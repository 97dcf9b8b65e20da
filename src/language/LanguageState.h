#pragma once

#include "language/InputLanguage.h"

// What the detector found: the active keyboard language.
struct LanguageState {
    InputLanguage language;

    friend bool operator==(const LanguageState&, const LanguageState&) = default;
};
