#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// The least any program that badges the pointer must do on a layout switch,
// as a process of its own on the display named by DISPLAY: it keeps a badged
// arrow ready for every XKB group and, when the group changes, makes one
// cursor from the group's arrow, names it left_ptr and swaps left_ptr for it
// by name.
class FloorClient {
public:
    // fills: the badge colour of each group, 0xRRGGBB; theme: the cursor
    // theme whose arrow at the given size is badged.
    FloorClient(std::vector<std::uint32_t> fills, const std::string& theme, int size);
    ~FloorClient();
    FloorClient(const FloorClient&) = delete;
    FloorClient& operator=(const FloorClient&) = delete;

    // Connected, with every arrow made and the group watched.
    bool ready() const { return ready_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};
