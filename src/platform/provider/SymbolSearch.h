#pragma once

#include <initializer_list>
#include <vector>

// Finding functions by name in loaded libraries, the way the dynamic linker
// would: the libraries at the paths that load, then everything already in the
// process.
namespace SymbolSearch {

std::vector<void*> handles(std::initializer_list<const char*> libraryPaths);

// Name-major: an earlier name in any library wins over a later name in any.
void* find(std::initializer_list<const char*> names, const std::vector<void*>& handles);

}
