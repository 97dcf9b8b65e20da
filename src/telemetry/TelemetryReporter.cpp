#include "telemetry/TelemetryReporter.h"

#include "base/AppLog.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/files/UserDirectories.h"
#include "platform/http/HttpUrl.h"
#include "platform/system/SystemInfo.h"
#include "platform/system/Uuid.h"
#include "telemetry/TelemetryIdentity.h"

#include <algorithm>
#include <array>
#include <cstdlib>

using nlohmann::json;

namespace {

IsoDate::Date now()
{
    return std::chrono::system_clock::now();
}

}


TelemetryReporter::TelemetryReporter(UserDefaults& defaults, Options options)
    : defaults(defaults), options(std::move(options)), lastSeenAt(now()), telemetrySessionId(Uuid::random())
{
    auto valid = HttpUrl::validated(this->options.endpoint);
    if (!valid) {
        if (!this->options.endpoint.empty())
            AppLog::warn("Telemetry endpoint ignored: not an http or https address");
        return;
    }
    endpoint = *valid;
    // Nothing about this installation is written unless telemetry is on.
    TelemetryIdentity identity = TelemetryIdentity::loadOrCreate(defaults);
    installId = identity.installId;
    firstSeenAt = identity.firstSeenAt;
    initializeTelemetry(identity.isFirstLaunch, identity.firstSeenAt);
}

TelemetryReporter::~TelemetryReporter()
{
    if (telemetryTimer)
        telemetryTimer->cancel();
}

void TelemetryReporter::initializeTelemetry(bool isFirstLaunch, const std::string& knownFirstSeenAt)
{
    if (telemetryStore || installId.empty() || endpoint.empty())
        return;
    std::string folder = options.outboxFolder.empty() ? UserDirectories::applicationSupport() + "/OrvelleTelemetry/kr1"
                                                      : options.outboxFolder;
    TelemetryStore::Options outbox;
    outbox.fileURL = folder + "/" + installId + ".json";
    outbox.endpoint = endpoint;
    outbox.firstSeenAt = knownFirstSeenAt;
    outbox.isFirstLaunch = isFirstLaunch;
    outbox.maxEntries = 512;
    outbox.maxBytes = 2097152;
    outbox.retention = 604800;
    outbox.retryDelay = 60;
    outbox.transport = options.transport;
    outbox.diagnostic = [](const std::string& message) { AppLog::warn(message); };
    telemetryStore = std::make_unique<TelemetryStore>(std::move(outbox));

    lastSeenAt = now();
    synchronizeTelemetryOnLaunch(isFirstLaunch);
    telemetryTimer = RunLoop::main().every(keepAliveInterval, [this] { sendKeepAlive(); });
}

void TelemetryReporter::synchronizeTelemetryOnLaunch(bool isFirstLaunch)
{
    std::string eventType = updateVersionTrackingForCurrentLaunch(isFirstLaunch);
    trackEvent(eventType, {{"isFirstLaunch", isFirstLaunch}});
}

std::string TelemetryReporter::updateVersionTrackingForCurrentLaunch(bool isFirstLaunch)
{
    std::string current = currentAppVersion();
    if (!defaults.contains(std::string(versionKeyPrefix) + "installVersion"))
        storeVersion("installVersion", current);
    std::string lastSeen = storedVersion("lastSeenVersion");
    std::string eventType = "launch";
    if (isFirstLaunch) {
        eventType = "activation";
    } else if (!lastSeen.empty() && lastSeen != current) {
        storeVersion("updatedFromVersion", lastSeen);
        storeVersion("updatedToVersion", current);
        storeVersion("lastUpdatedAt", IsoDate::format(now()));
        eventType = "update";
    }
    storeVersion("lastSeenVersion", current);
    return eventType;
}

void TelemetryReporter::trackEvent(const std::string& eventType, json properties)
{
    if (!telemetryStore)
        return;
    IsoDate::Date eventAt = now();
    json event = {
        {"installId", installId},
        {"appVariant", "kr1"},
        {"appVersion", currentAppVersion()},
        {"appBuildVersion", currentBuildVersion()},
        {"firstSeenAt", firstSeenAt},
        {"lastSeenAt", IsoDate::format(lastSeenAt)},
        {"eventAt", IsoDate::format(eventAt)},
    };
    event.update(versionTelemetryFields(eventType));
    event.update(telemetryEnvelopeFields(eventType, eventAt, std::move(properties)));
    telemetryStore->enqueue(std::move(event));
}

