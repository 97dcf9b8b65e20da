#include "app/GracefulTermination.h"

#include "base/AppLog.h"

#include <csignal>
#include <string>

std::vector<std::shared_ptr<SignalSource>> installGracefulTerminationHandlers(std::function<void()> terminate)
{
    std::vector<std::shared_ptr<SignalSource>> sources;
    for (int signo : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        sources.push_back(SignalSource::make(signo, [signo, terminate] {
            AppLog::info("Received signal " + std::to_string(signo) + "; requesting graceful termination");
            terminate();
        }));
    }
    return sources;
}
