#include "platform/updater/UpdateChecker.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/http/HttpSession.h"
#include "platform/http/HttpUrl.h"
#include "platform/runloop/RunLoop.h"
#include "platform/updater/Appcast.h"
#include "platform/updater/SoftwareVersion.h"

#include <variant>

namespace {

constexpr double feedTimeoutSeconds = 30;

using Result = UpdateChecker::Result;

Result failure(const std::string& reason, bool userInitiated)
{
    return {Result::Kind::failed, "Could not check for updates: " + reason, std::nullopt, userInitiated};
}

Result verdict(const HttpSession::Response& response, const std::string& currentVersion, bool userInitiated)
{
    if (response.error)
        return failure(*response.error, userInitiated);
    if (!response.statusCode || *response.statusCode < 200 || *response.statusCode > 299)
        return failure("the update feed answered HTTP " + LogFormat::optional(response.statusCode), userInitiated);
    auto parsed = Appcast::parse(response.body.value_or(""));
    if (auto* problem = std::get_if<std::string>(&parsed))
        return failure(*problem, userInitiated);
    const Appcast& feed = std::get<Appcast>(parsed);
    std::optional<Appcast::Item> newest = feed.newestItem();
    if (!newest)
        return failure("the update feed lists no release with a version", userInitiated);
    if (SoftwareVersion::compare(newest->displayVersion(), currentVersion) <= 0)
        return {Result::Kind::upToDate, "You're up to date", std::nullopt, userInitiated};
    std::optional<std::string> link = newest->bestLink() ? newest->bestLink() : feed.link();
    return {Result::Kind::updateAvailable, "Tarnwick " + newest->displayVersion() + " is available", link,
            userInitiated};
}

void logResult(const Result& result)
{
    if (result.kind == Result::Kind::failed)
        AppLog::warn("Update check failed: " + result.message);
    else
        AppLog::info("Update check result: " + result.message +
                     (result.link ? " link=" + *result.link : std::string()));
}

}

// One request on its way; a second request while it runs joins it.
struct UpdateChecker::Check {
    bool userInitiated;
};

UpdateChecker::UpdateChecker(std::string currentVersion, bool startingUpdater, ResultHandler handler,
                             UserDefaults& defaults, HttpSession& session)
    : currentVersion_(std::move(currentVersion)),
      defaults_(defaults),
      session_(session),
      started_(startingUpdater),
      handler_(std::make_shared<ResultHandler>(std::move(handler)))
{
}

UpdateChecker::~UpdateChecker() = default;

void UpdateChecker::startUpdater()
{
    started_ = true;
}

bool UpdateChecker::isStarted() const
{
    return started_;
}

std::optional<std::string> UpdateChecker::feedURL() const
{
    std::optional<std::string> configured = defaults_.string(feedURLKey);
    return configured ? HttpUrl::validated(*configured) : std::nullopt;
}

bool UpdateChecker::automaticallyChecksForUpdates() const
{
    return isConfigured() && defaults_.boolean(automaticChecksKey).value_or(true);
}

void UpdateChecker::checkForUpdatesInBackground()
{
    check(false);
}

void UpdateChecker::checkForUpdates()
{
    check(true);
}

bool UpdateChecker::isChecking() const
{
    return current_ != nullptr;
}

void UpdateChecker::check(bool userInitiated)
{
    if (!started_) {
        AppLog::warn("Update check skipped: the updater has not been started");
        return;
    }
    if (current_) {
        current_->userInitiated = current_->userInitiated || userInitiated;
        return;
    }
    std::optional<std::string> feed = feedURL();
    if (!feed) {
        std::optional<std::string> configured = defaults_.string(feedURLKey);
        AppLog::info("Update check skipped: updates are not configured feed=" + configured.value_or("nil"));
        if (userInitiated) {
            std::string why = configured ? "the feed address \"" + *configured + "\" is not an http or https URL"
                                         : "no update feed is set";
            Result result{Result::Kind::notConfigured, "Updates are not configured: " + why, std::nullopt, true};
            RunLoop::main().post([handler = std::weak_ptr(handler_), result] {
                if (auto live = handler.lock())
                    (*live)(result);
            });
        }
        return;
    }
    AppLog::info("Update check requested: feed=" + *feed + " background=" + LogFormat::boolean(!userInitiated));
    auto check = std::make_shared<Check>(Check{userInitiated});
    current_ = check;
    std::weak_ptr<ResultHandler> handler = handler_;
    // The completion touches the checker only while the handler, which dies
    // with the checker, is still there.
    session_.send({*feed, feedTimeoutSeconds},
                  [this, handler, check, version = currentVersion_](HttpSession::Response response) {
                      RunLoop::main().post([this, handler, check, version, response = std::move(response)] {
                          auto live = handler.lock();
                          if (!live)
                              return;
                          current_.reset();
                          Result result = verdict(response, version, check->userInitiated);
                          logResult(result);
                          if (result.userInitiated || result.kind == Result::Kind::updateAvailable)
                              (*live)(result);
                      });
                  });
}
