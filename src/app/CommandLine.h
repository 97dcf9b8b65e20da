#pragma once

#include <string>
#include <vector>

// What the user asked for on the command line.
struct CommandLine {
    enum class Action { run, help, version, detect, renderPreviews, control, invalid };
    // What a control action asks of the running Tarnwick.
    enum class Verb { quit, reapply, restore, style, leftHanded, checkForUpdates, status };

    Action action = Action::run;
    Verb verb = Verb::status;
    std::string previewDirectory;
    // For Verb::style, as given: the running program judges it.
    std::string style;
    bool leftHanded = false;
    std::string problem;

    static CommandLine parse(const std::vector<std::string>& arguments);
    static std::string usage();
};
