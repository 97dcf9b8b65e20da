#include "platform/input/InputSourceService.h"

#include "base/AppLog.h"
#include "platform/input/FileInputSourceService.h"
#include "platform/input/GnomeInputSourceService.h"
#include "platform/input/XkbInputSourceService.h"

#include <cstdlib>
#include <string>

std::unique_ptr<InputSourceService> InputSourceService::fromEnvironment()
{
    const char* raw = std::getenv("TARNWICK_INPUT_SOURCE");
    std::string choice = raw ? raw : "";
    const std::string filePrefix = "file:";
    if (choice.rfind(filePrefix, 0) == 0 && choice.size() > filePrefix.size())
        return std::make_unique<FileInputSourceService>(choice.substr(filePrefix.size()));
    if (GnomeInputSourceService::wanted(choice))
        return std::make_unique<GnomeInputSourceService>();
    if (!choice.empty() && choice != "xkb")
        AppLog::warn("Input sources: unsupported TARNWICK_INPUT_SOURCE=" + choice + "; using xkb");
    // Without a display the XKB service simply finds no source.
    return std::make_unique<XkbInputSourceService>();
}
