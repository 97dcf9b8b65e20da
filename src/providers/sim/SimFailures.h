#pragma once

#include "platform/provider/WindowServerFunctions.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// The statuses a test asked the simulated window server to fail with: for
// every call of a function, or only for calls naming one cursor. Functions are
// named without their CGS or SLS prefix, so one entry covers both spellings.
class SimFailures {
public:
    // Status 0 removes the entry.
    void set(std::string_view function, std::optional<std::string> argument, CGSError status);
    void clear();
    // The per-cursor entry first, then the one for every call.
    std::optional<CGSError> find(std::string_view function, std::string_view argument) const;

    static std::string_view withoutPrefix(std::string_view function);

private:
    std::map<std::string, CGSError, std::less<>> everyCall_;
    std::map<std::pair<std::string, std::string>, CGSError, std::less<>> perCursor_;
};
