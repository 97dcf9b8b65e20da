#pragma once

// A window server that offers only a few functions, each with behaviour the
// simulated one does not have: a single-image registration without the
// multi-frame one, image lists that hold other objects, and a numbered-cursor
// table with repeated, empty and missing names.
// Exports: CGSRegisterCursorWithImage, CGSCopyRegisteredCursorImages,
// CoreCursorCopyImages, CGSCursorNameForSystemCursor.

#include "platform/provider/WindowServerFunctions.h"

extern "C" {

// Both copy functions return this list (retained), size 32x32, hot spot
// (3,4), 2 frames of 0.5; NULL makes them fail with status 1000.
void PartialWindowServerSetList(CFArrayRef list);
// Status of the single-image registration (0 by default); it writes seed 77.
void PartialWindowServerSetSingleStatus(CGSError status);
int PartialWindowServerSingleCallCount(void);
void PartialWindowServerReset(void);

}
