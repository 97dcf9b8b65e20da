#include "platform/autostart/LaunchAgent.h"

#include "base/AppLog.h"
#include "platform/autostart/XdgAutostartEntry.h"
#include "platform/files/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

bool LaunchAgent::exists() const
{
    struct stat st {};
    return lstat(path().c_str(), &st) == 0;
}

bool LaunchAgent::install(const std::string& executablePath) const
{
    std::string file = path();
    std::optional<std::string> bytes = document(executablePath);
    if (!bytes) {
        AppLog::warn("Launch agent not written: unusable executable path \"" + executablePath + "\"");
        return false;
    }
    std::string folder = file.substr(0, file.find_last_of('/'));
    if (!AtomicFile::makeDirectories(folder, 0755) || !AtomicFile::write(file, *bytes, 0644)) {
        AppLog::warn("Launch agent not written: path=" + file);
        return false;
    }
    AppLog::info("Launch agent written: path=" + file + " program=" + executablePath);
    return true;
}

bool LaunchAgent::remove() const
{
    std::string file = path();
    if (unlink(file.c_str()) == 0 || errno == ENOENT)
        return true;
    AppLog::warn("Launch agent not removed: path=" + file + " error=" + std::strerror(errno));
    return false;
}

std::unique_ptr<LaunchAgent> LaunchAgent::forThisDesktop()
{
    return std::make_unique<XdgAutostartEntry>();
}
