#pragma once

#include "controller/ActivationSwitches.h"
#include "controller/BaselineStore.h"
#include "controller/CursorCatalogue.h"
#include "controller/CursorScale.h"
#include "runtime/CGSRuntime.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Makes the registered arrow the cursor on screen: by name always, by number
// when a switch asks for it, then redraws and, after a full activation,
// re-asserts the arrow three times shortly after, since the window server
// sometimes puts its own cursor back. Lives in a std::shared_ptr owned by the
// controller: the delayed re-activations hold it weakly and do nothing once
// the controller is gone.
class CursorActivator : public std::enable_shared_from_this<CursorActivator> {
public:
    CursorActivator(const CGSRuntime& runtime, const CursorCatalogue& catalogue, const BaselineStore& store,
                    CursorScale& scale, ActivationSwitches switches);
    CursorActivator(const CursorActivator&) = delete;
    CursorActivator& operator=(const CursorActivator&) = delete;

    const ActivationSwitches& switches() const { return switches_; }

    // Start-up: the system's own cursors, the plain arrow current, before
    // anything is captured.
    void normalizeBeforeBaselineCapture(std::int32_t connectionID);
    // The tail of every registration pass: makes the decorated arrow current,
    // pushes the optional numbered activations, refreshes and, unless the
    // refresh is lightweight, re-asserts the arrow three times shortly after.
    void activateRegisteredCursors(std::int32_t connectionID, bool lightweightRefresh,
                                   const std::optional<std::string>& canonicalSourceIdentifier);
    // After a restore: the plain arrow current again.
    void activateRestoredArrow(std::int32_t connectionID);
    // Re-activations scheduled before a restore would put the decorated
    // scale back over the restored cursors.
    void cancelPendingReactivations() { ++restoreGeneration_; }

private:
    void activateSystemDefinedCursor(std::int32_t connectionID, std::int32_t cursorID);
    void activateCoreCursor(std::int32_t connectionID, std::int32_t cursorID);
    std::string primeArrow(std::int32_t connectionID, const std::optional<std::string>& canonicalSourceIdentifier);
    void sweepCoreCursors(std::int32_t connectionID, const std::optional<std::int32_t>& systemID);
    void scheduleReactivations(std::int32_t connectionID, const std::string& finalArrow,
                               const std::optional<std::int32_t>& systemID);
    void reactivate(std::int32_t connectionID, const std::string& finalArrow,
                    const std::optional<std::int32_t>& systemID, bool withSystemDefined,
                    std::uint64_t scheduledInRestoreGeneration);

    const CGSRuntime& runtime_;
    const CursorCatalogue& catalogue_;
    const BaselineStore& store_;
    CursorScale& scale_;
    const ActivationSwitches switches_;
    std::uint64_t restoreGeneration_ = 0;
};
