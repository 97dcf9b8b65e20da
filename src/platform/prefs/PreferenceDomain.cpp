#include "platform/prefs/PreferenceDomain.h"

#include "base/AppLog.h"
#include "platform/files/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <utility>

namespace {

struct StoredDomain {
    enum class State { absent, valid, corrupt, unreadable };
    State state = State::absent;
    PropertyList contents = PropertyList::dictionary();
    // A new file is binary, as the system writes its own domains; an existing
    // one keeps its format and permissions.
    PropertyList::Format format = PropertyList::Format::binary;
    mode_t mode = 0600;
};

StoredDomain readStoredDomain(const std::string& path)
{
    StoredDomain domain;
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        domain.state = errno == ENOENT ? StoredDomain::State::absent : StoredDomain::State::unreadable;
        return domain;
    }
    domain.mode = status.st_mode & 07777;
    auto bytes = S_ISREG(status.st_mode) ? AtomicFile::read(path, PropertyList::maxDocumentBytes) : std::nullopt;
    if (!bytes) {
        domain.state = StoredDomain::State::unreadable;
        return domain;
    }
    auto contents = PropertyList::parse(*bytes);
    if (!contents || contents->type() != PropertyList::Type::dictionary) {
        domain.state = StoredDomain::State::corrupt;
        return domain;
    }
    domain.state = StoredDomain::State::valid;
    domain.contents = std::move(*contents);
    domain.format = PropertyList::formatOf(*bytes);
    return domain;
}

}

PreferenceDomain::PreferenceDomain(std::string name, std::string filePath)
    : name_(std::move(name)), filePath_(std::move(filePath))
{
}

std::optional<PropertyList> PreferenceDomain::copyValue(const std::string& key) const
{
    if (auto pending = pendingChanges_.find(key); pending != pendingChanges_.end())
        return pending->second;
    return readStoredDomain(filePath_).contents.value(key);
}

void PreferenceDomain::setValue(const std::string& key, std::optional<PropertyList> value)
{
    pendingChanges_.insert_or_assign(key, std::move(value));
}

bool PreferenceDomain::synchronize()
{
    if (pendingChanges_.empty())
        return true;
    auto changes = std::exchange(pendingChanges_, {});
    // Read afresh so that what other processes wrote since is kept.
    StoredDomain stored = readStoredDomain(filePath_);
    if (stored.state == StoredDomain::State::unreadable) {
        AppLog::error("Preference domain " + name_ + " not written: cannot read " + filePath_);
        return false;
    }
    PropertyList updated = stored.contents;
    for (const auto& [key, value] : changes) {
        if (value)
            updated.setValue(key, *value);
        else
            updated.removeValue(key);
    }
    if (updated == stored.contents)
        return true;

    if (stored.state == StoredDomain::State::corrupt) {
        std::string keptPath = filePath_ + ".corrupt";
        if (std::rename(filePath_.c_str(), keptPath.c_str()) != 0) {
            AppLog::error("Preference domain " + name_ + " not written: cannot keep the unreadable file " + filePath_ +
                          " aside: " + std::strerror(errno));
            return false;
        }
        AppLog::warn("Preference domain " + name_ + " held no valid property list; kept it as " + keptPath);
    }
    std::string bytes = updated.serialized(stored.format);
    if (bytes.empty()) {
        AppLog::error("Failed to encode preference domain " + name_);
        return false;
    }
    if (!AtomicFile::write(filePath_, bytes, stored.mode)) {
        AppLog::error("Failed to write preference domain " + name_ + " to " + filePath_ + ": " +
                      std::strerror(errno));
        return false;
    }
    return true;
}
