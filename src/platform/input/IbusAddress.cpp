#include "platform/input/IbusAddress.h"

#include "platform/files/AtomicFile.h"

#include <cstdlib>
#include <sstream>

namespace IbusAddress {

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string machineId()
{
    for (const char* path : {"/var/lib/dbus/machine-id", "/etc/machine-id"}) {
        std::optional<std::string> contents = AtomicFile::read(path);
        if (contents && !contents->empty())
            return contents->substr(0, contents->find('\n'));
    }
    return {};
}

std::string addressFilePath()
{
    std::string explicitPath = environment("IBUS_ADDRESS_FILE");
    if (!explicitPath.empty())
        return explicitPath;
    std::string configHome = environment("XDG_CONFIG_HOME");
    if (configHome.empty())
        configHome = environment("HOME") + "/.config";
    std::string display = environment("DISPLAY");
    return configHome + "/ibus/bus/" + fileName(machineId(), display.empty() ? ":0.0" : display);
}

}

std::optional<std::string> find()
{
    std::string fromEnvironment = environment("IBUS_ADDRESS");
    if (!fromEnvironment.empty())
        return fromEnvironment;
    std::optional<std::string> contents = AtomicFile::read(addressFilePath());
    if (!contents)
        return std::nullopt;
    return fromFileContents(*contents);
}

std::optional<std::string> fromFileContents(const std::string& contents)
{
    const std::string key = "IBUS_ADDRESS=";
    std::istringstream lines(contents);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(key, 0) == 0 && line.size() > key.size())
            return line.substr(key.size());
    return std::nullopt;
}

std::string fileName(const std::string& machineId, const std::string& display)
{
    std::size_t colon = display.rfind(':');
    std::string host = colon == std::string::npos ? "" : display.substr(0, colon);
    std::string number = colon == std::string::npos ? display : display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    return machineId + "-" + (host.empty() ? "unix" : host) + "-" + number;
}

}
