#pragma once

/* The header every boundary object starts with; private to this library. */

#include "platform/graphics/cgimage/CFBase.h"

#include <stdatomic.h>

typedef struct CFObject CFObject;
typedef void (*CFObjectFinalizer)(CFObject* object);

struct CFObject {
    atomic_long retainCount;
    CFTypeID typeID;
    CFObjectFinalizer finalize;
};

enum {
    CFObjectArrayTypeID = 1,
    CFObjectImageTypeID = 2,
    CFObjectEventTypeID = 3
};

/* size bytes, zero-filled, with one reference; NULL when memory runs out. */
void* CFObjectAllocate(size_t size, CFTypeID typeID, CFObjectFinalizer finalize);

/* object when it is a live object of typeID, else NULL. */
const CFObject* CFObjectOfType(CFTypeRef object, CFTypeID typeID);
