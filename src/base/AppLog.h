#pragma once

#include "base/LogFileOutput.h"
#include "base/SystemLogOutput.h"

#include <memory>
#include <string>
#include <string_view>

// The program's one log: each line goes to /tmp/Tarnwick.log (or the file
// TARNWICK_LOG_FILE names) and to the system log. Calls return at once; the
// file is written on the log's own queue.
namespace AppLog {

// Where the lines go, given once at start; until then they go nowhere.
void connect(std::unique_ptr<LogFileOutput> file, std::unique_ptr<SystemLogOutput> system);

void debug(std::string_view message);
void info(std::string_view message);
void warn(std::string_view message);
void error(std::string_view message);

// Deletes the log file and waits until it is gone.
void clearFile();

bool verboseEnabled();
const std::string& filePath();

// Waits until every line submitted so far has been written.
void flush();

namespace testing {
// Reads the environment again and logs from now on to the file it names, or
// to the one given.
void reset();
void reset(const std::string& path);
}

}
