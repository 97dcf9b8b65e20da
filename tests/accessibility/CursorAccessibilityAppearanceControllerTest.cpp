#include "accessibility/CursorAccessibilityAppearanceController.h"

#include "base/AppLog.h"
#include "platform/prefs/PropertyListPrinting.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <regex>
#include <sstream>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using namespace std::string_literals;
using Values = CursorAccessibilityAppearanceController::ManagedValues;

const std::string overrideApplied =
    "[WARN] Applied temporary cursor accessibility override for native cursor replacement synchronized=true";
const std::string alreadyStandard = "[INFO] Accessibility cursor appearance already standard; no override needed";
const std::string restored = "[INFO] Restored original Accessibility cursor appearance settings";

// An archived colour as the system stores it: opaque bytes.
PropertyList colour(char tint)
{
    return PropertyList::data("\x04\x0bstreamtyped\x81\xe8\x03\x84\x01@"s + tint);
}

class CursorAccessibilityAppearanceControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        logPath = home.path() + "/test.log";
        AppLog::testing::reset(logPath);
    }

    std::string domainPath() const { return home.path() + "/Library/Preferences/com.apple.universalaccess.plist"; }
    std::string backupPath() const { return home.applicationSupport() + "/Tarnwick/cursor_accessibility_backup.plist"; }

    void writeDomain(const Values& values) const
    {
        TempHome::writeFile(domainPath(), PropertyList::dictionary(values).serialized(PropertyList::Format::binary));
    }
    Values domain() const
    {
        auto contents = PropertyList::readFile(domainPath());
        return contents ? contents->entries() : Values{};
    }
    void writeBackup(const PropertyList& contents) const
    {
        TempHome::writeFile(backupPath(), contents.serialized(PropertyList::Format::binary));
    }

    // The messages logged so far, each as "[LEVEL] message".
    std::vector<std::string> logLines() const
    {
        AppLog::flush();
        std::vector<std::string> lines;
        std::istringstream in(TempHome::readFile(logPath));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line.substr(line.find(" [") + 1));
        return lines;
    }
    bool logged(const std::string& line) const
    {
        auto lines = logLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    bool loggedStartingWith(const std::string& start) const
    {
        for (const auto& line : logLines())
            if (line.rfind(start, 0) == 0)
                return true;
        return false;
    }

    TempHome home;
    std::string logPath;
};

}

TEST_F(CursorAccessibilityAppearanceControllerTest, AnUncustomizedPointerNeedsNoOverrideAndNoFile)
{
    CursorAccessibilityAppearanceController controller;
    EXPECT_EQ(controller.preferencesPlistURL, domainPath());
    EXPECT_EQ(controller.backupURL, backupPath());

    EXPECT_FALSE(controller.activateSystemCursorAppearanceIfNeeded());
    EXPECT_EQ(logLines(), std::vector<std::string>{alreadyStandard});
    EXPECT_FALSE(TempHome::exists(backupPath()));
    EXPECT_FALSE(TempHome::exists(domainPath()));

    // "cursorIsCustomized" switched off, as a boolean or a number, is no
    // conflict either; the domain is left exactly as it was.
    for (const PropertyList& off : {PropertyList::boolean(false), PropertyList::integer(0)}) {
        writeDomain({{"cursorIsCustomized", off}, {"closeViewZoomFactor", PropertyList::real(1.5)}});
        std::string before = TempHome::readFile(domainPath());
        EXPECT_FALSE(controller.activateSystemCursorAppearanceIfNeeded());
        EXPECT_EQ(TempHome::readFile(domainPath()), before);
        EXPECT_FALSE(TempHome::exists(backupPath()));
    }
    EXPECT_FALSE(controller.isOverrideActive());
    EXPECT_FALSE(controller.hasUnresolvedCustomizationConflict());
    EXPECT_FALSE(controller.activeSessionBackup());

    controller.restoreOriginalAppearanceIfNeeded();
    EXPECT_EQ(logLines(), std::vector<std::string>(3, alreadyStandard));
}

