#include "platform/input/GnomeInputSourceService.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

// GSettings in memory, for this process only: the backend is chosen once,
// at the first use.
GSettings* inputSources()
{
    setenv("GSETTINGS_BACKEND", "memory", 1);
    static GSettings* settings = g_settings_new("org.gnome.desktop.input-sources");
    return settings;
}

void setSources(const char* key, const char* text)
{
    GVariant* value = g_variant_parse(G_VARIANT_TYPE("a(ss)"), text, nullptr, nullptr, nullptr);
    ASSERT_TRUE(value) << text;
    // A parsed value is not floating: the settings take a reference of their own.
    g_settings_set_value(inputSources(), key, value);
    g_variant_unref(value);
}

void deliverPendingSignals()
{
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

// IBus's selected engine, as the shell sets it.
class ShellEngines : public InputSourceService {
public:
    std::optional<InputSource> currentKeyboardInputSource() override { return engine; }
    std::shared_ptr<RunLoop::Handle> observeSelectedSourceChanged(std::function<void()> callback) override
    {
        return observers.add(std::move(callback));
    }
    void select(const std::string& name)
    {
        engine = InputSource{name, "ibus:" + name, std::nullopt};
        observers.notifyAll();
    }

    std::optional<InputSource> engine;
    SourceChangeObservers observers;
};

}

TEST(GnomeInputSourceServiceTest, TheMostRecentSourceIsCurrentAndEachSwitchIsAnnounced)
{
    inputSources();
    ASSERT_TRUE(GnomeInputSourceService::available());
    GnomeInputSourceService service;
    int changes = 0;
    auto observation = service.observeSelectedSourceChanged([&] { ++changes; });

    setSources("sources", "[('xkb', 'de'), ('xkb', 'us')]");
    setSources("mru-sources", "@a(ss) []");
    deliverPendingSignals();
    EXPECT_EQ(service.currentKeyboardInputSource()->identifier, "xkb:de") << "before any switch, the first source";

    int before = changes;
    setSources("mru-sources", "[('xkb', 'ru'), ('xkb', 'de')]");
    deliverPendingSignals();
    EXPECT_GT(changes, before);
    auto russian = service.currentKeyboardInputSource();
    EXPECT_EQ(russian->identifier, "xkb:ru");
    ASSERT_TRUE(russian->languages);
    EXPECT_EQ(russian->languages->front(), "ru");

    setSources("mru-sources", "[('ibus', 'Unikey'), ('xkb', 'ru')]");
    EXPECT_EQ(service.currentKeyboardInputSource()->identifier, "ibus:Unikey");

    observation->cancel();
    before = changes;
    setSources("mru-sources", "[('xkb', 'us')]");
    deliverPendingSignals();
    EXPECT_EQ(changes, before) << "a cancelled observer hears nothing";
}

TEST(GnomeInputSourceServiceTest, TheChoiceAutoMeansGnomeOnlyInAGnomeSession)
{
    inputSources();
    setenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME", 1);
    EXPECT_TRUE(GnomeInputSourceService::wanted(""));
    EXPECT_TRUE(GnomeInputSourceService::wanted("auto"));
    EXPECT_FALSE(GnomeInputSourceService::wanted("xkb"));
    setenv("XDG_CURRENT_DESKTOP", "KDE", 1);
    EXPECT_FALSE(GnomeInputSourceService::wanted("auto"));
    EXPECT_TRUE(GnomeInputSourceService::wanted("gnome"));
    unsetenv("XDG_CURRENT_DESKTOP");
}

TEST(GnomeInputSourceServiceTest, TheEngineTheShellSelectsInIbusNamesTheSourceBeforeMruSourcesDoes)
{
    inputSources();
    setSources("sources", "[('xkb', 'us'), ('xkb', 'ru'), ('ibus', 'Unikey')]");
    setSources("mru-sources", "[('xkb', 'ru'), ('ibus', 'Unikey'), ('xkb', 'us')]");
    auto engines = std::make_unique<ShellEngines>();
    ShellEngines& ibus = *engines;
    GnomeInputSourceService service(std::move(engines));
    int changes = 0;
    auto observation = service.observeSelectedSourceChanged([&] { ++changes; });
    EXPECT_EQ(service.currentKeyboardInputSource()->identifier, "xkb:ru") << "IBus not answering: mru-sources";

    ibus.select("Unikey");
    EXPECT_EQ(changes, 1);
    auto unikey = service.currentKeyboardInputSource();
    EXPECT_EQ(unikey->identifier, "ibus:Unikey") << "named as GNOME names it, before mru-sources moves";
    EXPECT_EQ(unikey->localizedName, "Unikey");

    setSources("mru-sources", "[('ibus', 'Unikey'), ('xkb', 'ru'), ('xkb', 'us')]");
    ibus.select("xkb:us::eng");
    EXPECT_EQ(service.currentKeyboardInputSource()->identifier, "xkb:ru")
        << "every layout is the same engine: the layout used last";

    ibus.select("mozc-jp");
    EXPECT_EQ(service.currentKeyboardInputSource()->identifier, "ibus:Unikey")
        << "an engine that is none of GNOME's sources: mru-sources";
}
