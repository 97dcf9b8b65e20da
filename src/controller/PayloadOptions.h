#pragma once

// Where the payloads of one registration pass come from.
struct PayloadOptions {
    // A name the loaded cape holds takes the cape's payload.
    bool useCapePayloads = false;
    // Every payload is drawn afresh from snapshots and templates, cape or not.
    bool forceTemplatePayloads = false;
    // Payloads are mirrored for a left-handed pointer.
    bool isLeftHanded = false;
};
