#include "controller/CursorRole.h"

std::string_view cursorRoleName(CursorRole role)
{
    switch (role) {
    case CursorRole::arrow:
        return "arrow";
    case CursorRole::iBeam:
        return "iBeam";
    case CursorRole::pointingHand:
        return "pointingHand";
    }
    return "arrow";
}

CursorTemplate templateForRole(CursorRole role)
{
    switch (role) {
    case CursorRole::arrow:
        return CursorTemplate::arrow;
    case CursorRole::iBeam:
        return CursorTemplate::iBeam;
    case CursorRole::pointingHand:
        return CursorTemplate::pointingHand;
    }
    return CursorTemplate::arrow;
}

const std::vector<std::string>& legacyIdentifiers(CursorRole role)
{
    static const std::vector<std::string> arrow{
        "com.apple.coregraphics.GlobalCurrent",
        "com.apple.coregraphics.ConnectionCurrent",
        "com.apple.cursor.0",
        "com.apple.cursor.6",
        "com.apple.cursor.100",
        "com.apple.coregraphics.Arrow",
        "com.apple.coregraphics.ArrowCtx",
        "com.apple.coregraphics.ArrowS",
    };
    static const std::vector<std::string> iBeam{
        "com.apple.cursor.1",
        "com.apple.cursor.101",
        "com.apple.coregraphics.IBeam",
        "com.apple.coregraphics.IBeamXOR",
        "com.apple.coregraphics.IBeamS",
    };
    static const std::vector<std::string> pointingHand{"com.apple.cursor.13"};
    switch (role) {
    case CursorRole::arrow:
        return arrow;
    case CursorRole::iBeam:
        return iBeam;
    case CursorRole::pointingHand:
        return pointingHand;
    }
    return arrow;
}
