#include "app/ControlCommand.h"

#include "accessibility/CursorAccessibilityAppearanceController.h"
#include "app/TarnwickTrayApp.h"
#include "base/AppLog.h"
#include "platform/instance/InstanceLock.h"
#include "platform/provider/WindowServerProvider.h"
#include "platform/sessionbus/ControlClient.h"
#include "platform/sessionbus/SessionBusControl.h"
#include "runtime/CGSRuntime.h"

#include <iostream>

namespace {

using Verb = CommandLine::Verb;

// Its restore done, a quitting Tarnwick is gone within a second.
constexpr double quitSeconds = 10;

int fail(const std::string& problem)
{
    std::cerr << "tarnwick: " << problem << "\n";
    return 1;
}

int notRunning(const ControlClient& client)
{
    return fail(client.hasBus() ? "Tarnwick is not running"
                                : "Tarnwick is not running on a session bus (there is none here to reach it over)");
}

int printStatus(const ControlClient& client)
{
    ControlClient::Status status = client.status();
    if (status.error)
        return fail(*status.error);
    const ControlState& state = status.state;
    std::cout << "language: " << state.languageCode << '\t' << state.badgeText << '\t' << state.languageName << '\t'
              << state.sourceID << "\n"
              << "style: " << state.style << "\n"
              << "left-handed: " << (state.leftHanded ? "on" : "off") << "\n";
    return 0;
}

ControlClient::Answer send(const ControlClient& client, const CommandLine& command)
{
    switch (command.verb) {
    case Verb::quit:
        return client.call("Quit");
    case Verb::reapply:
        return client.call("Reapply");
    case Verb::restore:
        return client.call("Restore");
    case Verb::style:
        return client.call("SetStyle", {command.style});
    case Verb::leftHanded:
        return client.call("SetLeftHanded", {command.leftHanded});
    case Verb::checkForUpdates:
        return client.call("CheckForUpdates");
    case Verb::status:
        break;
    }
    return {};
}

int askRunningInstance(const ControlClient& client, const CommandLine& command)
{
    if (command.verb == Verb::status)
        return printStatus(client);
    ControlClient::Answer answer = send(client, command);
    if (answer.error)
        return fail(*answer.error);
    if (command.verb == Verb::restore && answer.result == false)
        return fail("the running Tarnwick could not put the system cursors back; its log says why");
    if (command.verb == Verb::quit && !client.waitUntilGone(quitSeconds))
        return fail("Tarnwick has not quit yet");
    return 0;
}

// The steps a start after a crash takes first: the provider the environment
// chooses puts the desktop's cursor theme back as it loads, the pointer
// accessibility settings come back from their backup, and the window
// server's cursors are reset.
int mendKilledRun()
{
    AppLog::info("Restore requested with no Tarnwick running; putting back what an earlier run left changed");
    WindowServerProvider::loadFromEnvironment();
    CursorAccessibilityAppearanceController accessibility;
    bool recovered = accessibility.recoverPreviousSessionIfNeeded();
    TarnwickTrayApp::hardResetSystemCursors(CGSRuntime::shared());
    AppLog::flush();
    if (!recovered)
        return fail("could not put the pointer accessibility settings back; their backup stays in " +
                    accessibility.backupURL);
    return 0;
}

}

int ControlCommand::run(const CommandLine& command)
{
    ControlClient client;
    if (command.verb != Verb::restore)
        return client.instanceRunning() ? askRunningInstance(client, command) : notRunning(client);
    // Holding the name and the lock while mending keeps a Tarnwick from
    // starting halfway through; one that runs already is asked instead.
    SessionBusControl name;
    if (name.claim() == SessionBusControl::Claim::taken)
        return askRunningInstance(client, command);
    if (!InstanceLock::tryAcquire())
        return fail("Tarnwick is running, but not on a session bus this command can reach");
    return mendKilledRun();
}
