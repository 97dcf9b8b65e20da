#pragma once

#include <string>

namespace Uuid {

// A new random (version 4) UUID in its canonical upper-case text form.
std::string random();

// Whether text is a UUID in canonical form (either case).
bool isValid(const std::string& text);

}
