#pragma once

#include "app/AppServices.h"
#include "language/CursorPreferences.h"
#include "language/LanguageDetector.h"
#include "platform/runloop/RunLoop.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class SystemCursorController;

// Turns possible changes of the keyboard input source into system cursors
// that show the right badge: the input-source notification, a 0.25 s poll, an
// optional 0.20 s seed watchdog and forced requests all go through
// refreshStateAndApplyCursor, which drops requests that change nothing and
// re-applies up to three times while the screen shows no change.
class LanguageChangePipeline {
public:
    // Every refresh, applied or skipped, ends by showing the language it saw.
    using RefreshHandler =
        std::function<void(const LanguageState& state, const std::string& code, const std::string& trigger)>;

    LanguageChangePipeline(const AppServices& services, CursorPreferences& preferences, RefreshHandler onRefreshed);
    ~LanguageChangePipeline();
    LanguageChangePipeline(const LanguageChangePipeline&) = delete;
    LanguageChangePipeline& operator=(const LanguageChangePipeline&) = delete;

    // Until start-up hands one over, every apply fails.
    void setCursorController(std::shared_ptr<SystemCursorController> controller);

    void observeInputSourceChanges();
    void onInputSourceChanged();
    void startInputSourcePollingFallback();
    void startCursorSeedWatchdog();
    void refreshStateAndApplyCursor(bool force, const std::string& trigger);
    bool applyCursor(const InputLanguage& language);
    void scheduleStabilizationReapply(const InputLanguage& expectedLanguage, int attempt);
    void cancelStabilizationReapplies();
    void handleCursorSeedWatchdogTick();

    // The cursors were put back by hand: the watchdog takes what is on screen
    // now as seen and ignores seed changes for the given time.
    void suppressWatchdog(double seconds);

    // Termination: no observer, timer or delayed re-apply is left to decorate
    // the cursors once they are restored.
    void stop();

    const std::optional<InputLanguage>& lastLanguage() const { return lastLanguage_; }
    const std::optional<std::string>& lastLanguageCode() const { return lastLanguageCode_; }
    const std::optional<std::string>& lastInputSourceID() const { return lastInputSourceID_; }
    std::optional<std::int32_t> lastObservedCursorSeed() const { return lastObservedCursorSeed_; }
    bool hasPendingStabilization() const { return !stabilizationReapplyWorkItems_.empty(); }

    static constexpr double watchdogReapplyCooldown = 1.0;

private:
    void runStabilizationAttempt(const InputLanguage& expectedLanguage, int attempt);
    std::optional<std::string> currentFingerprint() const;
    // Timers and delayed work hold this weakly: they do nothing once the
    // pipeline is gone.
    std::weak_ptr<int> aliveToken() const { return alive_; }

    RunLoop& runLoop_;
    InputSourceService& inputSources_;
    CGSRuntime& runtime_;
    TelemetryReporter& telemetryReporter_;
    CursorPreferences& preferences_;
    const RefreshHandler onRefreshed_;
    LanguageDetector detector_;
    std::shared_ptr<SystemCursorController> cursorController_;
    std::optional<InputLanguage> lastLanguage_;
    std::optional<std::string> lastLanguageCode_;
    std::optional<std::string> lastInputSourceID_;
    std::shared_ptr<RunLoop::Handle> inputSourceObserver_;
    std::shared_ptr<RunLoop::Handle> inputSourcePollTimer_;
    std::shared_ptr<RunLoop::Handle> cursorSeedWatchdogTimer_;
    std::optional<std::int32_t> lastObservedCursorSeed_;
    bool isWatchdogReapplyInProgress_ = false;
    // On the run loop's clock.
    double watchdogSuppressedUntil_ = -std::numeric_limits<double>::infinity();
    std::vector<std::shared_ptr<RunLoop::Handle>> stabilizationReapplyWorkItems_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
