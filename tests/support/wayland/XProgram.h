#pragma once

#include <map>
#include <string>
#include <vector>

// An X program nobody here wrote, as a user starts it under XWayland, and a
// spot in its window where it sets a cursor of its own: xterm's text, GTK's
// text entry. Where GTK sets none, KWin shows the cursor it gave the
// window's frame, which has no name to be replaced by.
struct XProgram {
    const char* name;
    std::vector<std::string> command;
    std::map<std::string, std::string> environment;
    int x, y;

    // How the compositor's window list names it.
    std::string windowName() const { return command.front().substr(command.front().rfind('/') + 1); }
};

inline const XProgram xterm{"xterm", {"/usr/bin/xterm"}, {}, 900, 400};
inline const XProgram gtk3OnX{
    "GTK 3 on XWayland", {"/usr/bin/gtk3-widget-factory"}, {{"GDK_BACKEND", "x11"}}, 870, 311};
