#pragma once

#include <optional>
#include <string>

// Standard Base64 with padding.
namespace Base64 {

std::string encode(const std::string& bytes);
// Nothing unless text is whole, padded Base64 and nothing else.
std::optional<std::string> decode(const std::string& text);

}
