#include "app/LanguageChangePipeline.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"
#include "controller/SystemCursorController.h"
#include "runtime/CGSRuntime.h"
#include "telemetry/TelemetryReporter.h"

#include <string>

namespace {

constexpr double pollInterval = 0.25;
constexpr double watchdogInterval = 0.20;
constexpr int lastStabilizationAttempt = 3;

double stabilizationDelay(int attempt)
{
    return attempt == 1 ? 0.45 : attempt == 2 ? 1.0 : 1.8;
}

std::string nilOr(const std::optional<std::string>& value)
{
    return value ? *value : "nil";
}

}

LanguageChangePipeline::LanguageChangePipeline(const AppServices& services, CursorPreferences& preferences,
                                               RefreshHandler onRefreshed)
    : runLoop_(services.runLoop),
      inputSources_(services.inputSources),
      runtime_(services.runtime),
      telemetryReporter_(services.telemetryReporter),
      preferences_(preferences),
      onRefreshed_(std::move(onRefreshed)),
      detector_(services.inputSources)
{
}

LanguageChangePipeline::~LanguageChangePipeline()
{
    stop();
}

void LanguageChangePipeline::setCursorController(std::shared_ptr<SystemCursorController> controller)
{
    cursorController_ = std::move(controller);
}

void LanguageChangePipeline::observeInputSourceChanges()
{
    inputSourceObserver_ = inputSources_.observeSelectedSourceChanged([this, alive = aliveToken()] {
        if (alive.lock())
            onInputSourceChanged();
    });
    AppLog::info("Input source observer installed: com.apple.Carbon.TISNotifySelectedKeyboardInputSourceChanged");
}

void LanguageChangePipeline::onInputSourceChanged()
{
    AppLog::debug("Input source notification received");
    refreshStateAndApplyCursor(false, "input-source-notification");
}

void LanguageChangePipeline::startInputSourcePollingFallback()
{
    AppLog::info("Input source polling fallback started: interval=0.25s");
    inputSourcePollTimer_ = runLoop_.every(pollInterval, [this, alive = aliveToken()] {
        if (alive.lock())
            refreshStateAndApplyCursor(false, "poll");
    });
}

void LanguageChangePipeline::startCursorSeedWatchdog()
{
    AppLog::info("Cursor seed watchdog started: interval=0.20s");
    cursorSeedWatchdogTimer_ = runLoop_.every(watchdogInterval, [this, alive = aliveToken()] {
        if (alive.lock())
            handleCursorSeedWatchdogTick();
    });
}

void LanguageChangePipeline::refreshStateAndApplyCursor(bool force, const std::string& trigger)
{
    LanguageState state = detector_.detect();
    const InputLanguage& language = state.language;
    // The poll runs four times a second: its debug lines are not even
    // composed unless they are written.
    if (AppLog::verboseEnabled())
        AppLog::debug("State detected trigger=" + trigger + " code=" + language.code() +
                      " sourceID=" + language.sourceID() + " name=" + language.displayName());
    bool codeUnchanged = lastLanguageCode_ && *lastLanguageCode_ == language.code();
    bool sourceUnchanged = lastInputSourceID_ && *lastInputSourceID_ == language.sourceID();
    bool layoutChanged = telemetryReporter_.observeLayout(language.code(), false);
    if (!force && codeUnchanged && sourceUnchanged) {
        if (AppLog::verboseEnabled())
            AppLog::debug("Apply skipped trigger=" + trigger + " code/source unchanged");
        onRefreshed_(state, language.code(), trigger);
        return;
    }
    if (layoutChanged)
        telemetryReporter_.recordSwitch(language.code());
    cancelStabilizationReapplies();
    watchdogSuppressedUntil_ = runLoop_.now() + watchdogReapplyCooldown;
    bool applied = applyCursor(language);
    AppLog::info("Apply requested trigger=" + trigger + " force=" + LogFormat::boolean(force) +
                 " languageChanged=" + LogFormat::boolean(!codeUnchanged) +
                 " sourceChanged=" + LogFormat::boolean(!sourceUnchanged) + " prevCode=" + nilOr(lastLanguageCode_) +
                 " newCode=" + language.code() + " prevSource=" + nilOr(lastInputSourceID_) +
                 " newSource=" + language.sourceID() + " applied=" + LogFormat::boolean(applied));
    lastObservedCursorSeed_ = runtime_.currentCursorSeed();
    lastLanguage_ = language;
    lastLanguageCode_ = language.code();
    lastInputSourceID_ = language.sourceID();
    onRefreshed_(state, language.code(), trigger);
}

