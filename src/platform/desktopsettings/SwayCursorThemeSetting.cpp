#include "platform/desktopsettings/SwayCursorThemeSetting.h"

#include "platform/compositor/SwayIpc.h"

namespace {

// sway splits commands at spaces, commas and semicolons outside quotes.
std::string quoted(const std::string& text)
{
    std::string result = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            result += '\\';
        result += c;
    }
    return result + "\"";
}

}

bool SwayCursorThemeSetting::tell(const std::string& name, int size)
{
    return SwayIpc(socketPath_).command("seat * xcursor_theme " + quoted(name) + " " + std::to_string(size));
}

void SwayCursorThemeSetting::lookUnderPointer()
{
    SwayIpc(socketPath_).command("seat * cursor move 0 0");
}
