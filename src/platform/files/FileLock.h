#pragma once

#include <memory>
#include <string>

// An exclusive lock on a file, held for this object's life and released when
// it goes, or when the process ends however it ends.
class FileLock {
public:
    // Creates the lock file (mode 0600) if needed. Nothing when it cannot be
    // opened, is a link, or another process holds the lock: nobody waits.
    static std::unique_ptr<FileLock> tryAcquire(const std::string& path);

    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    explicit FileLock(int descriptor) : descriptor_(descriptor) {}

    int descriptor_;
};
