#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

// Which X cursor names show each of the program's cursor names, and the
// numbered system cursors 0..44 with the X shapes of the same meaning.
//
// The names reported for numbered cursors keep name discovery sensible: only
// arrow cursors have names containing "arrow", only I-beams names containing
// "ibeam"; every other number is reported as "com.apple.cursor.N".
namespace CursorNameMap {

inline constexpr int firstSystemCursor = 0;
inline constexpr int lastSystemCursor = 44;

using XNames = std::span<const char* const>;

// The X names for a program cursor name, preferred first; empty when X has
// no cursor of that meaning (the name is then only kept by the provider).
XNames xNames(std::string_view name);

// The X names of a numbered cursor; empty outside 0..44.
XNames xNames(int systemCursor);

// The reported name of a numbered cursor; nullptr outside 0..44. The string
// is static.
const char* systemCursorName(int systemCursor);

// The number in "com.apple.cursor.N" (decimal digits only), if any.
std::optional<int> systemCursorNumber(std::string_view name);

}
