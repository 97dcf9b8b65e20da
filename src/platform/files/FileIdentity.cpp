#include "platform/files/FileIdentity.h"

#include <sys/stat.h>
#include <time.h>

namespace {

// Far above the coarse clock file systems stamp times with (a few ms).
constexpr std::int64_t clockStepMargin = 100'000'000;

std::int64_t nanoseconds(const timespec& time)
{
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

}

std::optional<FileIdentity> FileIdentity::of(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                        static_cast<std::uint64_t>(st.st_size), nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

bool FileIdentity::isRecent() const
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now) - modifiedNanoseconds < clockStepMargin;
}
