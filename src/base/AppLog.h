#pragma once

#include <string>
#include <string_view>

// The program's one log: each line goes to /tmp/Tarnwick.log and to the system
// log. Calls return at once; the file is written on the log's own queue.
namespace AppLog {

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
// Reads the environment again and logs to another file from now on.
void reset(const std::string& path);
}

}
