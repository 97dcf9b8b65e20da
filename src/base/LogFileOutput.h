#pragma once

#include <string>
#include <string_view>

// The file half of the log's output. The log calls it on its own queue only,
// one call at a time.
class LogFileOutput {
public:
    virtual ~LogFileOutput() = default;

    virtual void append(const std::string& path, std::string_view line) = 0;
    virtual void remove(const std::string& path) = 0;
};
