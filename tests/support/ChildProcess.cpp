#include "support/ChildProcess.h"

#include "support/TempHome.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

ChildProcess::ChildProcess(std::vector<std::string> arguments, std::map<std::string, std::string> environment)
{
    std::string base = (std::filesystem::temp_directory_path() / "tarnwick-child-XXXXXX").string();
    int fd = mkstemp(base.data());
    close(fd);
    outPath_ = base + ".out";
    errPath_ = base + ".err";
    unlink(base.c_str());
    pid_ = fork();
    if (pid_ == 0) {
        for (const auto& [name, value] : environment)
            setenv(name.c_str(), value.c_str(), 1);
        int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv;
        for (auto& a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
}

ChildProcess::~ChildProcess()
{
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    unlink(outPath_.c_str());
    unlink(errPath_.c_str());
}

void ChildProcess::signal(int signo) const
{
    if (pid_ > 0 && !status_)
        kill(pid_, signo);
}

std::optional<int> ChildProcess::wait(double timeoutSeconds)
{
    if (status_)
        return status_;
    waitUntil(timeoutSeconds, [this] {
        int raw = 0;
        if (waitpid(pid_, &raw, WNOHANG) != pid_)
            return false;
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return true;
    });
    return status_;
}

std::string ChildProcess::standardOutput() const
{
    return TempHome::readFile(outPath_);
}

std::string ChildProcess::standardError() const
{
    return TempHome::readFile(errPath_);
}

std::string ChildProcess::programPath()
{
    return std::string(TARNWICK_BINARY_DIR) + "/src/tarnwick";
}

bool waitUntil(double timeoutSeconds, const std::function<bool()>& condition)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
