#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What tells one version of a file from another without reading it: a file
// replaced by an atomic write gets a new inode, one rewritten in place a new
// size or modification time.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNanoseconds = 0;
    std::int64_t changedNanoseconds = 0;

    // The identity of the file a path names now (following links), or
    // nothing when there is none.
    static std::optional<FileIdentity> of(const std::string& path);

    // Whether the file's content changed so recently that a second change
    // within the file system's clock step could leave its identity as it is:
    // what was read of it now cannot be trusted by identity later.
    bool isRecent() const;

    bool operator==(const FileIdentity&) const = default;
};
