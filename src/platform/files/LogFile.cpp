#include "platform/files/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void LogFile::append(const std::string& path, std::string_view line)
{
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0)
        return;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid()) {
        [[maybe_unused]] auto written = ::write(fd, line.data(), line.size());
    }
    close(fd);
}

void LogFile::remove(const std::string& path)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || st.st_uid != geteuid())
        return;
    if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))
        unlink(path.c_str());
}
