#include "platform/files/FileChangeWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

namespace {

// Writes count when the writer closes the file, so that nothing reads it
// half written.
constexpr std::uint32_t folderEvents = IN_CREATE | IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVED_FROM |
                                       IN_MOVED_TO | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t ancestorEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

}

FileChangeWatch::FileChangeWatch(const std::string& path)
    : folder_(std::filesystem::path(path).has_parent_path() ? std::filesystem::path(path).parent_path().string() : "."),
      name_(std::filesystem::path(path).filename().string()),
      descriptor_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    arm();
}

FileChangeWatch::~FileChangeWatch()
{
    if (descriptor_ >= 0)
        close(descriptor_);
}

// Watches the file's folder, or the nearest existing one above it. A folder
// watched already keeps its watch.
void FileChangeWatch::arm()
{
    if (descriptor_ < 0)
        return;
    int previous = watch_;
    watch_ = -1;
    for (std::filesystem::path folder = folder_; !folder.empty(); folder = folder.parent_path()) {
        watchingFolder_ = folder == folder_;
        watch_ = inotify_add_watch(descriptor_, folder.c_str(), watchingFolder_ ? folderEvents : ancestorEvents);
        if (watch_ >= 0 || errno != ENOENT || folder == folder.parent_path())
            break;
    }
    if (previous >= 0 && previous != watch_)
        inotify_rm_watch(descriptor_, previous);
}

bool FileChangeWatch::mayHaveChanged()
{
    if (watch_ < 0)
        return true;
    bool changed = !asked_;
    bool rearm = false;
    asked_ = true;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        ssize_t length = read(descriptor_, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            // What is still queued for a watch given up (its removal, for one).
            if (event->wd != watch_ && !(event->mask & IN_Q_OVERFLOW))
                continue;
            bool aboutFile = event->len > 0 && name_ == event->name;
            // A folder on the way to the file appeared, or the watched one went.
            rearm = rearm || !watchingFolder_ || (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF));
            changed = changed || aboutFile || (event->mask & IN_Q_OVERFLOW);
        }
    }
    if (rearm) {
        arm();
        changed = true;
    }
    return changed || watch_ < 0;
}
