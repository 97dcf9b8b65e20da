#pragma once

#include <string_view>

// A cheap pre-check of a property-list document before the library's
// recursive parser sees it: damaged or hostile input must not exhaust the
// stack (deep nesting) or memory (a binary document whose shared objects
// expand into an enormous tree).
namespace PropertyListBounds {

constexpr int maxDepth = 256;
constexpr unsigned long maxExpandedObjects = 1ul << 18;

// False for any document nested deeper than maxDepth, expanding to more than
// maxExpandedObjects values, or whose binary object table is inconsistent.
bool isSafeToParse(std::string_view bytes);

}
