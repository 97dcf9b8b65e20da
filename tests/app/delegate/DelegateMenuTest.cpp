#include "DelegateTestSupport.h"

#include "base/LogFormat.h"

#include <filesystem>
#include <sys/stat.h>

namespace {

using DelegateMenuTest = DelegateTest;

const std::string applyRequested = "[INFO] Apply requested trigger=";
const std::string capesInvalidated = "[INFO] Cape cache invalidated; next apply will rebuild all payloads";
const std::string styleKey = "tarnwick.cursor_style.global";

struct Row {
    std::string title;
    std::string keyEquivalent;
    MenuItem::State state;
    bool separator;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& row)
{
    return out << (row.separator ? std::string("---") : row.title) << " key='" << row.keyEquivalent
               << "' state=" << int(row.state);
}

std::vector<Row> rows(const Menu& menu)
{
    std::vector<Row> result;
    for (const auto& item : menu.items())
        result.push_back({item->title(), item->keyEquivalent(), item->state(), item->isSeparatorItem()});
    return result;
}

std::size_t capeFiles(const std::string& folder)
{
    std::size_t count = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end;
         !error && entry != end; entry.increment(error))
        count += entry->path().extension() == ".cape";
    return count;
}

std::vector<std::optional<std::string>> representedObjects(const Menu& menu)
{
    std::vector<std::optional<std::string>> result;
    for (const auto& item : menu.items())
        result.push_back(item->representedObject());
    return result;
}

std::vector<std::string> checkedTitles(const Menu& menu)
{
    std::vector<std::string> result;
    for (const auto& item : menu.items())
        if (item->isOn())
            result.push_back(item->title());
    return result;
}

TEST_F(DelegateMenuTest, MenuListsItsItemsInOrderWithKeysMarksAndTheStyleSubmenu)
{
    launch();
    const Menu& menu = *statusItem().menu();
    using S = MenuItem::State;
    EXPECT_EQ(rows(menu), (std::vector<Row>{{"Cursor style", "", S::none, false},
                                            // Left-handed is the fresh installation's choice.
                                            {"Left-handed cursor", "", S::on, false},
                                            {"", "", S::none, true},
                                            {"Reapply for current language", "r", S::none, false},
                                            {"Restore OS cursor", "s", S::none, false},
                                            {"", "", S::none, true},
                                            {"Check for Updates...", "", S::none, false},
                                            {"Launch at Login", "", S::off, false},
                                            {"", "", S::none, true},
                                            {"Quit", "q", S::none, false}}));
    EXPECT_EQ(menu.itemAt(0), trayMenu().styleRootItem());
    EXPECT_EQ(menu.itemAt(1), trayMenu().leftHandedItem());
    EXPECT_EQ(menu.itemAt(7), trayMenu().launchAtLoginItem());
    for (std::size_t i : {1, 3, 4, 6, 7, 9})
        EXPECT_TRUE(menu.itemAt(i)->hasAction()) << menu.itemAt(i)->title();

    ASSERT_TRUE(trayMenu().styleRootItem()->hasSubmenu());
    const Menu& styles = *trayMenu().styleRootItem()->submenu();
    EXPECT_EQ(styles.title(), "Cursor style");
    EXPECT_EQ(rows(styles), (std::vector<Row>{{"System cursor", "", S::off, false},
                                              {"Letter badge", "", S::on, false},
                                              {"Color dot", "", S::off, false},
                                              {"High contrast", "", S::off, false}}));
    EXPECT_EQ(representedObjects(styles), (std::vector<std::optional<std::string>>{
                                              "system", "letterBadge", "dotBadge", "highContrast"}));
    for (const auto& item : styles.items())
        EXPECT_TRUE(item->hasAction()) << item->title();
}

TEST_F(DelegateMenuTest, StatusTitleIsPlainUntilTheFirstRefreshThenCarriesTheBadge)
{
    app = std::make_unique<TarnwickTrayApp>(services());
    trayMenu().setupTrayMenu();
    EXPECT_EQ(statusItem().title(), "TW");
    EXPECT_FALSE(statusItem().badge());
    // Without a controller nothing is applied, but the title follows the
    // language all the same.
    pipeline().refreshStateAndApplyCursor(false, "poll");
    EXPECT_EQ(statusItem().title(), "TW [En]");
    ASSERT_TRUE(statusItem().badge());
    EXPECT_EQ(statusItem().badge()->text, "En");
}

