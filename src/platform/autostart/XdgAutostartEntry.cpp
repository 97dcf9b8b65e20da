#include "platform/autostart/XdgAutostartEntry.h"

#include "platform/files/UserDirectories.h"

namespace {

bool isUnrepresentable(unsigned char c)
{
    bool escapable = c == '\n' || c == '\t' || c == '\r';
    return (c < 0x20 && !escapable) || c == 0x7f;
}

// One argument in double quotes, as the Exec key's own quoting rule asks.
std::string quotedArgument(const std::string& argument)
{
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        // A lone percent sign would start a field code.
        if (c == '%')
            quoted += '%';
        quoted += c;
    }
    return quoted + "\"";
}

// The escapes every string value of the file goes through; they are undone
// before the quoting above is read.
std::string escapedString(const std::string& value)
{
    std::string escaped;
    for (char c : value) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '\n': escaped += "\\n"; break;
        case '\t': escaped += "\\t"; break;
        case '\r': escaped += "\\r"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

}

std::string XdgAutostartEntry::path() const
{
    return UserDirectories::configHome() + "/autostart/com.tarnwick.app.desktop";
}

std::optional<std::string> XdgAutostartEntry::execValue(const std::string& executablePath)
{
    if (executablePath.empty() || executablePath.front() != '/')
        return std::nullopt;
    for (char c : executablePath)
        if (isUnrepresentable(static_cast<unsigned char>(c)))
            return std::nullopt;
    return escapedString(quotedArgument(executablePath));
}

std::optional<std::string> XdgAutostartEntry::document(const std::string& executablePath) const
{
    std::optional<std::string> exec = execValue(executablePath);
    if (!exec)
        return std::nullopt;
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tarnwick\n"
           "Comment=Shows the keyboard language on the mouse pointer\n"
           "Exec=" + *exec + "\n"
           "Terminal=false\n"
           "NoDisplay=true\n"
           "X-GNOME-Autostart-enabled=true\n";
}
