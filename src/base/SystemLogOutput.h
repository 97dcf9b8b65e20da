#pragma once

#include <string_view>

// The system-log half of the log's output. The log calls it on its own queue
// only, one call at a time.
class SystemLogOutput {
public:
    enum class Type { debug, info, error };

    virtual ~SystemLogOutput() = default;

    // The message text alone; the system adds time, program and level.
    virtual void send(Type type, std::string_view message) = 0;
};
