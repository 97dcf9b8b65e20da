#pragma once

// The watcher threads of the input method sources run Qt event loops, which
// need an application object. Runs with a display make one before any input
// source is asked for; a one-shot command such as --detect has none, so one
// is made here, on the calling (main) thread, and kept until exit.
void ensureQtApplication();
