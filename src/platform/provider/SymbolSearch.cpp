#include "platform/provider/SymbolSearch.h"

#include <dlfcn.h>

std::vector<void*> SymbolSearch::handles(std::initializer_list<const char*> libraryPaths)
{
    std::vector<void*> found;
    for (const char* path : libraryPaths) {
        if (void* handle = dlopen(path, RTLD_NOW))
            found.push_back(handle);
    }
    found.push_back(RTLD_DEFAULT);
    return found;
}

void* SymbolSearch::find(std::initializer_list<const char*> names, const std::vector<void*>& handles)
{
    for (const char* name : names) {
        for (void* handle : handles) {
            if (void* symbol = dlsym(handle, name))
                return symbol;
        }
    }
    return nullptr;
}
