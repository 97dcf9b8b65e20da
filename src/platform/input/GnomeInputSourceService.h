#pragma once

#include "platform/input/InputSourceService.h"
#include "platform/input/SourceChangeObservers.h"
#include "platform/input/XkbLayoutRegistry.h"

#include <string>
#include <utility>
#include <vector>

typedef struct _GSettings GSettings;

// GNOME Shell's input sources: the selected one is the first entry of
// org.gnome.desktop.input-sources mru-sources (the shell moves the source it
// switches to to the front), else the first of sources. ('xkb', 'ru') is the
// XKB layout ru, ('ibus', 'Unikey') that IBus engine. Changes arrive through
// GSettings' change signal on the GLib main context, which the Qt event loop
// runs.
//
// Where the shell drives IBus, it selects an engine for every switch, before
// it writes mru-sources and also for the switches it writes nothing for (a
// window's own source): the source's engine for an IBus source, and
// "xkb:us::eng" for any keyboard layout, which then is the layout used last.
class GnomeInputSourceService : public InputSourceService {
public:
    // shellEngines: the engine IBus has selected, as "ibus:<engine>"; none
    // while IBus does not answer.
    explicit GnomeInputSourceService(std::unique_ptr<InputSourceService> shellEngines = nullptr);
    ~GnomeInputSourceService() override;
    GnomeInputSourceService(const GnomeInputSourceService&) = delete;
    GnomeInputSourceService& operator=(const GnomeInputSourceService&) = delete;

    std::optional<InputSource> currentKeyboardInputSource() override;
    std::shared_ptr<RunLoop::Handle> observeSelectedSourceChanged(std::function<void()> callback) override;

    // Whether the input-sources schema is installed.
    static bool available();
    // Whether a TARNWICK_INPUT_SOURCE choice asks for this service: "gnome",
    // or "auto" (and no choice) in a GNOME session (XDG_CURRENT_DESKTOP names
    // GNOME); only where the schema is installed.
    static bool wanted(const std::string& choice);
    // The source one (type, id) pair stands for.
    InputSource source(const std::string& type, const std::string& id);

private:
    using Entry = std::pair<std::string, std::string>;

    std::vector<Entry> entries(const char* key);
    std::optional<Entry> firstEntry(const char* key);
    std::optional<Entry> entryOfEngine();
    static void changed(GSettings* settings, const char* key, void* self);

    GSettings* settings_;
    std::unique_ptr<InputSourceService> shellEngines_;
    unsigned long handler_ = 0;
    std::shared_ptr<RunLoop::Handle> engineObservation_;
    SourceChangeObservers observers_;
    XkbLayoutRegistry registry_;
};
