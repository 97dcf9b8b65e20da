#pragma once

/*
 * Immutable ordered lists of objects of any type (an image list may hold an
 * element that is not an image; readers check CFGetTypeID). The list holds a
 * reference to each element and drops them when it is freed.
 */

#include "platform/graphics/cgimage/CFBase.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef const struct CFArrayObject* CFArrayRef;

CFTypeID CFArrayGetTypeID(void);

/* Retains each of count values. NULL when count is negative or a value is
 * NULL; values may be NULL when count is 0. */
CFArrayRef CFArrayCreate(const CFTypeRef* values, CFIndex count);

CFIndex CFArrayGetCount(CFArrayRef array);
/* Borrowed; NULL when index is out of range. */
CFTypeRef CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index);

#ifdef __cplusplus
}
#endif
