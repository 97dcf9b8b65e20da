#include "controller/ActivationSwitches.h"

#include <cstdlib>
#include <string>

namespace {

bool switchIsOn(const char* variable)
{
    const char* value = std::getenv(variable);
    return value && std::string(value) == "1";
}

}

ActivationSwitches ActivationSwitches::fromEnvironment()
{
    return ActivationSwitches{switchIsOn("ORVELLE_ENABLE_LEGACY_ID_ACTIVATION"),
                              switchIsOn("ORVELLE_ENABLE_CORE_SWEEP_ACTIVATION"),
                              switchIsOn("ORVELLE_ENABLE_SYSTEM_DEFINED_ACTIVATION")};
}