TEST_F(CursorAccessibilityAppearanceControllerTest, AColourAloneIsAConflictAndTheBackupHoldsExactlyThePresentKeys)
{
    const Values withFlag = {{"cursorIsCustomized", PropertyList::boolean(false)},
                             {"mouseDriverCursorFillColor", colour('r')}};
    const Values colourOnly = {{"mouseDriverCursorFillColor", colour('g')}};
    for (const Values& managed : {colourOnly, withFlag}) {
        Values user = managed;
        user.insert_or_assign("closeViewZoomFactor", PropertyList::real(1.5));
        writeDomain(user);
        std::time_t before = std::time(nullptr);

        CursorAccessibilityAppearanceController controller;
        EXPECT_TRUE(controller.activateSystemCursorAppearanceIfNeeded());
        EXPECT_TRUE(controller.isOverrideActive());
        EXPECT_FALSE(controller.hasUnresolvedCustomizationConflict());
        EXPECT_EQ(controller.activeSessionBackup(), managed);
        EXPECT_EQ(domain(), (Values{{"cursorIsCustomized", PropertyList::boolean(false)},
                                    {"closeViewZoomFactor", PropertyList::real(1.5)}}));

        auto backup = PropertyList::readFile(backupPath());
        ASSERT_TRUE(backup);
        auto entries = backup->entries();
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(entries.at("values"), PropertyList::dictionary(managed));
        std::string savedAt = entries.at("savedAt").stringValue().value_or("");
        ASSERT_TRUE(std::regex_match(savedAt, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)"))) << savedAt;
        std::tm parsed {};
        strptime(savedAt.c_str(), "%Y-%m-%dT%H:%M:%SZ", &parsed);
        EXPECT_LE(std::abs(timegm(&parsed) - before), 2);
        struct stat status {};
        ASSERT_EQ(stat(backupPath().c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0600u);
        EXPECT_TRUE(logged("[INFO] Saved cursor accessibility backup: " + backupPath()));
        EXPECT_EQ(logLines().back(), overrideApplied);

        controller.restoreOriginalAppearanceIfNeeded();
        EXPECT_EQ(domain(), user);
        EXPECT_FALSE(TempHome::exists(backupPath()));
        EXPECT_FALSE(controller.isOverrideActive());
        EXPECT_FALSE(controller.activeSessionBackup());
        EXPECT_EQ(logLines().back(), restored);
        // Restoring twice does nothing more.
        auto count = logLines().size();
        controller.restoreOriginalAppearanceIfNeeded();
        EXPECT_EQ(logLines().size(), count);
    }
    // The applied line lists the keys sorted, joined by commas.
    EXPECT_TRUE(logged("[INFO] Cursor accessibility values applied synchronized=true applied=true "
                       "keys=cursorIsCustomized,mouseDriverCursorFillColor"));
    EXPECT_TRUE(logged("[INFO] Cursor accessibility values applied synchronized=true applied=true "
                       "keys=mouseDriverCursorFillColor"));
}

// The process dies at the first file write larger than a limit that the
// switched-off domain fits and the backup of a large colour does not: a crash
// between the two writes must leave the colour somewhere.
TEST_F(CursorAccessibilityAppearanceControllerTest, ACrashBetweenBackupAndSwitchNeverLosesTheUsersColour)
{
    const Values user = {{"cursorIsCustomized", PropertyList::boolean(true)},
                         {"mouseDriverCursorFillColor", PropertyList::data(std::string(256 * 1024, 'c'))}};
    writeDomain(user);
    auto activateWithSmallFiles = [] {
        rlimit limit{64 * 1024, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
        CursorAccessibilityAppearanceController().activateSystemCursorAppearanceIfNeeded();
        std::exit(0);
    };
    EXPECT_EXIT(activateWithSmallFiles(), ::testing::KilledBySignal(SIGXFSZ), "");
    EXPECT_EQ(domain(), user);
}

TEST_F(CursorAccessibilityAppearanceControllerTest, TheCustomizedFlagOnItsOwnIsAConflict)
{
    for (const PropertyList& on : {PropertyList::boolean(true), PropertyList::integer(1), PropertyList::real(0.5)}) {
        writeDomain({{"cursorIsCustomized", on}});
        CursorAccessibilityAppearanceController controller;
        EXPECT_TRUE(controller.activateSystemCursorAppearanceIfNeeded());
        EXPECT_EQ(domain(), (Values{{"cursorIsCustomized", PropertyList::boolean(false)}}));
        controller.restoreOriginalAppearanceIfNeeded();
        EXPECT_EQ(domain(), (Values{{"cursorIsCustomized", on}}));
    }
    // A flag of another type than boolean or number counts as unset.
    writeDomain({{"cursorIsCustomized", PropertyList::string("yes")}});
    CursorAccessibilityAppearanceController controller;
    EXPECT_FALSE(controller.activateSystemCursorAppearanceIfNeeded());
}

TEST_F(CursorAccessibilityAppearanceControllerTest, ABackupWithoutValuesIsIgnoredSilentlyAndLeftInPlace)
{
    const Values user = {{"cursorFill", colour('b')}};
    writeDomain(user);
    for (const std::string& bytes :
         {PropertyList::dictionary({{"savedAt", PropertyList::string("2026-01-31T09:15:00Z")}})
              .serialized(PropertyList::Format::binary),
          PropertyList::dictionary({{"values", PropertyList::string("not a dictionary")}})
              .serialized(PropertyList::Format::xml),
          "damaged"s}) {
        TempHome::writeFile(backupPath(), bytes);
        CursorAccessibilityAppearanceController controller;
        controller.recoverPreviousSessionIfNeeded();
        EXPECT_EQ(TempHome::readFile(backupPath()), bytes);
        EXPECT_EQ(domain(), user);
        EXPECT_TRUE(logLines().empty());
    }
}

TEST_F(CursorAccessibilityAppearanceControllerTest, RecoveryCountsOnlyAReadBackEqualToExactlyTheBackedUpEntries)
{
    writeDomain({{"cursorIsCustomized", PropertyList::boolean(false)},
                 {"cursorFill", colour('c')},
                 {"cursorOutline", colour('d')},
                 {"closeViewZoomFactor", PropertyList::real(2.0)}});
    writeBackup(PropertyList::dictionary(
        {{"values", PropertyList::dictionary({{"cursorIsCustomized", PropertyList::boolean(true)},
                                               {"unrelatedKey", PropertyList::string("from elsewhere")}})},
         {"savedAt", PropertyList::string("2026-01-31T09:15:00Z")}}));

    CursorAccessibilityAppearanceController controller;
    controller.recoverPreviousSessionIfNeeded();
    // Every managed key was removed first, then the one backed-up entry set;
    // only keys this controller manages are ever written.
    EXPECT_EQ(domain(), (Values{{"cursorIsCustomized", PropertyList::boolean(true)},
                                {"closeViewZoomFactor", PropertyList::real(2.0)}}));
    EXPECT_FALSE(TempHome::exists(backupPath()));
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{
                  "[WARN] Recovered pending cursor accessibility backup from previous run; restoring user settings",
                  "[INFO] Cursor accessibility values applied synchronized=true applied=true keys=cursorIsCustomized"}));
    EXPECT_FALSE(controller.isOverrideActive());
    EXPECT_FALSE(controller.activeSessionBackup());

    // A domain that cannot be written: the read-back differs, so the backup
    // stays for the next launch.
    std::filesystem::remove(domainPath());
    std::filesystem::create_directories(domainPath());
    PropertyList pending = PropertyList::dictionary({{"values", PropertyList::dictionary({{"cursorFill", colour('e')}})},
                                                     {"savedAt", PropertyList::string("2026-01-31T09:15:00Z")}});
    writeBackup(pending);
    controller.recoverPreviousSessionIfNeeded();
    EXPECT_EQ(PropertyList::readFile(backupPath()), pending);
    auto lines = logLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2],
              "[INFO] Cursor accessibility values applied synchronized=false applied=false keys=cursorFill");
    EXPECT_EQ(lines.back(), "[ERROR] Failed to restore recovered cursor accessibility backup; keeping backup file "
                            "for manual recovery");

    // An empty backup applies nothing and lists no keys.
    std::filesystem::remove(domainPath());
    writeBackup(PropertyList::dictionary({{"values", PropertyList::dictionary()}}));
    controller.recoverPreviousSessionIfNeeded();
    EXPECT_EQ(logLines().back(), "[INFO] Cursor accessibility values applied synchronized=true applied=true keys=");
    EXPECT_FALSE(TempHome::exists(backupPath()));
}

