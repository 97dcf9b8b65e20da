#include "support/dbus/PrivateSessionBus.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char* const configuration = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <servicedir>@SERVICES@</servicedir>
  <policy context="default">
    <allow user="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

std::string writeConfiguration(const std::string& serviceFolder)
{
    std::string path = (std::filesystem::temp_directory_path() / "tarnwick-bus-XXXXXX").string();
    int fd = mkstemp(path.data());
    if (fd < 0)
        return {};
    close(fd);
    std::string text = configuration;
    text.replace(text.find("@SERVICES@"), 10, serviceFolder);
    std::ofstream(path) << text;
    return path;
}

std::string copyServices(const std::vector<std::string>& names)
{
    std::string folder = (std::filesystem::temp_directory_path() / "tarnwick-services-XXXXXX").string();
    if (!mkdtemp(folder.data()))
        return {};
    std::error_code ignored;
    for (const auto& name : names)
        std::filesystem::copy_file("/usr/share/dbus-1/services/" + name + ".service",
                                   folder + "/" + name + ".service", ignored);
    return folder;
}

}

PrivateSessionBus::PrivateSessionBus(const std::vector<std::string>& activatable)
    : serviceFolder_(copyServices(activatable)), configPath_(writeConfiguration(serviceFolder_))
{
    int fds[2];
    if (configPath_.empty() || pipe2(fds, O_CLOEXEC) != 0)
        return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(fds[1], 3);
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        std::string config = "--config-file=" + configPath_;
        execlp("dbus-daemon", "dbus-daemon", config.c_str(), "--nofork", "--nopidfile", "--print-address=3",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    pollfd ready{fds[0], POLLIN, 0};
    char c;
    while (poll(&ready, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n')
        address_ += c;
    close(fds[0]);
}

PrivateSessionBus::~PrivateSessionBus()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    if (!configPath_.empty())
        unlink(configPath_.c_str());
    std::error_code ignored;
    if (!serviceFolder_.empty())
        std::filesystem::remove_all(serviceFolder_, ignored);
}
