#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

class HttpSession;
class UserDefaults;

// Checks an update feed for a newer release of the program. The feed's
// address and whether to check at launch are user defaults, read afresh on
// every use:
//   "tarnwick.updates.feed_url"          an http or https address; without
//                                        one, updates are not configured
//   "tarnwick.updates.automatic_checks"  checks at launch; on by default once
//                                        a feed is set
// The feed is fetched in the background; the result comes back on the main
// run loop.
class UpdateChecker {
public:
    static constexpr const char* feedURLKey = "tarnwick.updates.feed_url";
    static constexpr const char* automaticChecksKey = "tarnwick.updates.automatic_checks";

    struct Result {
        enum class Kind { updateAvailable, upToDate, failed, notConfigured };
        Kind kind;
        // What the user is told: "Tarnwick 1.2 is available", "You're up to
        // date", or what went wrong.
        std::string message;
        // Where the newer release is described (updateAvailable only).
        std::optional<std::string> link;
        // Asked for from the menu rather than at launch.
        bool userInitiated;
    };
    using ResultHandler = std::function<void(const Result&)>;

    // The handler hears every result of a check the user asked for, and of a
    // background check only the news of an update: a launch that finds
    // nothing new stays quiet.
    UpdateChecker(std::string currentVersion, bool startingUpdater, ResultHandler handler, UserDefaults& defaults,
                  HttpSession& session);
    // A check still under way is dropped: its result is never delivered.
    ~UpdateChecker();
    UpdateChecker(const UpdateChecker&) = delete;
    UpdateChecker& operator=(const UpdateChecker&) = delete;

    // Checks do nothing until the updater is started.
    void startUpdater();
    bool isStarted() const;

    // The configured feed, when it is a valid http or https address.
    std::optional<std::string> feedURL() const;
    bool isConfigured() const { return feedURL().has_value(); }
    bool automaticallyChecksForUpdates() const;

    // The launch check.
    void checkForUpdatesInBackground();
    // The menu's "Check for Updates...".
    void checkForUpdates();
    bool isChecking() const;

private:
    struct Check;
    void check(bool userInitiated);

    std::string currentVersion_;
    UserDefaults& defaults_;
    HttpSession& session_;
    bool started_;
    std::shared_ptr<Check> current_;
    // Shared with checks under way, so that they can tell the checker is gone.
    std::shared_ptr<ResultHandler> handler_;
};
