// GoogleTest before the X headers, which define None, Bool and Status.
#include "ProgramOnXServer.h"

#include "support/dbus/TestStatusNotifierWatcher.h"

#include <X11/Xcursor/Xcursor.h>
#include <glib.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <csignal>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int badgePixels = 20;
constexpr const char* interfaceGroup = "org/gnome/desktop/interface";
constexpr const char* sourcesGroup = "org/gnome/desktop/input-sources";

// A GNOME Wayland session without its compositor: GSettings on the keyfile
// backend in a temporary home, a private X server standing in for XWayland,
// and a WAYLAND_DISPLAY that nothing answers.
class GnomeWaylandProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.running());
        ASSERT_TRUE(bus.running());
        setenv("GSETTINGS_BACKEND", "keyfile", 1);
        setKey(interfaceGroup, "cursor-theme", "'" + userTheme + "'");
        setKey(sourcesGroup, "mru-sources", "[('xkb', 'us'), ('xkb', 'ru')]");
    }

    std::map<std::string, std::string> environment() const
    {
        return {{"DISPLAY", server.display()},
                {"WAYLAND_DISPLAY", "wayland-tarnwick-nobody"},
                {"XDG_SESSION_TYPE", "wayland"},
                {"XDG_CURRENT_DESKTOP", "GNOME"},
                {"GSETTINGS_BACKEND", "keyfile"},
                {"DBUS_SESSION_BUS_ADDRESS", bus.address()},
                {"QT_QPA_PLATFORM", ""},
                {"TARNWICK_WINDOW_SERVER", ""},
                {"TARNWICK_INPUT_SOURCE", ""},
                {"TARNWICK_LOG_FILE", tarnwick.logPath()}};
    }

    std::unique_ptr<ChildProcess> launch() { return tarnwick.launch(environment()); }

    // Waits for it to end.
    std::unique_ptr<ChildProcess> command(const std::string& option) const
    {
        auto process = std::make_unique<ChildProcess>(std::vector{ChildProcess::programPath(), option}, environment());
        process->wait(30);
        return process;
    }

    std::string keyfile() const { return home.configHome() + "/glib-2.0/settings/keyfile"; }

    std::string key(const char* group, const char* name) const
    {
        GKeyFile* file = g_key_file_new();
        g_key_file_load_from_file(file, keyfile().c_str(), G_KEY_FILE_NONE, nullptr);
        gchar* value = g_key_file_get_value(file, group, name, nullptr);
        std::string text = value ? value : "";
        g_free(value);
        g_key_file_free(file);
        return text;
    }

    // As gsettings writes it: the whole file replaced at once.
    void setKey(const char* group, const char* name, const std::string& value) const
    {
        GKeyFile* file = g_key_file_new();
        g_key_file_load_from_file(file, keyfile().c_str(), G_KEY_FILE_KEEP_COMMENTS, nullptr);
        g_key_file_set_value(file, group, name, value.c_str());
        std::filesystem::create_directories(std::filesystem::path(keyfile()).parent_path());
        EXPECT_TRUE(g_key_file_save_to_file(file, keyfile().c_str(), nullptr));
        g_key_file_free(file);
    }

    std::string cursorTheme() const
    {
        std::string value = key(interfaceGroup, "cursor-theme");
        return value.size() >= 2 ? value.substr(1, value.size() - 2) : value;
    }

    // Seconds until the setting names a theme starting with prefix.
    std::optional<double> waitForTheme(const std::string& prefix, double seconds) const
    {
        auto start = Clock::now();
        if (!waitUntil(seconds, [&] { return cursorTheme().starts_with(prefix); }))
            return std::nullopt;
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    std::string backup() const { return home.applicationSupport() + "/Tarnwick/cursor_theme_backup.plist"; }
    std::string pointerSettings() const { return home.path() + "/Library/Preferences/com.apple.universalaccess.plist"; }
    std::string pointerBackup() const
    {
        return home.applicationSupport() + "/Tarnwick/cursor_accessibility_backup.plist";
    }

    TempHome home;
    XvfbServer server;
    PrivateSessionBus bus;
    TarnwickProgram tarnwick;
    std::string userTheme = selectCursorTheme();
};

// As any X client loads it: libXcursor by theme name and size.
ScreenCursor loadFromTheme(const char* xName, const std::string& theme)
{
    ScreenCursor cursor;
    XcursorImage* image = XcursorLibraryLoadImage(xName, theme.c_str(), 24);
    if (!image)
        return cursor;
    cursor.width = static_cast<int>(image->width);
    cursor.height = static_cast<int>(image->height);
    cursor.pixels.assign(image->pixels, image->pixels + image->width * image->height);
    XcursorImageDestroy(image);
    return cursor;
}

void expectBadges(const std::string& theme, const std::string& language)
{
    for (const char* xName : {"left_ptr", "xterm", "hand2"})
        EXPECT_GE(opaquePixelsNear(loadFromTheme(xName, theme), letterBadgeFill(language)), badgePixels)
            << xName << " of " << theme;
}

}

