#pragma once

/*
 * The reference-counted objects that cross the window-server boundary.
 * One shared library implements them for the program and every provider, so
 * an object created on one side can be retained and released on the other.
 *
 * Ownership follows two rules: a function whose name contains Create or Copy
 * returns one reference that the caller releases with CFRelease; a Get
 * function returns a borrowed value that stays valid while its owner lives.
 */

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef double CGFloat;

typedef struct CGPoint {
    CGFloat x;
    CGFloat y;
} CGPoint;

typedef struct CGSize {
    CGFloat width;
    CGFloat height;
} CGSize;

typedef const void* CFTypeRef;
typedef unsigned long CFTypeID;
typedef long CFIndex;

/* CFGetTypeID of NULL; no object has this type. */
#define kCFNotATypeID ((CFTypeID)0)

/* Adds a reference and returns the object; NULL gives NULL. */
CFTypeRef CFRetain(CFTypeRef object);
/* Drops a reference; the last one frees the object. NULL is ignored. */
void CFRelease(CFTypeRef object);
CFTypeID CFGetTypeID(CFTypeRef object);
/* For tests and diagnostics only; 0 for NULL. */
CFIndex CFGetRetainCount(CFTypeRef object);

#ifdef __cplusplus
}
#endif
