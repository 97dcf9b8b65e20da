#include "support/TarnwickProgram.h"

#include "support/TempHome.h"

#include <cstdlib>
#include <filesystem>

TarnwickProgram::TarnwickProgram()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-log-XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    logPath_ = folder_ + "/Tarnwick.log";
}

TarnwickProgram::~TarnwickProgram()
{
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::unique_ptr<ChildProcess> TarnwickProgram::launch(std::map<std::string, std::string> environment,
                                                      const std::vector<std::string>& arguments,
                                                      const std::string& program) const
{
    std::error_code ignored;
    if (std::filesystem::is_regular_file(logPath_, ignored))
        std::filesystem::remove(logPath_, ignored);
    environment["TARNWICK_LOG_FILE"] = logPath_;
    environment.try_emplace("DBUS_SESSION_BUS_ADDRESS", noSessionBus);
    // Qt 6.8 asks the desktop portal for its version as the program starts
    // and leaks the pending call when the program quits before the answer,
    // which LeakSanitizer reports. The tests' sessions have no portal.
    environment.try_emplace("QT_NO_XDG_DESKTOP_PORTAL", "1");
    std::vector<std::string> command{program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return std::make_unique<ChildProcess>(std::move(command), std::move(environment));
}

std::string TarnwickProgram::log() const
{
    return TempHome::readFile(logPath_);
}

bool TarnwickProgram::waitForLog(const std::string& piece, double seconds) const
{
    return waitUntil(seconds, [&] { return log().find(piece) != std::string::npos; });
}

bool inOrder(const std::string& text, const std::vector<std::string>& pieces)
{
    std::size_t at = 0;
    for (const auto& piece : pieces) {
        at = text.find(piece, at);
        if (at == std::string::npos)
            return false;
        at += piece.size();
    }
    return true;
}

std::size_t occurrences(const std::string& text, const std::string& piece)
{
    std::size_t count = 0;
    for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size()))
        ++count;
    return count;
}
