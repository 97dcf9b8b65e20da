#include "TestKeyboard.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

bool run(std::vector<std::string> arguments)
{
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return failed == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}

TestKeyboard::TestKeyboard(std::string display) : display_(std::move(display))
{
    connection_ = XOpenDisplay(display_.c_str());
}

TestKeyboard::~TestKeyboard()
{
    if (connection_)
        XCloseDisplay(connection_);
}

bool TestKeyboard::setLayouts(const std::string& layouts)
{
    return run({"setxkbmap", "-display", display_, "-layout", layouts});
}

bool TestKeyboard::loadKeymap(const std::string& keymap, const std::map<std::string, std::string>& symbolFiles)
{
    std::string folder = (std::filesystem::temp_directory_path() / "tarnwick-xkb-XXXXXX").string();
    if (!mkdtemp(folder.data()))
        return false;
    std::filesystem::create_directories(folder + "/symbols");
    for (const auto& [name, contents] : symbolFiles)
        std::ofstream(folder + "/symbols/" + name) << contents;
    std::ofstream(folder + "/keymap.xkb") << keymap;
    bool loaded = run({"xkbcomp", "-I" + folder, folder + "/keymap.xkb", display_});
    std::filesystem::remove_all(folder);
    return loaded;
}

void TestKeyboard::lockGroup(unsigned int group)
{
    if (!connection_)
        return;
    XkbLockGroup(connection_, XkbUseCoreKbd, group);
    XSync(connection_, False);
}
