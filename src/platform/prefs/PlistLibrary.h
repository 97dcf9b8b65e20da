#pragma once

#include <cstdint>
#include <cstdlib>
#include <plist/plist.h>

// The libplist calls whose form changed between the releases this program is
// built against. The build says which form it found
// (TARNWICK_LIBPLIST_2_3: 2.3 and later).
namespace PlistLibrary {

// A property list parsed from XML or binary bytes; nothing for anything else.
inline plist_t fromMemory(const char* bytes, uint32_t length)
{
    plist_t node = nullptr;
#if TARNWICK_LIBPLIST_2_3
    // Since 2.3 the parser also reads JSON and OpenStep text. No file of ours
    // is ever written that way, so such a file is a damaged or foreign one.
    plist_format_t format = PLIST_FORMAT_XML;
    plist_from_memory(bytes, length, &node, &format);
    if (node && format != PLIST_FORMAT_XML && format != PLIST_FORMAT_BINARY) {
        plist_free(node);
        node = nullptr;
    }
#else
    plist_from_memory(bytes, length, &node);
#endif
    return node;
}

// Frees what plist_to_xml or plist_to_bin returned.
inline void freeSerialized(char* bytes)
{
#if TARNWICK_LIBPLIST_2_3
    plist_mem_free(bytes);
#else
    std::free(bytes);
#endif
}

}
