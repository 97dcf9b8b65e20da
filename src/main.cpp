#include "app/CommandLine.h"
#include "app/GracefulTermination.h"
#include "app/TarnwickTrayApp.h"
#include "base/AppLog.h"
#include "language/LanguageDetector.h"
#include "platform/display/DisplayLoss.h"
#include "platform/graphics/GuiApplication.h"
#include "platform/instance/InstanceLock.h"
#include "platform/provider/WindowServerProvider.h"
#include "platform/runloop/QtRunLoop.h"
#include "render/CursorPreviews.h"

#include <QApplication>

#include <cstdlib>
#include <iostream>

namespace {

// One line for users and bug reports: code, badge text, display name and
// source identifier, separated by tabs.
int printDetectedLanguage()
{
    InputLanguage language = LanguageDetector().detect().language;
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

int runTray(int argc, char** argv)
{
    if (!InstanceLock::acquire())
        return 0;
    AppLog::clearFile();
    // The runtime resolves the window server's functions when the delegate
    // is created, so the provider must be in the process before that.
    WindowServerProvider::loadFromEnvironment();
    GuiApplication::choosePlatform();
    QApplication application(argc, argv);
    QApplication::setApplicationName("Tarnwick");
    // An accessory application: no window, so closing one must not quit.
    QApplication::setQuitOnLastWindowClosed(false);
    QtRunLoop loop;
    RunLoop::setMain(&loop);

    TarnwickTrayApp delegate;
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
    case CommandLine::Action::run:
        break;
    }
    return runTray(argc, argv);
}