bool LanguageChangePipeline::applyCursor(const InputLanguage& language)
{
    if (!cursorController_) {
        AppLog::error("applyCursor aborted: cursor controller is nil");
        telemetryReporter_.recordCursorOutcome("failure", true);
        return false;
    }
    if (!cursorController_->isRuntimeAvailable()) {
        AppLog::error("applyCursor aborted: runtime unavailable");
        telemetryReporter_.recordCursorOutcome("failure", true);
        return false;
    }
    CursorStyle style = preferences_.style(language);
    std::optional<CursorMarker> badge = marker(style, language);
    std::string styleCode(rawValue(style));
    AppLog::info("Applying cursor for language=" + language.code() + " badge=" + language.badgeText() +
                 " style=" + styleCode + " marker=" + (badge ? "custom" : "system"));
    auto before = currentFingerprint();
    bool result = cursorController_->apply(badge, language.code(), styleCode, preferences_.isLeftHanded());
    auto after = currentFingerprint();
    bool visiblyChanged = before && after && *before != *after;
    if (result && badge && !visiblyChanged)
        scheduleStabilizationReapply(language, 1);
    AppLog::info("cursorController.apply result language=" + language.code() + " style=" + styleCode +
                 " result=" + LogFormat::boolean(result));
    telemetryReporter_.recordCursorOutcome(result ? "success" : "failure", true);
    return result;
}

void LanguageChangePipeline::scheduleStabilizationReapply(const InputLanguage& expectedLanguage, int attempt)
{
    if (attempt > lastStabilizationAttempt)
        return;
    auto item = runLoop_.after(stabilizationDelay(attempt),
                                      [this, alive = aliveToken(), expectedLanguage, attempt] {
                                          if (alive.lock())
                                              runStabilizationAttempt(expectedLanguage, attempt);
                                      });
    stabilizationReapplyWorkItems_.push_back(item);
}

void LanguageChangePipeline::runStabilizationAttempt(const InputLanguage& expectedLanguage, int attempt)
{
    if (!lastLanguageCode_ || *lastLanguageCode_ != expectedLanguage.code())
        return;
    InputLanguage current = lastLanguage_.value_or(expectedLanguage);
    if (current.code() != expectedLanguage.code())
        return;
    CursorStyle style = preferences_.style(current);
    std::optional<CursorMarker> badge = marker(style, current);
    if (!badge)
        return;
    auto connection = runtime_.mainConnectionID();
    if (!connection)
        return;
    auto before = runtime_.currentCursorFingerprint(*connection);
    bool result = cursorController_->apply(badge, current.code(), std::string(rawValue(preferences_.style(current))),
                                          preferences_.isLeftHanded());
    auto after = runtime_.currentCursorFingerprint(*connection);
    // Our own activation gives a new seed; the watchdog must not take it for
    // someone else's cursor and re-apply, which would start another chain.
    if (result)
        lastObservedCursorSeed_ = runtime_.currentCursorSeed();
    bool hashChanged = before && after && *before != *after;
    AppLog::info("Stabilization reapply attempt=" + std::to_string(attempt) + " language=" + current.code() +
                 " result=" + LogFormat::boolean(result) + " hashChanged=" + LogFormat::boolean(hashChanged));
    if (result && !hashChanged)
        scheduleStabilizationReapply(current, attempt + 1);
}

void LanguageChangePipeline::cancelStabilizationReapplies()
{
    for (const auto& item : stabilizationReapplyWorkItems_)
        item->cancel();
    stabilizationReapplyWorkItems_.clear();
}

void LanguageChangePipeline::suppressWatchdog(double seconds)
{
    watchdogSuppressedUntil_ = runLoop_.now() + seconds;
    lastObservedCursorSeed_ = runtime_.currentCursorSeed();
}

void LanguageChangePipeline::stop()
{
    for (auto* handle : {&inputSourceObserver_, &inputSourcePollTimer_, &cursorSeedWatchdogTimer_}) {
        if (*handle)
            (*handle)->cancel();
        handle->reset();
    }
    cancelStabilizationReapplies();
}

void LanguageChangePipeline::handleCursorSeedWatchdogTick()
{
    if (isWatchdogReapplyInProgress_)
        return;
    auto seed = runtime_.currentCursorSeed();
    if (!seed)
        return;
    if (!lastObservedCursorSeed_ || runLoop_.now() < watchdogSuppressedUntil_ || !lastLanguage_ ||
        !lastLanguageCode_ || *lastLanguageCode_ != lastLanguage_->code() ||
        preferences_.style(*lastLanguage_) == CursorStyle::system) {
        lastObservedCursorSeed_ = seed;
        return;
    }
    if (*seed == *lastObservedCursorSeed_)
        return;
    AppLog::info("Cursor seed watchdog detected seed change old=" + std::to_string(*lastObservedCursorSeed_) +
                 " new=" + std::to_string(*seed) + "; reapplying");
    isWatchdogReapplyInProgress_ = true;
    watchdogSuppressedUntil_ = runLoop_.now() + watchdogReapplyCooldown;
    applyCursor(*lastLanguage_);
    isWatchdogReapplyInProgress_ = false;
    lastObservedCursorSeed_ = runtime_.currentCursorSeed().value_or(*seed);
}

std::optional<std::string> LanguageChangePipeline::currentFingerprint() const
{
    auto connection = runtime_.mainConnectionID();
    return connection ? runtime_.currentCursorFingerprint(*connection) : std::nullopt;
}