json TelemetryReporter::versionTelemetryFields(const std::string& eventType) const
{
    std::string installVersion = storedVersion("installVersion");
    return {
        {"installVersion", installVersion.empty() ? currentAppVersion() : installVersion},
        {"updatedFromVersion", storedVersion("updatedFromVersion")},
        {"updatedToVersion", storedVersion("updatedToVersion")},
        {"lastUpdatedAt", storedVersion("lastUpdatedAt")},
        {"eventType", eventType},
    };
}

json TelemetryReporter::telemetryEnvelopeFields(const std::string& eventType, IsoDate::Date eventAt,
                                                json properties) const
{
    return {
        {"schemaVersion", 3},
        {"eventId", Uuid::random()},
        {"sessionId", telemetrySessionId},
        {"eventCategory", eventCategory(eventType)},
        // The collector learns which desktop the client runs on.
        {"platform", "linux"},
        {"osVersion", SystemInfo::productName()},
        {"architecture", SystemInfo::architecture()},
        {"uiLocale", SystemInfo::userInterfaceLocale()},
        {"inputLanguage", telemetryInputLanguage},
        {"featureEnabled", telemetryFeatureEnabled},
        {"cursorApplyResult", cursorApplyResult},
        {"clientSentAt", IsoDate::format(eventAt)},
        {"properties", properties.is_object() ? std::move(properties) : json::object()},
    };
}

void TelemetryReporter::recordCursorOutcome(const std::string& result, bool enabled)
{
    cursorApplyResult = result;
    telemetryFeatureEnabled = enabled;
    if (auto eventType = cursorOutcomeTracker.observe(result, enabled, RunLoop::main().now()))
        trackEvent(*eventType);
}

bool TelemetryReporter::observeLayout(const std::string& inputLanguage, bool appOriginated)
{
    telemetryInputLanguage = inputLanguage;
    if (!layoutActivityTracker.observe(inputLanguage) || appOriginated)
        return false;
    lastSeenAt = now();
    if (telemetryStore)
        telemetryStore->recordObservedLayoutChange();
    return true;
}

void TelemetryReporter::recordSwitch(const std::string& inputLanguage)
{
    if (!inputLanguage.empty())
        telemetryInputLanguage = inputLanguage;
}

void TelemetryReporter::finishTelemetry()
{
    if (telemetryTimer) {
        telemetryTimer->cancel();
        telemetryTimer.reset();
    }
    trackEvent("activity_summary", {{"source", "termination"}});
    trackEvent("exit");
    if (telemetryStore)
        telemetryStore->commitPending(0.25);
}

void TelemetryReporter::sendKeepAlive()
{
    trackEvent("session_alive", {{"intervalSeconds", 300}});
    trackEvent("activity_summary", {{"intervalSeconds", 300}});
}

std::string TelemetryReporter::storedVersion(const char* name) const
{
    return defaults.string(std::string(versionKeyPrefix) + name).value_or("");
}

void TelemetryReporter::storeVersion(const char* name, const std::string& value)
{
    defaults.set(std::string(versionKeyPrefix) + name, value);
}

std::string TelemetryReporter::currentAppVersion()
{
    return TARNWICK_VERSION;
}

std::string TelemetryReporter::currentBuildVersion()
{
    // The Linux build carries no separate build number.
    return "1";
}

std::string TelemetryReporter::eventCategory(std::string_view eventType)
{
    static constexpr std::array<std::string_view, 5> lifecycle = {"activation", "launch", "update", "exit",
                                                                  "session_alive"};
    static constexpr std::array<std::string_view, 2> activity = {"auto_return", "activity_summary"};
    static constexpr std::array<std::string_view, 9> settings = {
        "style_changed",          "handedness_changed",     "reapply",
        "restore",                "autostart_changed",      "primary_layout_changed",
        "primary_layout_cleared", "auto_return_delay_changed", "ui_locale_changed"};
    auto isIn = [&](const auto& list) { return std::find(list.begin(), list.end(), eventType) != list.end(); };
    if (isIn(lifecycle))
        return "lifecycle";
    if (isIn(activity))
        return "activity";
    if (isIn(settings))
        return "settings";
    if (eventType.starts_with("update_"))
        return "updates";
    return "feature";
}

std::string TelemetryReporter::configuredEndpoint(const UserDefaults& defaults)
{
    const char* environment = std::getenv("TARNWICK_TELEMETRY_ENDPOINT");
    if (environment && environment[0])
        return environment;
    return defaults.string(endpointKey).value_or("");
}
