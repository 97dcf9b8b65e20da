#pragma once

#include "render/CursorTemplate.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

// What a cursor is used for. Every pass over the roles visits them in the
// order of allCursorRoles.
enum class CursorRole {
    arrow,
    iBeam,
    pointingHand,
};

inline constexpr std::array<CursorRole, 3> allCursorRoles{CursorRole::arrow, CursorRole::iBeam, CursorRole::pointingHand};

// The case name, as log lines write it: "arrow", "iBeam", "pointingHand".
std::string_view cursorRoleName(CursorRole role);

// The template a role's cursors are drawn from, and so its stock cursor.
CursorTemplate templateForRole(CursorRole role);

// The window-server names that stand for a role on every system, before
// anything is discovered at run time.
const std::vector<std::string>& legacyIdentifiers(CursorRole role);
