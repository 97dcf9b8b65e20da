#pragma once

#include <string>
#include <vector>

// What the user asked for on the command line.
struct CommandLine {
    enum class Action { run, help, version, detect, renderPreviews, invalid };

    Action action = Action::run;
    std::string previewDirectory;
    std::string problem;

    static CommandLine parse(const std::vector<std::string>& arguments);
    static std::string usage();
};
