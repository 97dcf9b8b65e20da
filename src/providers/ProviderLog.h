#pragma once

#include <string>

// The lines a provider has for the program's log. The program hands over its
// log when it resolves the provider's functions; until then, and in a
// process that never does, the lines go nowhere.
namespace ProviderLog {

enum class Level { info = 0, warning = 1, error = 2 };
using Handler = void (*)(int level, const char* message);

void setHandler(Handler handler);
void write(Level level, const std::string& message);

}
