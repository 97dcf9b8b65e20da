#pragma once

#include "base/SystemLogOutput.h"

#include <string>
#include <string_view>
#include <vector>

// The desktop's system log: the journal, or syslog(3) where no journal
// listens. In the journal an entry carries the program's identifier, the
// priority, and the log's subsystem and category as fields of their own, so
// that journalctl -t tarnwick SUBSYSTEM=com.tarnwick.macos CATEGORY=runtime
// finds it.
class SystemLog final : public SystemLogOutput {
public:
    void send(Type type, std::string_view message) override;

    // The journal fields of one entry, each "NAME=value".
    static std::vector<std::string> journalFields(Type type, std::string_view message);
};
