#pragma once

#include "capes/CursorCapeStore.h"
#include "controller/BaselineStore.h"
#include "controller/CursorCatalogue.h"
#include "controller/PayloadOptions.h"
#include "controller/ResolvedPayload.h"
#include "language/CursorMarker.h"
#include "render/CursorTemplate.h"
#include "render/DecorationMemo.h"
#include "runtime/CursorSnapshot.h"

#include <map>
#include <optional>
#include <string>

// Cursor name -> the cape entry loaded for it.
using CapePayloads = std::map<std::string, CursorCapeStore::CursorPayload>;

// Chooses what a cursor name is registered with: the cape's stored payload,
// its badged working snapshot, or the badged stock template of its role.
class PayloadResolver {
public:
    PayloadResolver(const CursorCatalogue& catalogue, const BaselineStore& store);

    std::optional<ResolvedPayload> resolveDirectPayload(const std::string& identifier,
                                                        const std::optional<CursorMarker>& marker,
                                                        const CapePayloads& capePayloads,
                                                        const PayloadOptions& options) const;
    // The payload every arrow name falls back on when its own would be weak.
    std::optional<ResolvedPayload> resolveCanonicalArrowPayload(const std::optional<CursorMarker>& marker,
                                                                const CapePayloads& capePayloads,
                                                                const PayloadOptions& options) const;

    // The desktop's stock cursor of a template, without images: callers pair
    // it with images drawn from the same stock cursor.
    static CursorSnapshot syntheticSnapshot(CursorTemplate cursorTemplate);

private:
    std::optional<ResolvedPayload> fromSnapshot(const std::string& identifier, const CursorSnapshot& snapshot,
                                                const std::optional<CursorMarker>& marker,
                                                std::optional<CursorTemplate> cursorTemplate,
                                                const PayloadOptions& options) const;
    std::optional<ResolvedPayload> fromTemplate(const std::string& identifier, CursorTemplate cursorTemplate,
                                                const std::optional<CursorMarker>& marker,
                                                const PayloadOptions& options) const;

    const CursorCatalogue& catalogue_;
    const BaselineStore& store_;
    // Drawing is the costly part of a switch; what was drawn is remembered
    // without the callers having to know.
    mutable DecorationMemo memo_;
};
