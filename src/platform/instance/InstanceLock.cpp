#include "platform/instance/InstanceLock.h"

#include "platform/files/AtomicFile.h"
#include "platform/files/UserDirectories.h"
#include "platform/syslog/SystemLog.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <sys/file.h>
#include <unistd.h>

namespace {

std::string runtimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && runtime[0] ? runtime : UserDirectories::home() + "/.cache";
}

// ":0" and ":0.1" are one server; so are the same name with other screens.
std::string serverPart(std::string display)
{
    auto colon = display.rfind(':');
    auto dot = display.rfind('.');
    if (colon != std::string::npos && dot != std::string::npos && dot > colon)
        display.erase(dot);
    for (char& c : display)
        if (c == '/')
            c = '_';
    return display;
}

std::string lockPathFor(const std::string& display)
{
    return runtimeFolder() + "/tarnwick-" + serverPart(display) + ".lock";
}

}

bool InstanceLock::tryAcquire()
{
    const char* display = std::getenv("DISPLAY");
    std::string path = lockPathFor(display ? display : "");
    AtomicFile::makeDirectories(runtimeFolder());
    // Deliberately never closed: the descriptor is the lock.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK)
        return true;
    ::close(fd);
    return false;
}

bool InstanceLock::acquire()
{
    if (tryAcquire())
        return true;
    reportAlreadyRunning();
    return false;
}

void InstanceLock::reportAlreadyRunning()
{
    const std::string line = "Tarnwick is already running";
    std::cerr << "tarnwick: " << line << "\n";
    SystemLog().send(SystemLog::Type::info, line);
}