TEST_F(DelegateMenuTest, ChoosingAStyleStoresItClearsTheCapesRebuildsTheSubmenuAndReapplies)
{
    launchAndSettle();
    // A cape of another language, so that its removal shows.
    selectRussian();
    loop.advance(1.1);
    ASSERT_GE(capeFiles(capesFolder()), 2u);
    ASSERT_FALSE(defaults.contains(styleKey));
    std::string badged = onScreen();
    auto firstSubmenu = trayMenu().styleRootItem()->submenu();
    log.clear();

    // The style already in use.
    ASSERT_TRUE(firstSubmenu->itemAt(1)->choose());
    EXPECT_EQ(defaults.string(styleKey), "letterBadge");
    EXPECT_TRUE(log.has(capesInvalidated));
    EXPECT_TRUE(log.has("[INFO] Style changed globally: style=letterBadge"));
    EXPECT_LT(indexOf(capesInvalidated), indexOf(applyRequested));
    EXPECT_EQ(linesStartingWith(applyRequested),
              std::vector<std::string>{"[INFO] Apply requested trigger=style-change force=true languageChanged=false "
                                       "sourceChanged=false prevCode=ru newCode=ru prevSource=xkb:ru "
                                       "newSource=xkb:ru applied=true"});
    // Only the cape of the apply that followed is back.
    EXPECT_EQ(capeFiles(capesFolder()), 1u);
    auto secondSubmenu = trayMenu().styleRootItem()->submenu();
    EXPECT_NE(secondSubmenu, firstSubmenu);
    EXPECT_EQ(checkedTitles(*secondSubmenu), std::vector<std::string>{"Letter badge"});
    EXPECT_EQ(onScreen(), badged);

    // Another style moves the mark and changes the image.
    loop.advance(1.1);
    log.clear();
    ASSERT_TRUE(secondSubmenu->itemAt(2)->choose());
    EXPECT_EQ(defaults.string(styleKey), "dotBadge");
    EXPECT_EQ(checkedTitles(*trayMenu().styleRootItem()->submenu()), std::vector<std::string>{"Color dot"});
    EXPECT_TRUE(log.has("[INFO] Applying cursor for language=ru badge=Ру style=dotBadge marker=custom"));
    EXPECT_NE(onScreen(), badged);

    // The system style passes no badge; the title still names the language.
    loop.advance(1.1);
    log.clear();
    ASSERT_TRUE(trayMenu().styleRootItem()->submenu()->itemAt(0)->choose());
    EXPECT_TRUE(log.has("[INFO] Applying cursor for language=ru badge=Ру style=system marker=system"));
    EXPECT_EQ(countStartingWith("[INFO] Apply requested trigger=style-change force=true"), 1u);
    EXPECT_EQ(statusItem().title(), "TW [Ру]");
    EXPECT_FALSE(statusItem().badge());
}

TEST_F(DelegateMenuTest, LeftHandedToggledTwiceReturnsToTheFirstState)
{
    launchAndSettle();
    bool first = app->preferences().isLeftHanded();
    std::string firstImage = onScreen();

    ASSERT_TRUE(trayMenu().leftHandedItem()->choose());
    EXPECT_EQ(app->preferences().isLeftHanded(), !first);
    EXPECT_EQ(trayMenu().leftHandedItem()->isOn(), !first);
    EXPECT_TRUE(log.has("[INFO] Left-handed mode toggled: " + LogFormat::boolean(!first)));
    EXPECT_NE(onScreen(), firstImage);
    loop.advance(1.1);

    ASSERT_TRUE(trayMenu().leftHandedItem()->choose());
    EXPECT_EQ(app->preferences().isLeftHanded(), first);
    EXPECT_EQ(trayMenu().leftHandedItem()->isOn(), first);
    EXPECT_TRUE(log.has("[INFO] Left-handed mode toggled: " + LogFormat::boolean(first)));
    EXPECT_EQ(onScreen(), firstImage);

    EXPECT_EQ(log.count(capesInvalidated), 2u);
    EXPECT_EQ(countStartingWith("[INFO] Apply requested trigger=left-handed-toggle force=true languageChanged=false "
                                "sourceChanged=false"),
              2u);
    EXPECT_EQ(countStartingWith(applyRequested), 2u);
}

TEST_F(DelegateMenuTest, ReapplyAfterRestoreBringsTheBadgeBack)
{
    std::string plain = onScreen();
    launchAndSettle();
    std::string badged = onScreen();
    ASSERT_NE(badged, plain);

    auto restore = statusItem().menu()->itemWithTitle("Restore OS cursor");
    ASSERT_TRUE(restore && restore->choose());
    EXPECT_TRUE(log.has("[INFO] Restore OS cursor requested from tray menu result=true"));
    EXPECT_EQ(onScreen(), plain);
    // The language is still the one applied: polls change nothing.
    loop.advance(2.0);
    EXPECT_EQ(onScreen(), plain);
    EXPECT_EQ(countStartingWith(applyRequested), 0u);
    EXPECT_EQ(pipeline().lastLanguageCode(), "en");

    auto reapply = statusItem().menu()->itemWithTitle("Reapply for current language");
    ASSERT_TRUE(reapply && reapply->choose());
    EXPECT_EQ(linesStartingWith(applyRequested),
              std::vector<std::string>{"[INFO] Apply requested trigger=manual force=true languageChanged=false "
                                       "sourceChanged=false prevCode=en newCode=en prevSource=xkb:us "
                                       "newSource=xkb:us applied=true"});
    EXPECT_EQ(onScreen(), badged);
}

