#include "app/CommandLine.h"

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
    std::size_t expected = 1;
    if (first == "--help" || first == "-h") {
        line.action = Action::help;
    } else if (first == "--version") {
        line.action = Action::version;
    } else if (first == "--detect") {
        line.action = Action::detect;
    } else if (first == "--render-previews") {
        if (arguments.size() < 2 || arguments[1].empty())
            return invalid("--render-previews needs a folder");
        line.action = Action::renderPreviews;
        line.previewDirectory = arguments[1];
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
           "Options:\n"
           "  --detect                 print the language of the current input source and exit\n"
           "  --render-previews DIR    write pictures of every badge style into DIR and exit\n"
           "  --version                print the version and exit\n"
           "  --help                   print this help and exit\n";
}
