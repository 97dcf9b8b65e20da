#include "platform/files/UserDirectories.h"

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace UserDirectories {

namespace {

std::string absoluteVariable(const char* name)
{
    const char* value = std::getenv(name);
    // XDG asks that relative values be ignored.
    return value && value[0] == '/' ? value : "";
}

}

std::string home()
{
    const char* value = std::getenv("HOME");
    if (value && value[0])
        return value;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

std::string configHome()
{
    std::string xdg = absoluteVariable("XDG_CONFIG_HOME");
    return xdg.empty() ? home() + "/.config" : xdg;
}

std::string applicationSupport()
{
    std::string xdg = absoluteVariable("XDG_DATA_HOME");
    return xdg.empty() ? home() + "/.local/share" : xdg;
}

std::string executablePath()
{
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return "";
    std::string path(buffer, static_cast<std::size_t>(n));
    // Once a rebuild or a package upgrade has replaced the file, the kernel
    // names the old one with this suffix; the path itself now holds the
    // program that should start next time.
    const std::string replaced = " (deleted)";
    struct stat st {};
    if (path.ends_with(replaced) && lstat(path.c_str(), &st) != 0)
        path.erase(path.size() - replaced.size());
    return path;
}

}
