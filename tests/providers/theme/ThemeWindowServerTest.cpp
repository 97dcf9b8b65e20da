#include <gtest/gtest.h>

#include "providers/ProviderLog.h"
#include "providers/theme/ThemeFolder.h"
#include "providers/theme/ThemeWindowServer.h"
#include "support/TempHome.h"
#include "platform/encoding/Base64.h"
#include "platform/graphics/PngCodec.h"

#include <nlohmann/json.hpp>

#include <X11/Xcursor/Xcursor.h>

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

struct DesktopState {
    std::optional<std::string> theme = "DMZ-White";
    int writes = 0;
    // Times a resting pointer was made to show a new theme.
    int refreshes = 0;
};

class MemorySetting : public CursorThemeSetting {
public:
    explicit MemorySetting(DesktopState& state) : state_(state) {}
    std::string backupKey() const override { return "cursor-theme"; }
    std::optional<std::string> theme() override { return state_.theme; }
    bool setTheme(const std::string& name) override
    {
        ++state_.writes;
        state_.theme = name;
        return true;
    }
    void resetTheme() override { state_.theme = "Adwaita"; }
    int size() override { return 24; }
    RestingPointer restingPointer() override
    {
        ++state_.refreshes;
        return RestingPointer::followsAWindowShownOverIt;
    }

private:
    DesktopState& state_;
};

constexpr std::uint32_t red = 0xffff0000;
constexpr std::uint32_t blue = 0xff0000ff;

CursorRecord solid(std::uint32_t colour)
{
    std::vector<std::uint32_t> pixels(32 * 32, colour);
    CFRef<CGImageRef> image = CFRef<CGImageRef>::adopt(
        CGImageCreate(32, 32, 8, 32, 32 * 4, kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                      pixels.data(), pixels.size() * 4));
    CFTypeRef value = image.get();
    return CursorRecord{{32, 32}, {1, 1}, 1, 0, CFRef<CFArrayRef>::adopt(CFArrayCreate(&value, 1))};
}

struct Session {
    TempHome home;
    DesktopState desktop;
    std::string icons = home.applicationSupport() + "/icons";
    CursorThemeBackup backup{home.applicationSupport() + "/Tarnwick/cursor_theme_backup.plist"};

    std::unique_ptr<ThemeWindowServer> start()
    {
        std::vector<std::unique_ptr<CursorThemeSetting>> settings;
        settings.push_back(std::make_unique<MemorySetting>(desktop));
        return std::make_unique<ThemeWindowServer>(std::make_unique<DesktopCursorTheme>(std::move(settings), backup),
                                                   icons);
    }
};

void registerSet(ThemeWindowServer& server, std::uint32_t colour)
{
    CGSCursorSeed seed = 0;
    for (const char* name : {"com.apple.coregraphics.Arrow", "com.apple.coregraphics.IBeam"})
        ASSERT_EQ(server.registerCursor(1, name, solid(colour), &seed), ThemeWindowServer::success);
    ASSERT_EQ(server.setRegistered(1, "com.apple.coregraphics.Arrow", &seed), ThemeWindowServer::success);
    server.finishQueuedWork();
}

std::vector<std::string> logged;

void recordLine(int level, const char* message)
{
    logged.push_back(std::to_string(level) + " " + message);
}

std::uint32_t firstPixel(const std::string& file)
{
    XcursorImages* images = XcursorFilenameLoadImages(file.c_str(), 24);
    std::uint32_t pixel = images && images->nimage ? images->images[0]->pixels[0] : 0;
    XcursorImagesDestroy(images);
    return pixel;
}

// A scalable cursor's metadata, and the first pixel and width of the bitmap
// its first frame's SVG carries.
struct ScalableCursorFile {
    nlohmann::json metadata;
    std::uint32_t firstPixel = 0;
    std::size_t bitmapWidth = 0;
    std::string svg;
};

ScalableCursorFile scalable(const std::string& folder)
{
    ScalableCursorFile found;
    found.metadata = nlohmann::json::parse(TempHome::readFile(folder + "/metadata.json"), nullptr, false);
    if (!found.metadata.is_array() || found.metadata.empty())
        return found;
    found.svg = TempHome::readFile(folder + "/" + found.metadata[0].value("filename", ""));
    std::size_t start = found.svg.find("base64,") + 7;
    auto png = Base64::decode(found.svg.substr(start, found.svg.find('"', start) - start));
    auto image = png ? PngCodec::decode(*png, 1 << 20) : CFRef<CGImageRef>();
    if (image) {
        found.firstPixel = *reinterpret_cast<const std::uint32_t*>(CGImageGetBytePointer(image.get()));
        found.bitmapWidth = CGImageGetWidth(image.get());
    }
    return found;
}

