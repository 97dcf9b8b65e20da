#include "accessibility/CursorAccessibilityAppearanceController.h"
#include "app/AppServices.h"
#include "app/CommandLine.h"
#include "app/ControlCommand.h"
#include "app/FirstStartNotice.h"
#include "app/GracefulTermination.h"
#include "app/TarnwickTrayApp.h"
#include "base/AppLog.h"
#include "base/Text.h"
#include "capes/CursorCapeStore.h"
#include "language/LanguageDetector.h"
#include "platform/autostart/LaunchAgent.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/display/DisplayLoss.h"
#include "platform/files/LogFile.h"
#include "platform/graphics/GuiApplication.h"
#include "platform/http/HttpSession.h"
#include "platform/input/InputSourceService.h"
#include "platform/instance/InstanceLock.h"
#include "platform/provider/WindowServerProvider.h"
#include "platform/runloop/QtRunLoop.h"
#include "platform/sessionbus/SessionBusControl.h"
#include "platform/statusbar/AccessoryApplication.h"
#include "platform/syslog/SystemLog.h"
#include "render/CursorPreviews.h"
#include "runtime/CGSRuntime.h"
#include "telemetry/TelemetryReporter.h"

#include <cstdlib>
#include <iostream>
#include <memory>

namespace {

bool seedWatchdogFromEnvironment()
{
    const char* raw = std::getenv("ORVELLE_ENABLE_SEED_WATCHDOG");
    if (!raw)
        return false;
    std::string value = lowercased(raw);
    return value == "1" || value == "true" || value == "yes";
}

// One line for users and bug reports: code, badge text, display name and
// source identifier, separated by tabs.
int printDetectedLanguage()
{
    std::unique_ptr<InputSourceService> inputSources = InputSourceService::fromEnvironment();
    InputLanguage language = LanguageDetector(*inputSources).detect().language;
    std::cout << language.code() << '\t' << language.badgeText() << '\t' << language.displayName() << '\t'
              << language.sourceID() << "\n";
    AppLog::flush();
    return 0;
}

int renderPreviews(const std::string& directory)
{
    CursorPreviews::Outcome outcome = CursorPreviews::write(directory);
    (outcome.succeeded ? std::cout : std::cerr) << "tarnwick: " << outcome.message << "\n";
    AppLog::flush();
    return outcome.succeeded ? 0 : 1;
}

// One Tarnwick per session bus, which names the running one, and per display.
bool isOnlyInstance(const SessionBusControl& control)
{
    if (control.claim() != SessionBusControl::Claim::taken)
        return InstanceLock::acquire();
    InstanceLock::reportAlreadyRunning();
    return false;
}

int runTray(int argc, char** argv)
{
    SessionBusControl control;
    if (!isOnlyInstance(control))
        return 0;
    AppLog::clearFile();
    // The runtime resolves the window server's functions when it is created
    // below, so the provider must be in the process before that.
    WindowServerProvider::loadFromEnvironment();
    GuiApplication::choosePlatform();
    AccessoryApplication application(argc, argv);
    QtRunLoop loop;
    RunLoop::setMain(&loop);

    // Created in the order their log lines have always come in: the input
    // sources, the telemetry reporter, then the runtime's resolution report.
    std::unique_ptr<InputSourceService> inputSources = InputSourceService::fromEnvironment();
    UserDefaults& defaults = UserDefaults::standard();
    // Whether this home starts for the first time is told by its settings, so
    // before anything writes them.
    FirstStartNotice firstStartNotice(defaults);
    // The telemetry outbox delivers through the shared session as well: one
    // transfer thread for the process.
    HttpSession& httpSession = HttpSession::shared();
    TelemetryReporter telemetryReporter(
        defaults, {TelemetryReporter::configuredEndpoint(defaults), {}, TelemetryStore::networkTransport(httpSession)});
    CursorAccessibilityAppearanceController accessibilityAppearanceController;
    CGSRuntime& runtime = CGSRuntime::shared();
    std::unique_ptr<LaunchAgent> launchAgent = LaunchAgent::forThisDesktop();
    TarnwickTrayApp delegate({.runLoop = loop,
                              .inputSources = *inputSources,
                              .defaults = defaults,
                              .telemetryReporter = telemetryReporter,
                              .accessibilityAppearanceController = accessibilityAppearanceController,
                              .runtime = runtime,
                              .capeStore = &CursorCapeStore::shared,
                              .httpSession = httpSession,
                              .launchAgent = *launchAgent,
                              .enableCursorSeedWatchdog = seedWatchdogFromEnvironment(),
                              .activationSwitches = ActivationSwitches::fromEnvironment(),
                              .control = control.claim() == SessionBusControl::Claim::claimed ? &control : nullptr,
                              .firstStartNotice = &firstStartNotice});
    DisplayLoss::install([&delegate](const std::string& cause) {
        AppLog::error("Display connection lost: " + cause + "; ending the program");
        delegate.terminate();
    });
    auto terminationSignalSources = installGracefulTerminationHandlers([&delegate] { delegate.terminate(); });
    loop.post([&delegate] { delegate.applicationDidFinishLaunching(); });
    int status = loop.run();
    AppLog::flush();
    RunLoop::setMain(nullptr);
    return status;
}

}

int main(int argc, char** argv)
{
    AppLog::connect(std::make_unique<LogFile>(), std::make_unique<SystemLog>());
    CommandLine command = CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    switch (command.action) {
    case CommandLine::Action::help:
        std::cout << CommandLine::usage();
        return 0;
    case CommandLine::Action::version:
        std::cout << "tarnwick " << TARNWICK_VERSION << "\n";
        return 0;
    case CommandLine::Action::invalid:
        std::cerr << "tarnwick: " << command.problem << "\n" << CommandLine::usage();
        return 2;
    case CommandLine::Action::detect:
        return printDetectedLanguage();
    case CommandLine::Action::renderPreviews:
        return renderPreviews(command.previewDirectory);
    case CommandLine::Action::control:
        return ControlCommand::run(command);
    case CommandLine::Action::run:
        break;
    }
    return runTray(argc, argv);
}
