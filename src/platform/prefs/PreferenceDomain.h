#pragma once

#include "platform/prefs/PropertyList.h"

#include <map>
#include <optional>
#include <string>

// Another application's preference domain, kept as a property-list file that
// holds one dictionary. Changes are collected in memory and written together,
// atomically, by synchronize(); reads see the collected changes, otherwise the
// file as it is now (other processes may change it at any time).
//
// A file that is not a property-list dictionary reads as an empty domain and
// is never overwritten unseen: the next write first keeps it beside itself as
// "<file>.corrupt". A file that exists but cannot be read is left alone and
// synchronize() fails.
class PreferenceDomain {
public:
    PreferenceDomain(std::string name, std::string filePath);

    const std::string& name() const { return name_; }
    const std::string& filePath() const { return filePath_; }

    std::optional<PropertyList> copyValue(const std::string& key) const;
    // Setting nothing removes the key.
    void setValue(const std::string& key, std::optional<PropertyList> value);
    // Writes the collected changes; true when they are stored (or there were
    // none to store). Changes that could not be stored are dropped, so reads
    // afterwards show what the file really holds.
    bool synchronize();

private:
    std::string name_;
    std::string filePath_;
    std::map<std::string, std::optional<PropertyList>> pendingChanges_;
};
