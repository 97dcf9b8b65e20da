#pragma once

#include <string>
#include <vector>

// A private X server for one test program: Xvfb -noreset on a free display
// number, so its keymap survives clients coming and going.
class XvfbServer {
public:
    explicit XvfbServer(std::vector<std::string> extraArguments = {});
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool running() const { return pid_ > 0 && !display_.empty(); }
    // ":N"
    const std::string& display() const { return display_; }

    // The installed cursor theme tests show cursors from: DMZ-White, else
    // Adwaita, else "default".
    static std::string cursorTheme();

private:
    int pid_ = -1;
    std::string display_;
};
