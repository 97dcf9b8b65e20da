#pragma once

#include "platform/input/InputMethodWatcher.h"
#include "platform/input/InputSourceService.h"
#include "platform/input/SourceChangeObservers.h"

#include <memory>

class QThread;

// The input method an input method framework (IBus, Fcitx 5) has selected,
// or the layout a desktop's daemon reports (KWin), over a fallback: while
// the daemon answers with a selected source, that is the source; otherwise
// the fallback (the desktop's layout, the XKB keymap) is, or none without one. The daemon going
// away or coming back is logged once each way, never an error.
//
// The watcher talks to the daemon on a thread of its own, so the main thread
// only reads what it last reported and never waits on the daemon. For a
// framework that announces no changes, each query also hands the watcher a
// poll, one at a time.
class InputMethodInputSourceService : public InputSourceService {
public:
    // Waits up to firstReportTimeout seconds for the watcher's first report,
    // so that the first query already has the daemon's answer. The log
    // names the fallback as fallbackName.
    InputMethodInputSourceService(std::unique_ptr<InputMethodWatcher> watcher,
                                  std::unique_ptr<InputSourceService> fallback, double firstReportTimeout = 1.0,
                                  std::string fallbackName = "the XKB keymap");
    ~InputMethodInputSourceService() override;
    InputMethodInputSourceService(const InputMethodInputSourceService&) = delete;
    InputMethodInputSourceService& operator=(const InputMethodInputSourceService&) = delete;

    std::optional<InputSource> currentKeyboardInputSource() override;
    std::shared_ptr<RunLoop::Handle> observeSelectedSourceChanged(std::function<void()> callback) override;

private:
    struct Shared;

    void askAgain();

    std::shared_ptr<Shared> shared_;
    std::unique_ptr<InputSourceService> fallback_;
    std::unique_ptr<QThread> thread_;
    InputMethodWatcher* watcher_;
    std::shared_ptr<RunLoop::Handle> fallbackObservation_;
};