TEST_F(CursorAccessibilityAppearanceControllerTest, RemovingTheBackupIsSilentWhenItIsMissingAndReportedOtherwise)
{
    writeDomain({{"mouseDriverCursorOutlineColor", colour('o')}});
    CursorAccessibilityAppearanceController controller;
    ASSERT_TRUE(controller.activateSystemCursorAppearanceIfNeeded());
    std::filesystem::remove(backupPath());
    controller.restoreOriginalAppearanceIfNeeded();
    EXPECT_EQ(logLines().back(), restored);
    EXPECT_FALSE(loggedStartingWith("[WARN] Failed to remove cursor accessibility backup"));

    ASSERT_TRUE(controller.activateSystemCursorAppearanceIfNeeded());
    std::filesystem::remove(backupPath());
    std::filesystem::create_directories(backupPath() + "/occupied");
    controller.restoreOriginalAppearanceIfNeeded();
    EXPECT_TRUE(loggedStartingWith("[WARN] Failed to remove cursor accessibility backup: "));
    EXPECT_EQ(logLines().back(), restored);
    EXPECT_EQ(domain(), (Values{{"mouseDriverCursorOutlineColor", colour('o')}}));
}

TEST_F(CursorAccessibilityAppearanceControllerTest, AFailedRestoreKeepsTheOverrideAndTheBackupForTheNextLaunch)
{
    const Values user = {{"cursorIsCustomized", PropertyList::boolean(true)}, {"cursorFill", colour('f')}};
    writeDomain(user);
    CursorAccessibilityAppearanceController controller;
    ASSERT_TRUE(controller.activateSystemCursorAppearanceIfNeeded());
    std::string backupBytes = TempHome::readFile(backupPath());

    std::string keptDomain = home.path() + "/domain.keep";
    std::filesystem::rename(domainPath(), keptDomain);
    std::filesystem::create_directories(domainPath());
    controller.restoreOriginalAppearanceIfNeeded();
    EXPECT_EQ(logLines().back(), "[ERROR] Failed to restore original Accessibility cursor appearance settings");
    EXPECT_TRUE(controller.isOverrideActive());
    EXPECT_EQ(controller.activeSessionBackup(), user);
    EXPECT_EQ(TempHome::readFile(backupPath()), backupBytes);

    std::filesystem::remove(domainPath());
    std::filesystem::rename(keptDomain, domainPath());
    controller.restoreOriginalAppearanceIfNeeded();
    EXPECT_EQ(logLines().back(), restored);
    EXPECT_EQ(domain(), user);
}

