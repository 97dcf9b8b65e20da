#pragma once

#include <string>
#include <sys/types.h>

// The tests' mouse and keyboard, plugged into a compositor by a process of
// the session's user (KWin offers its fake input to no other): KWin's fake
// input, or a wlroots virtual pointer and a virtual keyboard with the given
// XKB layouts ("us,ru,de"). Each call returns once the compositor has it.
class VirtualInput {
public:
    VirtualInput(const std::string& socket, const std::string& layouts, int width, int height);
    ~VirtualInput();
    VirtualInput(const VirtualInput&) = delete;
    VirtualInput& operator=(const VirtualInput&) = delete;

    bool ready() const { return ready_; }
    void moveTo(int x, int y);
    // The pointer unplugged and plugged in again, as a user plugs in a mouse
    // (wlroots; KWin's fake input stays).
    void replug();

private:
    bool tell(const std::string& command);

    pid_t pid_ = -1;
    int commands_ = -1;
    int answers_ = -1;
    bool ready_ = false;
};
