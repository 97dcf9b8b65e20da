#include "providers/ProviderLog.h"

#include <atomic>

namespace {

std::atomic<ProviderLog::Handler> handler{nullptr};

}

void ProviderLog::setHandler(Handler newHandler)
{
    handler = newHandler;
}

void ProviderLog::write(Level level, const std::string& message)
{
    if (Handler current = handler)
        current(static_cast<int>(level), message.c_str());
}
