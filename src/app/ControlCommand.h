#pragma once

#include "app/CommandLine.h"

// The verbs that control the running Tarnwick over the session bus:
// --status, --style, --left-handed, --reapply, --restore, --check-for-updates
// and --quit. Each answers on standard output and error and gives the exit
// status: 1 when no Tarnwick runs, except for --restore, which then puts back
// what a run that was killed left changed.
namespace ControlCommand {

int run(const CommandLine& command);

}
