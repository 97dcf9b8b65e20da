#include "platform/runloop/RunLoop.h"

#include "platform/runloop/ManualRunLoop.h"

namespace {
RunLoop* installed = nullptr;
}

RunLoop& RunLoop::main()
{
    if (!installed) {
        // Headless code paths (a command-line tool, a benchmark) still get a
        // working loop rather than a crash.
        static ManualRunLoop fallback;
        installed = &fallback;
    }
    return *installed;
}

void RunLoop::setMain(RunLoop* loop)
{
    installed = loop;
}
