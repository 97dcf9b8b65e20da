#pragma once

#include "providers/sim/SimCursorArt.h"

#include <cstdint>
#include <optional>
#include <string_view>

// The simulated window server's numbered system cursors and the names its
// stock cursors answer to. Numbered cursor N is the cursor named
// "com.apple.cursor.N"; it also has a descriptive name of its own (0 is
// "com.apple.coregraphics.Arrow"), and only arrow cursors have "Arrow" in it.
class SimSystemCursors {
public:
    static constexpr std::string_view numberedPrefix = "com.apple.cursor.";

    // The descriptive name of a numbered cursor; nullptr for a number the
    // table does not hold. The string lives as long as the library.
    static const char* nameForNumber(std::int32_t number);

    // The stock shape a name shows before anything is registered under it:
    // descriptive names, "com.apple.cursor.N" for the numbers of the table, and
    // the two names that stand for the current arrow.
    static std::optional<SimCursorArt::Shape> stockShapeForName(std::string_view name);

    // "com.apple.cursor.N" for a number.
    static std::string numberedName(std::int32_t number);
};
