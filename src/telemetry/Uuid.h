#pragma once

#include <string>

namespace Uuid {

// A new random (version 4) UUID in its canonical upper-case text form.
std::string random();

}
