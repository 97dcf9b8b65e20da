#pragma once

#include "platform/runloop/RunLoop.h"
#include "telemetry/CursorOutcomeTracker.h"
#include "telemetry/IsoDate.h"
#include "telemetry/LayoutActivityTracker.h"
#include "telemetry/TelemetryStore.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <string_view>

class UserDefaults;

// Turns what happens in the application into telemetry events for the
// outbox: the launch and the version history, settings changes, keyboard
// layout activity, how cursor application fares, a keep-alive every five
// minutes and a summary at exit. Without a configured collector, or without
// an installation identifier, there is no outbox and every event is dropped.
//
// Every method runs on the main thread.
class TelemetryReporter {
public:
    struct Options {
        // Telemetry stays off unless this is an http or https address.
        std::string endpoint;
        // Empty: <Application Support>/OrvelleTelemetry/kr1
        std::string outboxFolder;
        // How events travel (TelemetryStore::networkTransport).
        TelemetryStore::Transport transport;
    };

    TelemetryReporter(UserDefaults& defaults, Options options);
    ~TelemetryReporter();
    TelemetryReporter(const TelemetryReporter&) = delete;
    TelemetryReporter& operator=(const TelemetryReporter&) = delete;

    // What the application reports. Menu actions send "style_changed",
    // "handedness_changed", "reapply", "restore" and "autostart_changed"
    // through trackEvent.
    void trackEvent(const std::string& eventType, nlohmann::json properties = nlohmann::json::object());
    // After every cursor application attempt: "success", "failure" or "suppressed".
    void recordCursorOutcome(const std::string& result, bool enabled);
    // Every keyboard language the language-change pipeline sees; true when it
    // counts as a real layout change.
    bool observeLayout(const std::string& inputLanguage, bool appOriginated);
    // After each applied language change.
    void recordSwitch(const std::string& inputLanguage);
    // Once, at termination: the closing events, saved within a quarter second.
    void finishTelemetry();

    void initializeTelemetry(bool isFirstLaunch, const std::string& knownFirstSeenAt);
    void synchronizeTelemetryOnLaunch(bool isFirstLaunch);
    std::string updateVersionTrackingForCurrentLaunch(bool isFirstLaunch);
    nlohmann::json versionTelemetryFields(const std::string& eventType) const;
    nlohmann::json telemetryEnvelopeFields(const std::string& eventType, IsoDate::Date eventAt,
                                           nlohmann::json properties) const;

    bool isEnabled() const { return telemetryStore != nullptr; }

    static std::string currentAppVersion();
    static std::string currentBuildVersion();
    static std::string eventCategory(std::string_view eventType);
    // TARNWICK_TELEMETRY_ENDPOINT when set and not empty, else the defaults key
    // "tarnwick.telemetry.endpoint"; empty when neither is set.
    static std::string configuredEndpoint(const UserDefaults& defaults);

    static constexpr const char* versionKeyPrefix = "com.orvelle.telemetry.kr1.";
    static constexpr const char* endpointKey = "tarnwick.telemetry.endpoint";
    static constexpr double keepAliveInterval = 300;

private:
    std::string storedVersion(const char* name) const;
    void storeVersion(const char* name, const std::string& value);
    void sendKeepAlive();

    UserDefaults& defaults;
    Options options;
    std::string endpoint;
    std::string installId;
    std::string firstSeenAt;
    IsoDate::Date lastSeenAt;
    const std::string telemetrySessionId;
    LayoutActivityTracker layoutActivityTracker;
    std::unique_ptr<TelemetryStore> telemetryStore;
    std::shared_ptr<RunLoop::Handle> telemetryTimer;
    bool telemetryFeatureEnabled = false;
    std::string cursorApplyResult = "unknown";
    CursorOutcomeTracker cursorOutcomeTracker;
    std::string telemetryInputLanguage;
};
