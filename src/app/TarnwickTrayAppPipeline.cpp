#include "app/TarnwickTrayApp.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"

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

void TarnwickTrayApp::onInputSourceChanged()
{
    AppLog::debug("Input source notification received");
    refreshStateAndApplyCursor(false, "input-source-notification");
}

void TarnwickTrayApp::startInputSourcePollingFallback()
{
    AppLog::info("Input source polling fallback started: interval=0.25s");
    inputSourcePollTimer = RunLoop::main().every(pollInterval, [this, alive = aliveToken()] {
        if (alive.lock())
            refreshStateAndApplyCursor(false, "poll");
    });
}

void TarnwickTrayApp::startCursorSeedWatchdog()
{
    AppLog::info("Cursor seed watchdog started: interval=0.20s");
    cursorSeedWatchdogTimer = RunLoop::main().every(watchdogInterval, [this, alive = aliveToken()] {
        if (alive.lock())
            handleCursorSeedWatchdogTick();
    });
}

void TarnwickTrayApp::refreshStateAndApplyCursor(bool force, const std::string& trigger)
{
    LanguageState state = detector.detect();
    const InputLanguage& language = state.language;
    AppLog::debug("State detected trigger=" + trigger + " code=" + language.code() +
                  " sourceID=" + language.sourceID() + " name=" + language.displayName());
    bool codeUnchanged = lastLanguageCode && *lastLanguageCode == language.code();
    bool sourceUnchanged = lastInputSourceID && *lastInputSourceID == language.sourceID();
    bool layoutChanged = telemetryReporter.observeLayout(language.code(), false);
    if (!force && codeUnchanged && sourceUnchanged) {
        AppLog::debug("Apply skipped trigger=" + trigger + " code/source unchanged");
        updateMenu(state, language.code(), trigger);
        return;
    }
    if (layoutChanged)
        telemetryReporter.recordSwitch(language.code());
    cancelStabilizationReapplies();
    watchdogSuppressedUntil = RunLoop::main().now() + watchdogReapplyCooldown;
    bool applied = applyCursor(language);
    AppLog::info("Apply requested trigger=" + trigger + " force=" + LogFormat::boolean(force) +
                 " languageChanged=" + LogFormat::boolean(!codeUnchanged) +
                 " sourceChanged=" + LogFormat::boolean(!sourceUnchanged) + " prevCode=" + nilOr(lastLanguageCode) +
                 " newCode=" + language.code() + " prevSource=" + nilOr(lastInputSourceID) +
                 " newSource=" + language.sourceID() + " applied=" + LogFormat::boolean(applied));
    lastObservedCursorSeed = runtime.currentCursorSeed();
    lastLanguage = language;
    lastLanguageCode = language.code();
    lastInputSourceID = language.sourceID();
    updateMenu(state, language.code(), trigger);
}

bool TarnwickTrayApp::applyCursor(const InputLanguage& language)
{
    if (!cursorController) {
        AppLog::error("applyCursor aborted: cursor controller is nil");
        telemetryReporter.recordCursorOutcome("failure", true);
        return false;
    }
    if (!cursorController->isRuntimeAvailable()) {
        AppLog::error("applyCursor aborted: runtime unavailable");
        telemetryReporter.recordCursorOutcome("failure", true);
        return false;
    }
    CursorStyle style = preferences.style(language);
    std::optional<CursorMarker> badge = marker(style, language);
    std::string styleCode(rawValue(style));
    AppLog::info("Applying cursor for language=" + language.code() + " badge=" + language.badgeText() +
                 " style=" + styleCode + " marker=" + (badge ? "custom" : "system"));
    auto before = currentFingerprint();
    bool result = cursorController->apply(badge, language.code(), styleCode, preferences.isLeftHanded());
    auto after = currentFingerprint();
    bool visiblyChanged = before && after && *before != *after;
    if (result && badge && !visiblyChanged)
        scheduleStabilizationReapply(language, 1);
    AppLog::info("cursorController.apply result language=" + language.code() + " style=" + styleCode +
                 " result=" + LogFormat::boolean(result));
    telemetryReporter.recordCursorOutcome(result ? "success" : "failure", true);
    return result;
}

void TarnwickTrayApp::scheduleStabilizationReapply(const InputLanguage& expectedLanguage, int attempt)
{
    if (attempt > lastStabilizationAttempt)
        return;
    auto item = RunLoop::main().after(stabilizationDelay(attempt),
                                      [this, alive = aliveToken(), expectedLanguage, attempt] {
                                          if (alive.lock())
                                              runStabilizationAttempt(expectedLanguage, attempt);
                                      });
    stabilizationReapplyWorkItems.push_back(item);
}

void TarnwickTrayApp::runStabilizationAttempt(const InputLanguage& expectedLanguage, int attempt)
{
    if (!lastLanguageCode || *lastLanguageCode != expectedLanguage.code())
        return;
    InputLanguage current = lastLanguage.value_or(expectedLanguage);
    if (current.code() != expectedLanguage.code())
        return;
    CursorStyle style = preferences.style(current);
    std::optional<CursorMarker> badge = marker(style, current);
    if (!badge)
        return;
    auto connection = runtime.mainConnectionID();
    if (!connection)
        return;
    auto before = runtime.currentCursorFingerprint(*connection);
    bool result = cursorController->apply(badge, current.code(), std::string(rawValue(preferences.style(current))),
                                          preferences.isLeftHanded());
    auto after = runtime.currentCursorFingerprint(*connection);
    // Our own activation gives a new seed; the watchdog must not take it for
    // someone else's cursor and re-apply, which would start another chain.
    if (result)
        lastObservedCursorSeed = runtime.currentCursorSeed();
    bool hashChanged = before && after && *before != *after;
    AppLog::info("Stabilization reapply attempt=" + std::to_string(attempt) + " language=" + current.code() +
                 " result=" + LogFormat::boolean(result) + " hashChanged=" + LogFormat::boolean(hashChanged));
    if (result && !hashChanged)
        scheduleStabilizationReapply(current, attempt + 1);
}

void TarnwickTrayApp::cancelStabilizationReapplies()
{
    for (const auto& item : stabilizationReapplyWorkItems)
        item->cancel();
    stabilizationReapplyWorkItems.clear();
}

void TarnwickTrayApp::handleCursorSeedWatchdogTick()
{
    if (isWatchdogReapplyInProgress)
        return;
    auto seed = runtime.currentCursorSeed();
    if (!seed)
        return;
    if (!lastObservedCursorSeed || RunLoop::main().now() < watchdogSuppressedUntil || !lastLanguage ||
        !lastLanguageCode || *lastLanguageCode != lastLanguage->code() ||
        preferences.style(*lastLanguage) == CursorStyle::system) {
        lastObservedCursorSeed = seed;
        return;
    }
    if (*seed == *lastObservedCursorSeed)
        return;
    AppLog::info("Cursor seed watchdog detected seed change old=" + std::to_string(*lastObservedCursorSeed) +
                 " new=" + std::to_string(*seed) + "; reapplying");
    isWatchdogReapplyInProgress = true;
    watchdogSuppressedUntil = RunLoop::main().now() + watchdogReapplyCooldown;
    applyCursor(*lastLanguage);
    isWatchdogReapplyInProgress = false;
    lastObservedCursorSeed = runtime.currentCursorSeed().value_or(*seed);
}

std::optional<std::string> TarnwickTrayApp::currentFingerprint() const
{
    auto connection = runtime.mainConnectionID();
    return connection ? runtime.currentCursorFingerprint(*connection) : std::nullopt;
}