ino_t inode(const std::string& path)
{
    struct stat status{};
    return stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

}

TEST(ThemeWindowServerTest, ActivationWritesTheSetOnceAndPointsTheDesktopAtItUntilTheRestore)
{
    Session session;
    std::string usersHand = session.icons + "/DMZ-White/cursors_scalable/pointer";
    TempHome::writeFile(usersHand + "/metadata.json", "[]");
    TempHome::writeFile(session.icons + "/DMZ-White/cursors_scalable/text/metadata.json", "[]");
    auto server = session.start();
    server->select("en", "letterbadge", false);
    registerSet(*server, red);
    std::string folder = session.icons + "/Tarnwick-en-letterbadge-right";
    EXPECT_EQ(session.desktop.theme, "Tarnwick-en-letterbadge-right");
    EXPECT_EQ(session.backup.read(), CursorThemeBackup::Themes({{"cursor-theme", "DMZ-White"}}))
        << "the user's theme is saved before the change";
    EXPECT_NE(TempHome::readFile(folder + "/index.theme").find("\nInherits=DMZ-White\n"), std::string::npos);
    EXPECT_EQ(firstPixel(folder + "/cursors/left_ptr"), red);
    EXPECT_EQ(firstPixel(folder + "/cursors/text"), red) << "aliases resolve";
    EXPECT_TRUE(fs::is_symlink(folder + "/cursors/default"));
    EXPECT_FALSE(fs::exists(folder + "/cursors/hand2")) << "what was not registered is inherited";
    // The same cursors in the scalable layout: drawn at 24, the bitmap of 48
    // inside, the hot spot in the units of the nominal size.
    ScalableCursorFile arrow = scalable(folder + "/cursors_scalable/left_ptr");
    EXPECT_EQ(arrow.metadata, nlohmann::json::parse(
                                  R"([{"filename":"left_ptr.svg","hotspot_x":1,"hotspot_y":1,"nominal_size":24}])"));
    EXPECT_EQ(arrow.firstPixel, red);
    EXPECT_EQ(arrow.bitmapWidth, 64u);
    EXPECT_NE(arrow.svg.find(R"(width="32" height="32" viewBox="0 0 64 64")"), std::string::npos) << arrow.svg;
    EXPECT_EQ(scalable(folder + "/cursors_scalable/text").firstPixel, red);
    EXPECT_TRUE(fs::is_symlink(folder + "/cursors_scalable/default"));
    EXPECT_EQ(scalable(folder + "/cursors_scalable/default").firstPixel, red) << "aliases resolve";
    EXPECT_EQ(fs::read_symlink(folder + "/cursors_scalable/pointer"), usersHand)
        << "the user's own scalable cursors stand in for the rest, as GNOME 51 reads no Inherits=";
    EXPECT_EQ(fs::read_symlink(folder + "/cursors_scalable/text"), "xterm") << "never in place of the set's own";
    std::string link = session.home.path() + "/.icons/Tarnwick-en-letterbadge-right";
    EXPECT_EQ(fs::read_symlink(link), folder) << "where older libXcursor and Hyprland look";

    EXPECT_EQ(session.desktop.refreshes, 1) << "a resting pointer is made to show the new theme";

    // The same set again, in this run or the next, is not written again.
    ino_t written = inode(folder);
    registerSet(*server, red);
    EXPECT_EQ(session.desktop.refreshes, 1) << "nor a theme shown already";
    server = session.start();
    server->select("en", "letterbadge", false);
    registerSet(*server, red);
    EXPECT_EQ(inode(folder), written);
    registerSet(*server, blue);
    EXPECT_EQ(firstPixel(folder + "/cursors/left_ptr"), blue) << "a changed set is rewritten";
    EXPECT_EQ(scalable(folder + "/cursors_scalable/left_ptr").firstPixel, blue);

    int writes = session.desktop.writes;
    EXPECT_EQ(server->unregisterAll(1), ThemeWindowServer::success);
    EXPECT_EQ(session.desktop.theme, "DMZ-White") << "kept across the second start's recovery";
    EXPECT_EQ(session.desktop.writes, writes + 1);
    EXPECT_FALSE(session.backup.exists());
    EXPECT_FALSE(fs::is_symlink(link)) << "the link goes with the restore";

    server->select("en", "letterbadge", false);
    EXPECT_EQ(session.desktop.theme, "Tarnwick-en-letterbadge-right") << "a set on disk is shown before it is drawn";
    EXPECT_EQ(fs::read_symlink(link), folder) << "and is reachable again";
}

