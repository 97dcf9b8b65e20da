#pragma once

#include "controller/BaselineStore.h"
#include "controller/CursorActivator.h"
#include "controller/CursorCatalogue.h"
#include "controller/PayloadResolver.h"
#include "controller/RegistrationOptions.h"
#include "controller/RegistrationResult.h"
#include "language/CursorMarker.h"
#include "runtime/CGSRuntime.h"

#include <cstdint>
#include <optional>

// One registration pass: every target name gets its resolved payload, arrow
// names with a weak one the canonical arrow's, and the activation follows.
class CursorRegistrar {
public:
    CursorRegistrar(const CGSRuntime& runtime, const CursorCatalogue& catalogue, const BaselineStore& store,
                    const PayloadResolver& resolver, CursorActivator& activator);

    RegistrationResult registerAndActivate(std::int32_t connectionID, const std::optional<CursorMarker>& marker,
                                           const CapePayloads& capePayloads, const RegistrationOptions& options);

private:
    const CGSRuntime& runtime_;
    const CursorCatalogue& catalogue_;
    const BaselineStore& store_;
    const PayloadResolver& resolver_;
    CursorActivator& activator_;
};
