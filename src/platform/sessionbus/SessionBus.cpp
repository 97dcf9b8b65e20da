#include "platform/sessionbus/SessionBus.h"

#include <cstdlib>
#include <filesystem>
#include <string>

bool SessionBus::exists()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address)
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ignored;
    return runtime && *runtime && std::filesystem::exists(std::string(runtime) + "/bus", ignored);
}
