#pragma once

#include "platform/input/InputSource.h"
#include "platform/runloop/RunLoop.h"

#include <functional>
#include <memory>
#include <optional>

// The desktop's keyboard input sources: which one is selected, and word when
// the selection changes. Used on the main thread.
class InputSourceService {
public:
    virtual ~InputSourceService() = default;

    // The selected keyboard input source, asked afresh; nothing when there is
    // none (no display, no source file).
    virtual std::optional<InputSource> currentKeyboardInputSource() = 0;

    // Calls back on the main run loop whenever the selected source may have
    // changed, until the handle is cancelled. Nothing is polled: the callback
    // follows the desktop's own change events.
    virtual std::shared_ptr<RunLoop::Handle> observeSelectedSourceChanged(std::function<void()> callback) = 0;

    // The service the environment asks for:
    // TARNWICK_INPUT_SOURCE=auto (the default: the GNOME input source in a
    // GNOME session, else IBus when its daemon answers on the session bus,
    // else Fcitx 5 when it does, else the layout of the running KDE Plasma
    // (KWin), sway or Hyprland, else XKB), gnome, ibus, fcitx5, kde, sway,
    // hyprland, xkb or file:PATH. IBus and Fcitx 5 fall back on the
    // desktop's layout while no input method is selected.
    static std::unique_ptr<InputSourceService> fromEnvironment();
};
