#include "platform/graphics/cgimage/CFObject.h"

#include <stdlib.h>

void* CFObjectAllocate(size_t size, CFTypeID typeID, CFObjectFinalizer finalize)
{
    CFObject* object = calloc(1, size);
    if (!object)
        return NULL;
    atomic_init(&object->retainCount, 1);
    object->typeID = typeID;
    object->finalize = finalize;
    return object;
}

const CFObject* CFObjectOfType(CFTypeRef object, CFTypeID typeID)
{
    const CFObject* header = object;
    return header && header->typeID == typeID ? header : NULL;
}

CFTypeRef CFRetain(CFTypeRef object)
{
    if (object) {
        CFObject* header = (CFObject*)object;
        atomic_fetch_add_explicit(&header->retainCount, 1, memory_order_relaxed);
    }
    return object;
}

void CFRelease(CFTypeRef object)
{
    if (!object)
        return;
    CFObject* header = (CFObject*)object;
    if (atomic_fetch_sub_explicit(&header->retainCount, 1, memory_order_acq_rel) != 1)
        return;
    if (header->finalize)
        header->finalize(header);
    free(header);
}

CFTypeID CFGetTypeID(CFTypeRef object)
{
    const CFObject* header = object;
    return header ? header->typeID : kCFNotATypeID;
}

CFIndex CFGetRetainCount(CFTypeRef object)
{
    CFObject* header = (CFObject*)object;
    return header ? atomic_load_explicit(&header->retainCount, memory_order_relaxed) : 0;
}
