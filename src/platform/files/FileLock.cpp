#include "platform/files/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

std::unique_ptr<FileLock> FileLock::tryAcquire(const std::string& path)
{
    int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0)
        return nullptr;
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        ::close(descriptor);
        return nullptr;
    }
    return std::unique_ptr<FileLock>(new FileLock(descriptor));
}

FileLock::~FileLock()
{
    flock(descriptor_, LOCK_UN);
    ::close(descriptor_);
}
