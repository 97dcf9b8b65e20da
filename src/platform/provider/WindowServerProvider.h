#pragma once

#include <optional>
#include <string>

// Chooses and loads the library that stands for the window server, before the
// runtime resolves its functions. Loaded with RTLD_GLOBAL so that the
// runtime's default search handle finds its symbols.
//
// TARNWICK_WINDOW_SERVER is "x11", "theme", "sim" or a path to a library;
// without it the choice is theme in a Wayland session (XDG_SESSION_TYPE is
// "wayland" or WAYLAND_DISPLAY is set, whether or not DISPLAY names
// XWayland), x11 when DISPLAY is non-empty, else sim. A name stands for
// libtarnwick_provider_<name>.so, looked up first in the folder of the
// executable (the build puts the provider libraries next to the tarnwick
// program), then in the installed layout's private library folder.
namespace WindowServerProvider {

// The installed private library folder relative to the installed program's
// folder, for example "../lib/x86_64-linux-gnu/tarnwick"; the install rules
// decide it.
inline constexpr const char* privateLibraryFolder = TARNWICK_PRIVATE_LIBRARY_FOLDER;

// The library the environment asks for: a path, or for a name the first
// existing candidate (the first candidate when none exists, so the failure
// names it).
std::string chosenLibrary(const std::optional<std::string>& windowServer, const std::optional<std::string>& display,
                          const std::string& executableFolder, bool waylandSession = false);

// Whether the environment describes a Wayland session.
bool isWaylandSession();

// Loads the chosen library. A failure writes one line naming the library and
// the loader's reason to standard error and to the log, and returns false;
// the program goes on with whatever the runtime can resolve.
bool loadFromEnvironment();

}
