#include "providers/x11/CursorNameMap.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace CursorNameMap {
namespace {

constexpr const char* arrow[] = {"left_ptr", "default", "arrow", "top_left_arrow"};
// Qt asks for "ibeam" and "pointing_hand" first; themes made for KDE have them.
constexpr const char* iBeam[] = {"xterm", "text", "ibeam"};
constexpr const char* pointingHand[] = {"hand2", "pointer", "hand1", "pointing_hand"};
constexpr const char* wait[] = {"wait", "watch"};
constexpr const char* progress[] = {"progress", "left_ptr_watch"};
constexpr const char* alias[] = {"alias", "link", "dnd-link"};
constexpr const char* notAllowed[] = {"not-allowed", "crossed_circle", "circle"};
constexpr const char* copy[] = {"copy", "dnd-copy"};
constexpr const char* dragMove[] = {"move", "dnd-move"};
constexpr const char* crosshair[] = {"crosshair", "cross", "tcross"};
constexpr const char* thinCrosshair[] = {"tcross", "cross"};
constexpr const char* noDrop[] = {"no-drop", "dnd-no-drop"};
constexpr const char* grabbing[] = {"grabbing", "closedhand"};
constexpr const char* grab[] = {"grab", "openhand"};
constexpr const char* resizeLeft[] = {"w-resize", "left_side", "sb_left_arrow"};
constexpr const char* resizeRight[] = {"e-resize", "right_side", "sb_right_arrow"};
constexpr const char* resizeLeftRight[] = {"col-resize", "sb_h_double_arrow"};
constexpr const char* cell[] = {"cell", "plus"};
constexpr const char* resizeUp[] = {"n-resize", "top_side", "sb_up_arrow"};
constexpr const char* resizeDown[] = {"s-resize", "bottom_side", "sb_down_arrow"};
constexpr const char* resizeUpDown[] = {"row-resize", "sb_v_double_arrow"};
constexpr const char* contextMenu[] = {"context-menu"};
constexpr const char* disappearingItem[] = {"pirate", "X_cursor"};
constexpr const char* verticalIBeam[] = {"vertical-text"};
constexpr const char* windowEast[] = {"e-resize", "right_side"};
constexpr const char* windowEastWest[] = {"ew-resize", "h_double_arrow", "size_hor"};
constexpr const char* windowNorthEast[] = {"ne-resize", "top_right_corner"};
constexpr const char* windowNorthEastSouthWest[] = {"nesw-resize", "fd_double_arrow", "size_bdiag"};
constexpr const char* windowNorth[] = {"n-resize", "top_side"};
constexpr const char* windowNorthSouth[] = {"ns-resize", "v_double_arrow", "size_ver"};
constexpr const char* windowNorthWest[] = {"nw-resize", "top_left_corner"};
constexpr const char* windowNorthWestSouthEast[] = {"nwse-resize", "bd_double_arrow", "size_fdiag"};
constexpr const char* windowSouthEast[] = {"se-resize", "bottom_right_corner"};
constexpr const char* windowSouth[] = {"s-resize", "bottom_side"};
constexpr const char* windowSouthWest[] = {"sw-resize", "bottom_left_corner"};
constexpr const char* windowWest[] = {"w-resize", "left_side"};
constexpr const char* allScroll[] = {"all-scroll", "fleur", "size_all"};
constexpr const char* help[] = {"help", "question_arrow", "left_ptr_help"};
constexpr const char* zoomIn[] = {"zoom-in"};
constexpr const char* zoomOut[] = {"zoom-out"};
constexpr const char* dragAsk[] = {"dnd-ask"};

struct SystemCursor {
    const char* name;
    XNames xNames;
};

constexpr std::array<SystemCursor, lastSystemCursor + 1> systemCursors = {{
    {"com.apple.coregraphics.Arrow", arrow},
    {"com.apple.coregraphics.IBeam", iBeam},
    {"com.apple.cursor.2", alias},
    {"com.apple.cursor.3", notAllowed},
    {"com.apple.cursor.4", wait},
    {"com.apple.cursor.5", copy},
    {"com.apple.coregraphics.ArrowCtx", arrow},
    {"com.apple.cursor.7", dragMove},
    {"com.apple.cursor.8", crosshair},
    {"com.apple.cursor.9", thinCrosshair},
    {"com.apple.cursor.10", noDrop},
    {"com.apple.cursor.11", grabbing},
    {"com.apple.cursor.12", grab},
    {"com.apple.cursor.13", pointingHand},
    {"com.apple.cursor.14", progress},
    {"com.apple.cursor.15", progress},
    {"com.apple.cursor.16", progress},
    {"com.apple.cursor.17", resizeLeft},
    {"com.apple.cursor.18", resizeRight},
    {"com.apple.cursor.19", resizeLeftRight},
    {"com.apple.cursor.20", cell},
    {"com.apple.cursor.21", resizeUp},
    {"com.apple.cursor.22", resizeDown},
    {"com.apple.cursor.23", resizeUpDown},
    {"com.apple.cursor.24", contextMenu},
    {"com.apple.cursor.25", disappearingItem},
    {"com.apple.cursor.26", verticalIBeam},
    {"com.apple.cursor.27", windowEast},
    {"com.apple.cursor.28", windowEastWest},
    {"com.apple.cursor.29", windowNorthEast},
    {"com.apple.cursor.30", windowNorthEastSouthWest},
    {"com.apple.cursor.31", windowNorth},
    {"com.apple.cursor.32", windowNorthSouth},
    {"com.apple.cursor.33", windowNorthWest},
    {"com.apple.cursor.34", windowNorthWestSouthEast},
    {"com.apple.cursor.35", windowSouthEast},
    {"com.apple.cursor.36", windowSouth},
    {"com.apple.cursor.37", windowSouthWest},
    {"com.apple.cursor.38", windowWest},
    {"com.apple.cursor.39", allScroll},
    {"com.apple.cursor.40", help},
    {"com.apple.cursor.41", cell},
    {"com.apple.cursor.42", zoomIn},
    {"com.apple.cursor.43", zoomOut},
    {"com.apple.cursor.44", dragAsk},
}};

struct NamedCursor {
    std::string_view suffix;
    XNames xNames;
};

// The window server's named cursors, after "com.apple.coregraphics.".
constexpr NamedCursor namedCursors[] = {
    {"GlobalCurrent", arrow}, {"ConnectionCurrent", arrow}, {"Arrow", arrow}, {"ArrowCtx", arrow},
    {"ArrowS", arrow},        {"IBeam", iBeam},             {"IBeamXOR", iBeam}, {"IBeamS", iBeam},
    {"Wait", wait},
};

// Numbers outside the table that name the arrow and the I-beam.
constexpr int legacyArrow = 100;
constexpr int legacyIBeam = 101;

constexpr std::string_view namedPrefix = "com.apple.coregraphics.";
constexpr std::string_view numberedPrefix = "com.apple.cursor.";

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

}

