#pragma once

#include <string>
#include <string_view>
#include <vector>

// The little Unicode the language model needs from UTF-8 text.
namespace UnicodeText {

// The Unicode scalars of the text; a malformed sequence reads as U+FFFD.
std::vector<char32_t> scalars(std::string_view text);

// The text without leading and trailing white space and line breaks,
// including the non-ASCII ones (no-break space, ideographic space, ...).
std::string trimmed(std::string_view text);

}
