#include "platform/syslog/SystemLog.h"

#include <mutex>
#include <sys/stat.h>
#include <sys/uio.h>
#include <syslog.h>
#include <unistd.h>
// The entry's code location would always name this file.
#define SD_JOURNAL_SUPPRESS_LOCATION
#include <systemd/sd-journal.h>

namespace {

using Type = SystemLogOutput::Type;

int priorityOf(Type type)
{
    return type == Type::debug ? LOG_DEBUG : type == Type::info ? LOG_INFO : LOG_ERR;
}

bool sentToJournal(Type type, std::string_view message)
{
    // Without a journal the library drops the entry and still reports
    // success, so its socket is looked for first.
    struct stat socket {};
    if (stat("/run/systemd/journal/socket", &socket) != 0 || !S_ISSOCK(socket.st_mode))
        return false;
    std::vector<std::string> fields = SystemLog::journalFields(type, message);
    std::vector<iovec> parts;
    for (std::string& field : fields)
        parts.push_back({field.data(), field.size()});
    return sd_journal_sendv(parts.data(), static_cast<int>(parts.size())) >= 0;
}

void sendToSyslog(Type type, std::string_view message)
{
    // Without the socket the C library drops the message anyway, after
    // making a socket and failing to connect it, line after line.
    if (access(_PATH_LOG, F_OK) != 0)
        return;
    static std::once_flag opened;
    std::call_once(opened, [] { openlog("tarnwick", LOG_PID | LOG_NDELAY, LOG_USER); });
    int priority = priorityOf(type);
    if (!(setlogmask(0) & LOG_MASK(priority)))
        return;
    std::string text(message);
    syslog(priority, "%s", text.c_str());
}

}

std::vector<std::string> SystemLog::journalFields(Type type, std::string_view message)
{
    return {"MESSAGE=" + std::string(message), "PRIORITY=" + std::to_string(priorityOf(type)),
            "SYSLOG_IDENTIFIER=tarnwick", "SUBSYSTEM=com.tarnwick.macos", "CATEGORY=runtime"};
}

void SystemLog::send(Type type, std::string_view message)
{
    if (!sentToJournal(type, message))
        sendToSyslog(type, message);
}