TEST(ThemeWindowServerTest, AStartAfterACrashPutsTheUsersThemeBackAndADamagedBackupNeverStopsIt)
{
    Session session;
    std::string leftover = session.icons + "/.Tarnwick-en-letterbadge-right.new-999999999";
    fs::create_directories(leftover + "/cursors");
    session.desktop.theme = "Tarnwick-ru-letterbadge-right";
    ASSERT_TRUE(session.backup.write({{"cursor-theme", "Breeze"}}));
    EXPECT_EQ(fs::status(session.backup.path()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    auto server = session.start();
    EXPECT_EQ(session.desktop.theme, "Breeze");
    EXPECT_EQ(server->userTheme(), "Breeze");
    EXPECT_FALSE(session.backup.exists());
    EXPECT_FALSE(fs::exists(leftover)) << "half a folder a killed run was writing";

    session.desktop.theme = "Tarnwick-ru-letterbadge-right";
    TempHome::writeFile(session.backup.path(), "bplist00 damaged");
    EXPECT_FALSE(session.backup.read());
    server = session.start();
    EXPECT_EQ(session.desktop.theme, "Adwaita") << "the desktop's default rather than a theme of ours";
    EXPECT_FALSE(session.backup.exists());
}

TEST(ThemeWindowServerTest, FoldersOfAnotherStyleOrHandGoWhileOtherThemesStay)
{
    Session session;
    auto server = session.start();
    server->select("en", "letterbadge", false);
    registerSet(*server, red);
    auto own = [&](const std::string& name) {
        fs::create_directories(session.icons + "/" + name);
        TempHome::writeFile(session.icons + "/" + name + "/" + ThemeFolder::stampFile, "0\n");
    };
    own("Tarnwick-de-letterbadge-left");
    own("Tarnwick-de-flag-right");
    own("Tarnwick-de-letterbadge-right");
    fs::create_directories(session.icons + "/Tarnwick-handmade-right");
    fs::create_directories(session.icons + "/Adwaita");

    fs::create_directories(session.home.path() + "/.icons");
    fs::create_directory_symlink(session.icons + "/Tarnwick-de-flag-right",
                                 session.home.path() + "/.icons/Tarnwick-de-flag-right");
    server->select("de", "letterbadge", false);
    EXPECT_FALSE(fs::is_symlink(session.home.path() + "/.icons/Tarnwick-de-flag-right"));
    EXPECT_FALSE(fs::exists(session.icons + "/Tarnwick-de-letterbadge-left"));
    EXPECT_FALSE(fs::exists(session.icons + "/Tarnwick-de-flag-right"));
    for (const char* kept : {"Tarnwick-de-letterbadge-right", "Tarnwick-en-letterbadge-right",
                             "Tarnwick-handmade-right", "Adwaita"})
        EXPECT_TRUE(fs::exists(session.icons + "/" + kept)) << kept;

    EXPECT_EQ(session.desktop.theme, "Tarnwick-de-letterbadge-right") << "on disk, so shown at once";

    server->select("de", "flag", true);
    EXPECT_TRUE(fs::exists(session.icons + "/Tarnwick-de-letterbadge-right")) << "the set the desktop shows stays";
    EXPECT_FALSE(fs::exists(session.icons + "/Tarnwick-en-letterbadge-right"));
}

TEST(ThemeWindowServerTest, AFolderThatCannotBeWrittenIsLoggedOnceAndTheDesktopKeepsItsTheme)
{
    Session session;
    // A file where a folder should be stops every user, root included.
    TempHome::writeFile(session.home.path() + "/blocked", "");
    session.icons = session.home.path() + "/blocked/icons";
    logged.clear();
    ProviderLog::setHandler(&recordLine);
    auto server = session.start();
    server->select("ru", "letterbadge", false);
    registerSet(*server, red);
    ProviderLog::setHandler(nullptr);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_TRUE(logged[0].starts_with("2 Cursor theme Tarnwick-ru-letterbadge-right could not be written to " +
                                      session.icons + "/Tarnwick-ru-letterbadge-right: Not a directory"))
        << logged[0];
    EXPECT_EQ(session.desktop.theme, "DMZ-White");
    EXPECT_FALSE(session.backup.exists());
}
