#pragma once

#include "platform/graphics/cgimage/CFRef.h"
#include "platform/graphics/cgimage/CGImage.h"
#include "runtime/CursorSnapshot.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The on-disk cache of generated cursor sets, keyed by language and style.
// Until the cache is written this keeps nothing: every load misses and every
// save is dropped, so callers always generate their sets.
class CursorCapeStore {
public:
    struct CursorPayload {
        CursorSnapshot snapshot;
        std::vector<CFRef<CGImageRef>> images;
    };
    using Cursors = std::map<std::string, std::pair<CursorSnapshot, std::vector<CFRef<CGImageRef>>>>;

    static CursorCapeStore& shared()
    {
        static CursorCapeStore instance;
        return instance;
    }

    // The path of the cape file written or confirmed, or nothing.
    std::optional<std::string> saveCape(const std::string&, const std::string&, const Cursors&) { return std::nullopt; }
    std::optional<std::map<std::string, CursorPayload>> loadCape(const std::string&, const std::string&)
    {
        return std::nullopt;
    }
    void removeAllCapes() {}
};
