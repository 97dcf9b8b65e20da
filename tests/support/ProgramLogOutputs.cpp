#include "base/AppLog.h"
#include "platform/files/LogFile.h"
#include "platform/syslog/SystemLog.h"

// Compiled into every test program, so that each logs where the program does
// without every test wiring the log itself.
namespace {

const bool connected = [] {
    AppLog::connect(std::make_unique<LogFile>(), std::make_unique<SystemLog>());
    return true;
}();

}
