#pragma once

#include "platform/autostart/LaunchAgent.h"

#include <optional>
#include <string>

// The freedesktop.org autostart entry:
// $XDG_CONFIG_HOME/autostart/com.tarnwick.app.desktop.
class XdgAutostartEntry : public LaunchAgent {
public:
    std::string path() const override;

    // The value of the entry's Exec key that runs exactly this file: the path
    // quoted as one argument, then escaped as a desktop-entry string. Nothing
    // for a path that is not absolute or holds characters an entry cannot
    // carry.
    static std::optional<std::string> execValue(const std::string& executablePath);

protected:
    std::optional<std::string> document(const std::string& executablePath) const override;
};
