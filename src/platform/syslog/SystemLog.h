#pragma once

#include <string>
#include <string_view>
#include <vector>

// The desktop's system log: the journal, or syslog(3) where no journal
// listens.
namespace SystemLog {

enum class Type { debug, info, error };

// Sends the message text alone; the system adds the time. In the journal the
// entry carries the program's identifier, the priority, and the log's
// subsystem and category as fields of their own, so that
// journalctl -t tarnwick SUBSYSTEM=com.tarnwick.macos CATEGORY=runtime
// finds it.
void send(Type type, std::string_view message);

// The journal fields of one entry, each "NAME=value".
std::vector<std::string> journalFields(Type type, std::string_view message);

}