XNames xNames(std::string_view name)
{
    if (auto number = systemCursorNumber(name)) {
        if (*number == legacyArrow)
            return arrow;
        if (*number == legacyIBeam)
            return iBeam;
        return xNames(*number);
    }
    if (!name.starts_with(namedPrefix))
        return {};
    name.remove_prefix(namedPrefix.size());
    for (const auto& named : namedCursors) {
        if (equalsIgnoringCase(named.suffix, name))
            return named.xNames;
    }
    return {};
}

XNames xNames(int systemCursor)
{
    if (systemCursor < firstSystemCursor || systemCursor > lastSystemCursor)
        return {};
    return systemCursors[systemCursor].xNames;
}

const char* systemCursorName(int systemCursor)
{
    if (systemCursor < firstSystemCursor || systemCursor > lastSystemCursor)
        return nullptr;
    return systemCursors[systemCursor].name;
}

std::optional<int> systemCursorNumber(std::string_view name)
{
    if (!name.starts_with(numberedPrefix))
        return std::nullopt;
    name.remove_prefix(numberedPrefix.size());
    int number = 0;
    auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
    bool digitsOnly = !name.empty() && std::isdigit(static_cast<unsigned char>(name.front()));
    if (error != std::errc() || end != name.data() + name.size() || !digitsOnly)
        return std::nullopt;
    return number;
}

}
