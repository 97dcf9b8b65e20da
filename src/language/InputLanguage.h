#pragma once

#include "platform/graphics/Color.h"

#include <string>
#include <string_view>

// The active keyboard language: a normalised code ("en", "zh-hans",
// "unknown"), the text drawn in the badge, the input source's name and its
// identifier. An immutable value.
class InputLanguage {
public:
    InputLanguage(std::string code, std::string badgeText, std::string displayName, std::string sourceID);

    // The language of an input source, from its raw language tag, name and
    // identifier: the code normalised, the badge text derived from it, a
    // blank name read as "Unknown" and a blank identifier as "unknown".
    static InputLanguage make(std::string_view rawCode, std::string_view name, std::string_view sourceID);

    // When there is no input source: "unknown", "??", "Unknown", "unknown".
    static const InputLanguage& unknown();

    // Maps any language tag to the program's small vocabulary: the lower-case
    // base language alone, except that Chinese keeps its script ("zh-hans",
    // "zh-hant", "zh"); "unknown" for anything else. Idempotent.
    static std::string normalizedCode(std::string_view raw);

    // "En", "Ру", "简", "繁", "??", or the upper-cased base language.
    static std::string badgeText(std::string_view code);

    // The colour of a language that has no fixed colour of its own: a hue
    // hashed from the code, the same in every run.
    static Color stableColor(std::string_view code);

    const std::string& code() const { return code_; }
    const std::string& badgeText() const { return badgeText_; }
    const std::string& displayName() const { return displayName_; }
    const std::string& sourceID() const { return sourceID_; }

    friend bool operator==(const InputLanguage&, const InputLanguage&) = default;

private:
    std::string code_;
    std::string badgeText_;
    std::string displayName_;
    std::string sourceID_;
};
