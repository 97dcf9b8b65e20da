#pragma once

#include <string_view>

// The desktop's system log (the journal on Linux).
namespace SystemLog {

enum class Type { debug, info, error };

// Sends the message text alone; the system adds time, program and level.
void send(Type type, std::string_view message);

}
