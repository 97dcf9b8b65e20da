#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

// Whole-file reads and crash-safe writes: a write lands completely or not at
// all, even if the machine goes down half way.
namespace AtomicFile {

// Writes to a temporary file beside the target, syncs it, renames it over the
// target and syncs the folder. Creates missing parent folders (mode 0700).
bool write(const std::string& path, const std::string& bytes, mode_t mode = 0644);

// The whole file, or nothing when it is missing or unreadable. Files larger
// than maxBytes are refused rather than read into memory.
std::optional<std::string> read(const std::string& path, std::size_t maxBytes = 64u << 20);

bool makeDirectories(const std::string& path, mode_t mode = 0700);

// Whether anything is at path; a link counts as itself, not as its target.
bool exists(const std::string& path);

// Removes the file (a link, not its target). A file already gone counts as
// removed; on failure errno tells why.
bool remove(const std::string& path);

}