TEST_F(CursorAccessibilityAppearanceControllerTest, ADomainThatCannotBeSwitchedOffIsAnUnresolvedConflict)
{
    // Readable but not writable, even for root: the temporary file beside a
    // domain path this long would exceed PATH_MAX.
    const std::string tail = "/Library/Preferences/com.apple.universalaccess.plist";
    std::string deepHome = home.path();
    while (deepHome.size() + tail.size() < 4090) {
        std::size_t room = 4090 - deepHome.size() - tail.size();
        deepHome += "/" + std::string(room > 300 ? 150 : room - 1, 'h');
    }
    setenv("HOME", deepHome.c_str(), 1);
    setenv("XDG_DATA_HOME", home.applicationSupport().c_str(), 1);
    CursorAccessibilityAppearanceController controller;
    const Values user = {{"mouseDriverCursorFillColor", colour('x')}};
    TempHome::writeFile(controller.preferencesPlistURL,
                        PropertyList::dictionary(user).serialized(PropertyList::Format::binary));
    // Whatever backup stood there goes, as no override is active.
    writeBackup(PropertyList::dictionary({{"values", PropertyList::dictionary(user)}}));

    EXPECT_FALSE(controller.activateSystemCursorAppearanceIfNeeded());
    EXPECT_TRUE(controller.hasUnresolvedCustomizationConflict());
    EXPECT_FALSE(controller.isOverrideActive());
    EXPECT_FALSE(controller.activeSessionBackup());
    EXPECT_FALSE(TempHome::exists(backupPath()));
    EXPECT_EQ(PropertyList::readFile(controller.preferencesPlistURL)->entries(), user);
    EXPECT_EQ(logLines().back(),
              "[ERROR] Failed to auto-disable Accessibility cursor customization (synchronized=false); native cursor "
              "replacement can remain shake/Launchpad-only. Please disable custom pointer color manually in System "
              "Settings > Accessibility > Display > Pointer.");
    controller.restoreOriginalAppearanceIfNeeded();
    EXPECT_EQ(PropertyList::readFile(controller.preferencesPlistURL)->entries(), user);
}

