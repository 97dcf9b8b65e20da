#include "platform/prefs/PropertyList.h"
#include "platform/prefs/PropertyListPrinting.h"
#include "support/TarnwickProgram.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <memory>
#include <vector>

namespace {

using namespace std::string_literals;
using Values = std::map<std::string, PropertyList>;

// The user's settings as the system writes them: the pointer customised with
// a fill colour, beside an unrelated setting.
const std::string userDomainXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>closeViewZoomFactor</key>
	<real>1.5</real>
	<key>cursorIsCustomized</key>
	<true/>
	<key>mouseDriverCursorFillColor</key>
	<data>BAtzdHJlYW10eXBlZIHoA4QBQISEhAdOU0NvbG9yAISECE5TT2JqZWN0AIWEAWMBhARmZmZmAQAAhg==</data>
</dict>
</plist>
)";

// The real program without a display, in a private home.
class AccessibilityCrashSafetyTest : public ::testing::Test {
protected:
    std::unique_ptr<ChildProcess> launch()
    {
        return tarnwick.launch({{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"HOME", home.path()}});
    }
    std::size_t at(const std::string& piece) const { return tarnwick.log().find(piece); }

    std::string domainPath() const { return home.path() + "/Library/Preferences/com.apple.universalaccess.plist"; }
    std::string backupPath() const { return home.applicationSupport() + "/Tarnwick/cursor_accessibility_backup.plist"; }
    Values domain() const
    {
        auto contents = PropertyList::readFile(domainPath());
        return contents ? contents->entries() : Values{};
    }
    Values backedUpValues() const
    {
        auto backup = PropertyList::readFile(backupPath());
        auto values = backup ? backup->value("values") : std::nullopt;
        return values ? values->entries() : Values{};
    }

    TempHome home;
    TarnwickProgram tarnwick;
};

}

TEST_F(AccessibilityCrashSafetyTest, AKilledRunGetsTheUsersColourBackBeforeTheNextOverrideAndAQuitLeavesItAsItWas)
{
    TempHome::writeFile(domainPath(), userDomainXml);
    const Values user = PropertyList::parse(userDomainXml)->entries();
    Values managed = user;
    managed.erase("closeViewZoomFactor");
    const Values overridden = {{"closeViewZoomFactor", PropertyList::real(1.5)},
                               {"cursorIsCustomized", PropertyList::boolean(false)}};

    auto first = launch();
    ASSERT_TRUE(tarnwick.waitForLog("Accessibility cursor override active=true")) << tarnwick.log();
    EXPECT_EQ(domain(), overridden);
    EXPECT_EQ(backedUpValues(), managed);
    first->signal(SIGKILL);
    ASSERT_EQ(first->wait(5), 128 + SIGKILL);
    EXPECT_EQ(domain(), overridden);

    auto second = launch();
    ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch.")) << tarnwick.log();
    auto recovered = at("Recovered pending cursor accessibility backup from previous run; restoring user settings");
    auto applied = at("Cursor accessibility values applied synchronized=true applied=true "
                      "keys=cursorIsCustomized,mouseDriverCursorFillColor");
    auto overrideAgain = at("Applied temporary cursor accessibility override for native cursor replacement");
    auto active = at("Accessibility cursor override active=true");
    auto launched = at("Tarnwick launch.");
    EXPECT_TRUE(recovered < applied && applied < overrideAgain && overrideAgain < active && active < launched)
        << tarnwick.log();
    // The new backup could only hold the colour if it was back in the domain.
    EXPECT_EQ(backedUpValues(), managed);
    EXPECT_EQ(domain(), overridden);

    second->signal(SIGTERM);
    ASSERT_EQ(second->wait(5), 0);
    EXPECT_EQ(domain(), user);
    EXPECT_FALSE(TempHome::exists(backupPath()));
    EXPECT_LT(at("Termination restoreOriginal: "), at("Restored original Accessibility cursor appearance settings"));
}

TEST_F(AccessibilityCrashSafetyTest, DamagedDomainAndBackupFilesNeverStopTheProgram)
{
    const std::string damagedDomain = "bplist00\xff\xff\xff damaged"s;
    const std::string damagedBackup = "<?xml version=\"1.0\"?><plist><dict><key>values</key>"s;
    TempHome::writeFile(domainPath(), damagedDomain);
    TempHome::writeFile(backupPath(), damagedBackup);

    auto program = launch();
    ASSERT_TRUE(tarnwick.waitForLog("Accessibility cursor override active=false")) << tarnwick.log();
    program->signal(SIGTERM);
    ASSERT_EQ(program->wait(5), 0);
    EXPECT_EQ(TempHome::readFile(domainPath()), damagedDomain);
    EXPECT_EQ(TempHome::readFile(backupPath()), damagedBackup);
}
