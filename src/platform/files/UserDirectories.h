#pragma once

#include <string>

// The user's folders, honouring HOME and the XDG variables at each call so
// that a test can point them at a temporary home.
namespace UserDirectories {

std::string home();
// $XDG_CONFIG_HOME, else ~/.config
std::string configHome();
// The Application Support folder: $XDG_DATA_HOME, else ~/.local/share
std::string applicationSupport();
// The running executable's absolute path; after the file was replaced, the
// path of the replacement.
std::string executablePath();

}
