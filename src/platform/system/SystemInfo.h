#pragma once

#include <string>

// What the running system says about itself.
namespace SystemInfo {

// The operating system's name and version as its vendor shows it.
std::string productName();
// The processor architecture the program was built for ("x86_64", "arm64").
std::string architecture();
// The user's first preferred interface language ("en-GB"), else the locale's name.
std::string userInterfaceLocale();

}
