#pragma once

#include <map>
#include <string>

struct _XDisplay;

// Drives the keyboard of a private X server the way a user's tools would:
// layouts through setxkbmap, whole keymaps through xkbcomp, group switches
// through XKB group locks.
class TestKeyboard {
public:
    explicit TestKeyboard(std::string display);
    ~TestKeyboard();
    TestKeyboard(const TestKeyboard&) = delete;
    TestKeyboard& operator=(const TestKeyboard&) = delete;

    // "us,ru,de"
    bool setLayouts(const std::string& layouts);
    // A complete keymap in xkbcomp's source form, which may include the
    // given symbol files (name, contents) besides the system's.
    bool loadKeymap(const std::string& keymap, const std::map<std::string, std::string>& symbolFiles = {});
    // Zero-based, as XKB counts groups; returns once the server has done it.
    void lockGroup(unsigned int group);

private:
    std::string display_;
    _XDisplay* connection_ = nullptr;
};