TEST_F(CursorAccessibilityAppearanceControllerTest, ABackupThatCannotBeSavedLeavesTheOverrideActiveForThisRun)
{
    const Values user = {{"cursorOutline", colour('s')}};
    writeDomain(user);
    // A file where the Tarnwick folder should be.
    TempHome::writeFile(home.applicationSupport() + "/Tarnwick", "in the way");
    CursorAccessibilityAppearanceController controller;
    EXPECT_TRUE(controller.activateSystemCursorAppearanceIfNeeded());
    EXPECT_TRUE(loggedStartingWith("[ERROR] Failed to persist cursor accessibility backup: "));
    EXPECT_FALSE(loggedStartingWith("[INFO] Saved cursor accessibility backup"));
    EXPECT_EQ(logLines().back(), overrideApplied);
    controller.restoreOriginalAppearanceIfNeeded();
    EXPECT_EQ(domain(), user);
}

TEST_F(CursorAccessibilityAppearanceControllerTest, ACorruptDomainReadsAsEmptyAndIsKeptAsideBeforeItIsWritten)
{
    for (const std::string& damaged : {"\x01\x02garbage"s, PropertyList::integer(7).serialized(PropertyList::Format::xml)}) {
        TempHome::writeFile(domainPath(), damaged);
        std::filesystem::remove(domainPath() + ".corrupt");
        CursorAccessibilityAppearanceController controller;
        EXPECT_FALSE(controller.activateSystemCursorAppearanceIfNeeded());
        EXPECT_EQ(TempHome::readFile(domainPath()), damaged);

        writeBackup(PropertyList::dictionary({{"values", PropertyList::dictionary({{"cursorFill", colour('k')}})}}));
        controller.recoverPreviousSessionIfNeeded();
        EXPECT_EQ(TempHome::readFile(domainPath() + ".corrupt"), damaged);
        EXPECT_EQ(domain(), (Values{{"cursorFill", colour('k')}}));
        EXPECT_FALSE(TempHome::exists(backupPath()));
    }
}
