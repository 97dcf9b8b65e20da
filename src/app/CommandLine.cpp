#include "app/CommandLine.h"

#include <map>

namespace {

const std::map<std::string, CommandLine::Verb> plainVerbs{
    {"--quit", CommandLine::Verb::quit},
    {"--reapply", CommandLine::Verb::reapply},
    {"--restore", CommandLine::Verb::restore},
    {"--check-for-updates", CommandLine::Verb::checkForUpdates},
    {"--status", CommandLine::Verb::status},
};

}

CommandLine CommandLine::parse(const std::vector<std::string>& arguments)
{
    CommandLine line;
    auto invalid = [&line](std::string problem) {
        line.action = Action::invalid;
        line.problem = std::move(problem);
        return line;
    };
    if (arguments.empty())
        return line;
    const std::string& first = arguments[0];
    const std::string second = arguments.size() > 1 ? arguments[1] : "";
    std::size_t expected = 1;
    if (first == "--help" || first == "-h") {
        line.action = Action::help;
    } else if (first == "--version") {
        line.action = Action::version;
    } else if (first == "--detect") {
        line.action = Action::detect;
    } else if (first == "--render-previews") {
        if (second.empty())
            return invalid("--render-previews needs a folder");
        line.action = Action::renderPreviews;
        line.previewDirectory = second;
        expected = 2;
    } else if (auto verb = plainVerbs.find(first); verb != plainVerbs.end()) {
        line.action = Action::control;
        line.verb = verb->second;
    } else if (first == "--style") {
        if (second.empty())
            return invalid("--style needs a style: system, letterBadge, dotBadge or highContrast");
        line.action = Action::control;
        line.verb = Verb::style;
        line.style = second;
        expected = 2;
    } else if (first == "--left-handed") {
        if (second != "on" && second != "off")
            return invalid("--left-handed needs on or off");
        line.action = Action::control;
        line.verb = Verb::leftHanded;
        line.leftHanded = second == "on";
        expected = 2;
    } else {
        return invalid("unknown option: " + first);
    }
    if (arguments.size() > expected)
        return invalid("unexpected argument: " + arguments[expected]);
    return line;
}

std::string CommandLine::usage()
{
    return "Usage: tarnwick [option]\n"
           "Shows the current keyboard language as a badge on the mouse pointer.\n"
           "\n"
           "Without an option Tarnwick runs in the tray until you quit it.\n"
           "\n"
           "Options that control the running Tarnwick (over the session bus):\n"
           "  --status                 print its language, style and left-handed mode\n"
           "  --style STYLE            choose the badge style: system, letterBadge, dotBadge\n"
           "                           or highContrast\n"
           "  --left-handed on|off     mirror the cursors for left-handed use, or not\n"
           "  --reapply                apply the badge for the current language again\n"
           "  --restore                put the system cursors back; with no Tarnwick running,\n"
           "                           put back what a run that was killed left changed\n"
           "  --check-for-updates      check for updates; the answer comes as a notification\n"
           "  --quit                   quit it, putting your cursors back\n"
           "Each says so and exits with status 1 when no Tarnwick runs, except --restore.\n"
           "\n"
           "Other options:\n"
           "  --detect                 print the language of the current input source and exit\n"
           "  --render-previews DIR    write pictures of every badge style into DIR and exit\n"
           "  --version                print the version and exit\n"
           "  --help                   print this help and exit\n";
}
