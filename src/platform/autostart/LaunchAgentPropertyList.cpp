#include "platform/autostart/LaunchAgentPropertyList.h"

#include "platform/files/UserDirectories.h"
#include "platform/prefs/PlistLibrary.h"

#include <memory>

std::string LaunchAgentPropertyList::path() const
{
    return UserDirectories::home() + "/Library/LaunchAgents/com.tarnwick.app.plist";
}

std::string LaunchAgentPropertyList::executablePath(const std::optional<std::string>& bundleExecutablePath,
                                                    const std::string& bundlePath)
{
    return bundleExecutablePath ? *bundleExecutablePath : bundlePath + "/Contents/MacOS/Tarnwick";
}

std::optional<std::string> LaunchAgentPropertyList::document(const std::string& executablePath) const
{
    if (executablePath.empty())
        return std::nullopt;
    std::unique_ptr<void, decltype(&plist_free)> agent(plist_new_dict(), &plist_free);
    plist_t arguments = plist_new_array();
    plist_array_append_item(arguments, plist_new_string(executablePath.c_str()));
    // In the order the system's own serialiser writes them.
    plist_dict_set_item(agent.get(), "KeepAlive", plist_new_bool(0));
    plist_dict_set_item(agent.get(), "Label", plist_new_string("com.tarnwick.app"));
    plist_dict_set_item(agent.get(), "ProgramArguments", arguments);
    plist_dict_set_item(agent.get(), "RunAtLoad", plist_new_bool(1));
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(agent.get(), &xml, &length);
    if (!xml)
        return std::nullopt;
    std::string bytes(xml, length);
    PlistLibrary::freeSerialized(xml);
    return bytes;
}