TEST_F(GnomeWaylandProgramTest, TheDesktopsThemeFollowsTheInputSourceAndIsTheUsersAgainAfterTheProgram)
{
    auto program = launch();
    ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch."))
        << tarnwick.log() << program->standardError();
    auto started = waitForTheme("Tarnwick-en-", 10);
    ASSERT_TRUE(started) << cursorTheme() << "\n" << tarnwick.log();
    std::string english = cursorTheme();
    expectBadges(english, "en");

    setKey(sourcesGroup, "mru-sources", "[('xkb', 'ru'), ('xkb', 'us')]");
    // How fast is the benchmarks' business; a switch here only has to arrive.
    auto cold = waitForTheme("Tarnwick-ru-", 10);
    ASSERT_TRUE(cold) << cursorTheme() << "\n" << tarnwick.log();
    expectBadges(cursorTheme(), "ru");
    std::filesystem::path englishFolder = home.applicationSupport() + "/icons/" + english;
    auto englishWritten = std::filesystem::last_write_time(englishFolder / "tarnwick-theme.stamp");

    setKey(sourcesGroup, "mru-sources", "[('xkb', 'us'), ('xkb', 'ru')]");
    auto warm = waitForTheme("Tarnwick-en-", 10);
    ASSERT_TRUE(warm) << tarnwick.log();
    EXPECT_EQ(std::filesystem::last_write_time(englishFolder / "tarnwick-theme.stamp"), englishWritten)
        << "a set already on disk is not written again";
    std::cout << "[ FIGURES  ] input source to theme setting: cold " << *cold * 1000 << " ms, warm " << *warm * 1000
              << " ms\n";
    RecordProperty("cold_ms", static_cast<int>(*cold * 1000));
    RecordProperty("warm_ms", static_cast<int>(*warm * 1000));

    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10), 0) << program->standardError();
    EXPECT_EQ(cursorTheme(), userTheme);
    EXPECT_FALSE(TempHome::exists(backup()));
}

TEST_F(GnomeWaylandProgramTest, AStartAfterAKillPutsTheUsersThemeBackAndADamagedBackupNeverStopsTheProgram)
{
    auto program = launch();
    ASSERT_TRUE(waitForTheme("Tarnwick-en-", 30)) << tarnwick.log() << program->standardError();
    program->signal(SIGKILL);
    program->wait(10);
    EXPECT_TRUE(cursorTheme().starts_with("Tarnwick-en-"));
    EXPECT_TRUE(TempHome::exists(backup()));

    program = launch();
    ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch.")) << tarnwick.log();
    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10), 0) << program->standardError();
    EXPECT_EQ(cursorTheme(), userTheme);

    TempHome::writeFile(backup(), "bplist00\xff damaged");
    setKey(interfaceGroup, "cursor-theme", "'Tarnwick-ru-letterbadge-right'");
    program = launch();
    ASSERT_TRUE(waitForTheme("Tarnwick-en-", 30)) << tarnwick.log() << program->standardError();
    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10), 0) << program->standardError();
    EXPECT_FALSE(cursorTheme().starts_with("Tarnwick-")) << "the desktop's default, the user's name being lost";
}

TEST_F(GnomeWaylandProgramTest, RestoreWithNothingRunningPutsBackWhatAKilledRunChangedAndTheNoticeIsStillOwed)
{
    TempHome::writeFile(pointerSettings(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n"
                                           "<dict>\n\t<key>cursorIsCustomized</key>\n\t<true/>\n</dict>\n</plist>\n");
    auto program = launch();
    ASSERT_TRUE(waitForTheme("Tarnwick-en-", 30)) << tarnwick.log() << program->standardError();
    ASSERT_TRUE(tarnwick.waitForLog("Accessibility cursor override active=true"));
    program->signal(SIGKILL);
    program->wait(10);
    ASSERT_TRUE(TempHome::exists(pointerBackup()));

    auto restore = command("--restore");
    EXPECT_EQ(restore->wait(0), 0) << restore->standardError() << tarnwick.log();
    EXPECT_EQ(cursorTheme(), userTheme);
    EXPECT_TRUE(inOrder(TempHome::readFile(pointerSettings()), {"cursorIsCustomized", "<true/>"}));
    EXPECT_FALSE(TempHome::exists(backup()));
    EXPECT_FALSE(TempHome::exists(pointerBackup()));
    restore = command("--restore");
    EXPECT_EQ(restore->wait(0), 0) << "nothing left to do: " << restore->standardError();

    // The killed run found no notification server: the next start shows its
    // notice.
    TestStatusNotifierWatcher notifications(bus.address(), TestStatusNotifierWatcher::Role::notificationsOnly);
    program = launch();
    EXPECT_TRUE(notifications.waitForNotifications(1, 30)) << tarnwick.log();
    EXPECT_EQ(command("--quit")->wait(0), 0);
    EXPECT_EQ(program->wait(10), 0);
}
