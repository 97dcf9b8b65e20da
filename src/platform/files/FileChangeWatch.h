#pragma once

#include <string>

// Tells whether a file may have changed since the last ask without looking
// at the file: the kernel reports what happens in its folder (inotify). While
// the folder does not exist yet, the nearest folder above it is watched for
// it to appear. Where nothing can be watched, every ask answers yes.
class FileChangeWatch {
public:
    explicit FileChangeWatch(const std::string& path);
    ~FileChangeWatch();
    FileChangeWatch(const FileChangeWatch&) = delete;
    FileChangeWatch& operator=(const FileChangeWatch&) = delete;

    // True on the first ask and whenever the file may have been created,
    // written, replaced, removed or renamed since the ask before.
    bool mayHaveChanged();

    bool watching() const { return watch_ >= 0; }
    // Readable when the kernel has something to report, for a run loop to
    // watch.
    int descriptor() const { return descriptor_; }

private:
    void arm();

    std::string folder_;
    std::string name_;
    int descriptor_ = -1;
    int watch_ = -1;
    bool watchingFolder_ = false;
    bool asked_ = false;
};
