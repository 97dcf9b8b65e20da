#pragma once

#include <string_view>

namespace Utf8 {

// Whether bytes are well-formed UTF-8.
bool isValid(std::string_view bytes);

}
