#pragma once

#include <string_view>

// Version strings as update feeds write them ("1.10", "2.0.1", "1.2b3"),
// compared piece by piece: numbers by value, so 1.10 is newer than 1.9;
// missing numbers count as zero, so 1.2 equals 1.2.0; a piece of letters
// marks a pre-release, older than the release it leads to (1.2b3 < 1.2).
namespace SoftwareVersion {

// Negative when a is older than b, zero when they are the same version,
// positive when a is newer.
int compare(std::string_view a, std::string_view b);

}
