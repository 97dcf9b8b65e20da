#include "platform/syslog/SystemLog.h"

#include <mutex>
#include <string>
#include <syslog.h>

void SystemLog::send(Type type, std::string_view message)
{
    static std::once_flag opened;
    std::call_once(opened, [] { openlog("tarnwick", LOG_PID | LOG_NDELAY, LOG_USER); });
    int priority = type == Type::debug ? LOG_DEBUG : type == Type::info ? LOG_INFO : LOG_ERR;
    if (!(setlogmask(0) & LOG_MASK(priority)))
        return;
    std::string text(message);
    syslog(priority, "%s", text.c_str());
}
