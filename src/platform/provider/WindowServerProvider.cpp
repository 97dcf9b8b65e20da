#include "platform/provider/WindowServerProvider.h"

#include "base/AppLog.h"
#include "platform/files/UserDirectories.h"
#include "platform/provider/WindowServerFunctions.h"

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <iostream>
#include <vector>

namespace WindowServerProvider {

namespace {

// What a provider finds out on a thread of its own reaches the program's log.
void logFromWindowServer(int level, const char* message)
{
    if (message)
        (level >= 2 ? AppLog::error : level == 1 ? AppLog::warn : AppLog::info)(message);
}

void handOverTheLog(void* library)
{
    if (auto setHandler = reinterpret_cast<SetLogHandlerFunction>(dlsym(library, "TarnwickSetLogHandler")))
        setHandler(&logFromWindowServer);
}

std::optional<std::string> nonEmptyVariable(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !value[0])
        return std::nullopt;
    return std::string(value);
}

}

std::string chosenLibrary(const std::optional<std::string>& windowServer, const std::optional<std::string>& display,
                          const std::string& executableFolder, bool waylandSession)
{
    std::string choice = windowServer && !windowServer->empty() ? *windowServer
                         : waylandSession                       ? "theme"
                         : display && !display->empty()         ? "x11"
                                                                : "sim";
    // Anything but the three names is a library for the loader to find.
    if (choice != "x11" && choice != "theme" && choice != "sim")
        return choice;
    std::string file = "libtarnwick_provider_" + choice + ".so";
    std::vector<std::string> candidates = {executableFolder + "/" + file,
                                           executableFolder + "/" + privateLibraryFolder + "/" + file};
    for (const auto& candidate : candidates) {
        std::error_code ignored;
        if (std::filesystem::exists(candidate, ignored))
            return candidate;
    }
    return candidates.front();
}

bool isWaylandSession()
{
    return nonEmptyVariable("XDG_SESSION_TYPE") == "wayland" || nonEmptyVariable("WAYLAND_DISPLAY");
}

bool loadFromEnvironment()
{
    std::string executableFolder = std::filesystem::path(UserDirectories::executablePath()).parent_path().string();
    std::string library = chosenLibrary(nonEmptyVariable("TARNWICK_WINDOW_SERVER"), nonEmptyVariable("DISPLAY"),
                                        executableFolder, isWaylandSession());
    if (void* loaded = dlopen(library.c_str(), RTLD_NOW | RTLD_GLOBAL)) {
        AppLog::info("Window-server provider loaded: " + library);
        handOverTheLog(loaded);
        return true;
    }
    const char* reason = dlerror();
    std::string line = "Window-server provider " + library + " could not be loaded: " + (reason ? reason : "unknown error");
    std::cerr << "tarnwick: " << line << "\n";
    AppLog::error(line);
    return false;
}

}
