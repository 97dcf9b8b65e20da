#include "platform/graphics/cgimage/CFArray.h"

#include "platform/graphics/cgimage/CFObject.h"

struct CFArrayObject {
    CFObject header;
    CFIndex count;
    CFTypeRef values[];
};

static void finalizeArray(CFObject* object)
{
    struct CFArrayObject* array = (struct CFArrayObject*)object;
    for (CFIndex i = 0; i < array->count; ++i)
        CFRelease(array->values[i]);
}

CFTypeID CFArrayGetTypeID(void)
{
    return CFObjectArrayTypeID;
}

CFArrayRef CFArrayCreate(const CFTypeRef* values, CFIndex count)
{
    if (count < 0 || (count > 0 && !values))
        return NULL;
    for (CFIndex i = 0; i < count; ++i) {
        if (!values[i])
            return NULL;
    }
    struct CFArrayObject* array = CFObjectAllocate(sizeof(struct CFArrayObject) + (size_t)count * sizeof(CFTypeRef),
                                                   CFObjectArrayTypeID, finalizeArray);
    if (!array)
        return NULL;
    array->count = count;
    for (CFIndex i = 0; i < count; ++i)
        array->values[i] = CFRetain(values[i]);
    return array;
}

CFIndex CFArrayGetCount(CFArrayRef array)
{
    return CFObjectOfType(array, CFObjectArrayTypeID) ? array->count : 0;
}

CFTypeRef CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index)
{
    if (!CFObjectOfType(array, CFObjectArrayTypeID) || index < 0 || index >= array->count)
        return NULL;
    return array->values[index];
}
