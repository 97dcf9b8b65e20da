#pragma once

#include "base/LogFileOutput.h"

// The log file. It sits in a world-writable folder: never follow a link
// planted there and never write into or remove a file somebody else owns.
class LogFile final : public LogFileOutput {
public:
    void append(const std::string& path, std::string_view line) override;
    void remove(const std::string& path) override;
};
