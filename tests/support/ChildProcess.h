#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Runs a program (usually the tarnwick executable) for an end-to-end test,
// with extra environment variables and its output captured to files.
class ChildProcess {
public:
    ChildProcess(std::vector<std::string> arguments, std::map<std::string, std::string> environment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    int pid() const { return pid_; }
    void signal(int signo) const;
    // The exit status (or 128 + signal) once the process has ended, or nothing
    // if it is still running after the timeout.
    std::optional<int> wait(double timeoutSeconds);
    std::string standardOutput() const;
    std::string standardError() const;

    // The built tarnwick program.
    static std::string programPath();

private:
    int pid_ = -1;
    std::optional<int> status_;
    std::string outPath_, errPath_;
};

// Polls a condition without sleeping past the deadline; for waiting on another
// process, never on this process's own timers.
bool waitUntil(double timeoutSeconds, const std::function<bool()>& condition);
