#pragma once

#include "capes/CursorCapeStore.h"

// What one registration pass installed.
struct RegistrationResult {
    bool appliedAny = false;
    // Every name registered in the pass, as the cape store saves it.
    CursorCapeStore::Cursors appliedCursorPayloads;
};
