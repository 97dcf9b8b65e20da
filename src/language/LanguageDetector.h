#pragma once

#include "language/LanguageState.h"
#include "platform/input/InputSourceService.h"

#include <optional>

// Answers which language the selected keyboard input source types. Asks the
// input sources afresh on every call; the language of the source last seen
// is not worked out again (the poll asks four times a second).
class LanguageDetector {
public:
    explicit LanguageDetector(InputSourceService& inputSources);

    // Never fails: InputLanguage::unknown() when there is no current source.
    LanguageState detect() const;

private:
    InputSourceService& inputSources_;
    mutable std::optional<InputSource> lastSource_;
    mutable LanguageState lastState_{InputLanguage::unknown()};
};