TEST_F(DelegateMenuTest, RestoreCancelsAPendingStabilization)
{
    std::string plain = onScreen();
    launchAndSettle();
    // The same badge again: a stabilization re-apply is due 0.45 s later.
    trayMenu().forceApply();
    ASSERT_TRUE(pipeline().hasPendingStabilization());
    loop.advance(0.2);
    trayMenu().restoreSystemCursors();
    loop.advance(4.0);
    EXPECT_EQ(onScreen(), plain);
    EXPECT_EQ(countStartingWith("[INFO] Stabilization reapply attempt="), 0u);
}

TEST_F(DelegateMenuTest, StyleChoiceWithoutAStyleIsIgnored)
{
    launchAndSettle();
    auto submenu = trayMenu().styleRootItem()->submenu();
    auto strange = MenuItem::make("Purple", [this](MenuItem& sender) { trayMenu().onSelectStyle(sender); });
    strange->setRepresentedObject("purple");
    auto wrongCase = MenuItem::make("Letters", [this](MenuItem& sender) { trayMenu().onSelectStyle(sender); });
    wrongCase->setRepresentedObject("LetterBadge");
    auto empty = MenuItem::make("Nothing", [this](MenuItem& sender) { trayMenu().onSelectStyle(sender); });
    for (const auto& item : {strange, wrongCase, empty})
        EXPECT_TRUE(item->choose());
    EXPECT_FALSE(defaults.contains(styleKey));
    EXPECT_EQ(trayMenu().styleRootItem()->submenu(), submenu);
    EXPECT_EQ(log.count(capesInvalidated), 0u);
    EXPECT_EQ(countStartingWith("[INFO] Style changed globally"), 0u);
    EXPECT_EQ(countStartingWith(applyRequested), 0u);
}

TEST_F(DelegateMenuTest, LaunchAtLoginMarkFollowsTheAutostartFile)
{
    std::string entry = home() + "/.config/autostart/com.tarnwick.app.desktop";
    // Written by someone else: counts as on.
    TempHome::writeFile(entry, "[Desktop Entry]\nType=Application\nName=Other\nExec=/bin/true\n");
    launch();
    EXPECT_TRUE(trayMenu().launchAtLoginItem()->isOn());

    ASSERT_TRUE(trayMenu().launchAtLoginItem()->choose());
    EXPECT_TRUE(log.has("[INFO] Launch at Login disabled"));
    EXPECT_FALSE(TempHome::exists(entry));
    EXPECT_FALSE(trayMenu().launchAtLoginItem()->isOn());

    ASSERT_TRUE(trayMenu().launchAtLoginItem()->choose());
    EXPECT_TRUE(log.has("[INFO] Launch at Login enabled"));
    ASSERT_TRUE(TempHome::exists(entry));
    EXPECT_NE(TempHome::readFile(entry).find("Exec="), std::string::npos);
    EXPECT_TRUE(trayMenu().launchAtLoginItem()->isOn());

    // A folder that cannot be made: the line names the branch, the mark the
    // outcome.
    ASSERT_TRUE(trayMenu().launchAtLoginItem()->choose());
    std::filesystem::remove_all(home() + "/.config/autostart");
    TempHome::writeFile(home() + "/.config/autostart", "not a folder");
    log.clear();
    ASSERT_TRUE(trayMenu().launchAtLoginItem()->choose());
    EXPECT_TRUE(log.has("[INFO] Launch at Login enabled"));
    EXPECT_FALSE(trayMenu().launchAtLoginItem()->isOn());
}

class DelegateMenuWatchdogTest : public DelegateTest {};

TEST_F(DelegateMenuWatchdogTest, RestoreKeepsTheWatchdogQuietForFiveSeconds)
{
    enableCursorSeedWatchdog = true;
    launch();
    loop.advance(2.0);
    log.clear();
    std::string plain;

    trayMenu().restoreSystemCursors();
    double restoredAt = loop.now();
    EXPECT_EQ(pipeline().lastObservedCursorSeed(), SimWindowServerCurrentSeed());
    plain = onScreen();
    loop.advance(1.5);
    foreignCursorChange();
    // The watchdog ticks every 0.2 s from the launch, so the last tick within
    // the suppression comes 4.8 s after the restore.
    loop.runUntil(restoredAt + 4.7);
    foreignCursorChange("com.apple.cursor.2");
    loop.runUntil(restoredAt + 5.3);
    const std::string detected = "[INFO] Cursor seed watchdog detected seed change old=";
    EXPECT_EQ(countStartingWith(detected), 0u);
    EXPECT_EQ(countStartingWith("[INFO] Applying cursor for language="), 0u);

    // Once the suppression is over, only a new change counts.
    foreignCursorChange();
    loop.advance(0.2);
    EXPECT_EQ(countStartingWith(detected), 1u);
    EXPECT_EQ(countStartingWith("[INFO] Applying cursor for language="), 1u);
    EXPECT_NE(onScreen(), plain);
}

}
