#pragma once

#include "language/LanguageState.h"
#include "platform/input/InputSourceService.h"

// Answers which language the selected keyboard input source types. Asks the
// input sources afresh on every call.
class LanguageDetector {
public:
    explicit LanguageDetector(InputSourceService& inputSources);

    // Never fails: InputLanguage::unknown() when there is no current source.
    LanguageState detect() const;

private:
    InputSourceService& inputSources_;
};
