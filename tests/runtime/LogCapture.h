#pragma once

#include "base/AppLog.h"
#include "support/TempHome.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

// Sends every log line of a test, debug lines included, to a private file and
// reads them back as "[LEVEL] message".
class LogCapture {
public:
    LogCapture()
    {
        setenv("ORVELLE_VERBOSE", "1", 1);
        unsetenv("ORVELLE_ENABLE_LOGS");
        AppLog::testing::reset(path_);
        unsetenv("ORVELLE_VERBOSE");
    }

    // The lines written since the last clear().
    std::vector<std::string> lines() const
    {
        std::vector<std::string> all = everything();
        return std::vector<std::string>(all.begin() + std::min(seen_, all.size()), all.end());
    }
    bool has(const std::string& line) const
    {
        auto current = lines();
        return std::find(current.begin(), current.end(), line) != current.end();
    }
    std::size_t count(const std::string& line) const
    {
        auto current = lines();
        return std::size_t(std::count(current.begin(), current.end(), line));
    }
    void clear() { seen_ = everything().size(); }

private:
    std::vector<std::string> everything() const
    {
        AppLog::flush();
        std::vector<std::string> out;
        std::istringstream in(TempHome::readFile(path_));
        for (std::string line; std::getline(in, line);) {
            // Past the timestamp: "<time> [LEVEL] message".
            auto level = line.find(" [");
            out.push_back(level == std::string::npos ? line : line.substr(level + 1));
        }
        return out;
    }

    TempHome home_;
    std::string path_ = home_.path() + "/Tarnwick.log";
    std::size_t seen_ = 0;
};
