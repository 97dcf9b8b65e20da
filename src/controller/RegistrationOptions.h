#pragma once

#include "controller/PayloadOptions.h"

// One registration pass and the activation after it.
struct RegistrationOptions {
    PayloadOptions payloads;
    // A language-only switch: no redraw, no scale change, nothing delayed.
    bool lightweightRefresh = false;
};
