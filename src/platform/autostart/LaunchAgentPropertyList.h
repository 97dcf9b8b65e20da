#pragma once

#include "platform/autostart/LaunchAgent.h"

#include <optional>
#include <string>

// The service manager's per-user launch agent of a macOS build:
// ~/Library/LaunchAgents/com.tarnwick.app.plist, an XML property list with
// the label, the executable as the only program argument, run at load and no
// keep-alive.
class LaunchAgentPropertyList : public LaunchAgent {
public:
    std::string path() const override;

    // The bundle's executable, or the conventional one inside the bundle when
    // the bundle reports none.
    static std::string executablePath(const std::optional<std::string>& bundleExecutablePath,
                                      const std::string& bundlePath);

protected:
    std::optional<std::string> document(const std::string& executablePath) const override;
};
