#pragma once

#include <memory>
#include <optional>
#include <string>

// A per-user file that makes the desktop start the program at login. The
// file's existence is the option's whole state, whoever wrote it: nothing is
// loaded or started now, the file takes effect at the next login.
class LaunchAgent {
public:
    virtual ~LaunchAgent() = default;

    // Where the file lives for the current user, resolved at each call.
    virtual std::string path() const = 0;

    bool exists() const;
    // Writes the file atomically, replacing any that is there, so that the
    // executable starts at login. False (and logged) when it was not written.
    bool install(const std::string& executablePath) const;
    // Deletes the file; no file at all is not a failure.
    bool remove() const;

    // The launch agent of this desktop.
    static std::unique_ptr<LaunchAgent> forThisDesktop();

protected:
    // The file's bytes, or nothing when the executable cannot be described.
    virtual std::optional<std::string> document(const std::string& executablePath) const = 0;
};
