#include "platform/desktopsettings/DesktopCursorTheme.h"
#include "platform/desktopsettings/KConfigFile.h"
#include "platform/desktopsettings/KdeCursorThemeSetting.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

TEST(KConfigFileTest, OneEntryChangesEscapedAsKConfigWritesItAndEveryOtherLineStays)
{
    TempHome home;
    std::string path = home.configHome() + "/kcminputrc";
    const std::string before = "# mine\n[Mouse]\ncursorSize=32\n\n[Keyboard]\nRepeat=1\n";
    TempHome::writeFile(path, before + "  [Mouse]  \ncursorTheme = Old \n");
    KConfigFile file(path);
    EXPECT_EQ(file.read("Mouse", "cursorTheme"), "Old") << "the last group of the name, trimmed";
    ASSERT_TRUE(file.write("Mouse", "cursorTheme", " a\tb\\c\x01 "));
    EXPECT_EQ(TempHome::readFile(path), before + "  [Mouse]  \ncursorTheme=\\sa\\tb\\\\c\\x01\\s\n");
    EXPECT_EQ(file.read("Mouse", "cursorTheme"), " a\tb\\c\x01 ");

    ASSERT_TRUE(file.write("Keyboard", "Delay", "600"));
    ASSERT_TRUE(file.write("Mouse", "cursorTheme", std::nullopt));
    ASSERT_TRUE(file.write("Pointer", "cursorTheme", "x"));
    EXPECT_EQ(TempHome::readFile(path), before + "Delay=600\n  [Mouse]  \n\n[Pointer]\ncursorTheme=x\n");

    std::filesystem::rename(path, home.path() + "/dotfiles-kcminputrc");
    std::filesystem::create_symlink(home.path() + "/dotfiles-kcminputrc", path);
    ASSERT_TRUE(file.write("Pointer", "cursorTheme", "y"));
    EXPECT_TRUE(std::filesystem::is_symlink(path)) << "a file kept elsewhere stays there";
    EXPECT_EQ(KConfigFile(home.path() + "/dotfiles-kcminputrc").read("Pointer", "cursorTheme"), "y");
}

// A start on another desktop after a crash in KDE Plasma: kcminputrc is still
// there to mend, sway's setting went with that sway.
TEST(DesktopCursorThemeTest, AKdeThemeLeftByACrashIsMendedOnAnyDesktopUnlessTheUserChoseAnother)
{
    TempHome home;
    setenv("GSETTINGS_BACKEND", "memory", 1);
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    unsetenv("SWAYSOCK");
    unsetenv("HYPRLAND_INSTANCE_SIGNATURE");
    std::string path = home.configHome() + "/kcminputrc";
    KdeCursorThemeSetting kde;
    EXPECT_EQ(kde.theme(), "breeze_cursors") << "KDE's default while no file names one";
    ASSERT_TRUE(kde.setTheme("Tarnwick-en-letterBadge-left") && kde.setTheme("breeze_cursors"));
    EXPECT_EQ(KConfigFile(path).read("Mouse", "cursorTheme"), std::nullopt) << "stored as KDE stores its default";
    CursorThemeBackup backup(CursorThemeBackup::defaultPath());
    for (const char* left : {"Tarnwick-ru-letterBadge-left", "Oxygen"}) {
        TempHome::writeFile(path, std::string("[Mouse]\ncursorTheme=") + left + "\n");
        ASSERT_TRUE(
            backup.write({{"kde-cursor-theme", "Breeze_Snow"}, {"sway-cursor-theme@/run/gone.sock", "Adwaita"}}));
        EXPECT_TRUE(DesktopCursorTheme::forDesktop()->recover());
        EXPECT_EQ(KConfigFile(path).read("Mouse", "cursorTheme"),
                  left == std::string("Oxygen") ? "Oxygen" : "Breeze_Snow");
        EXPECT_FALSE(backup.exists());
    }
    unsetenv("XDG_CURRENT_DESKTOP");
}
