#include "providers/sim/SimSystemCursors.h"

#include <array>
#include <charconv>
#include <string>

namespace {

using Shape = SimCursorArt::Shape;

struct Entry {
    std::int32_t number;
    const char* name;
    Shape shape;
};

constexpr std::array<Entry, 21> table{{
    {0, "com.apple.coregraphics.Arrow", Shape::arrow},
    {1, "com.apple.coregraphics.IBeam", Shape::iBeam},
    {2, "com.apple.coregraphics.IBeamXOR", Shape::iBeam},
    {3, "com.apple.coregraphics.Alias", Shape::arrow},
    {4, "com.apple.coregraphics.Wait", Shape::wait},
    {5, "com.apple.coregraphics.Copy", Shape::arrow},
    {6, "com.apple.coregraphics.ArrowCtx", Shape::arrow},
    {8, "com.apple.coregraphics.ResizeLeftRight", Shape::resizeLeftRight},
    {9, "com.apple.coregraphics.ResizeUpDown", Shape::resizeUpDown},
    {10, "com.apple.coregraphics.ResizeNorthWestSouthEast", Shape::resizeNorthWestSouthEast},
    {11, "com.apple.coregraphics.ResizeNorthEastSouthWest", Shape::resizeNorthEastSouthWest},
    {12, "com.apple.coregraphics.ResizeLeft", Shape::resizeLeftRight},
    {13, "com.apple.coregraphics.PointingHand", Shape::pointingHand},
    {14, "com.apple.coregraphics.Busy", Shape::wait},
    {15, "com.apple.coregraphics.Counting", Shape::wait},
    {16, "com.apple.coregraphics.Progress", Shape::wait},
    {17, "com.apple.coregraphics.ResizeRight", Shape::resizeLeftRight},
    {18, "com.apple.coregraphics.ResizeUp", Shape::resizeUpDown},
    {19, "com.apple.coregraphics.ResizeDown", Shape::resizeUpDown},
    {100, "com.apple.coregraphics.ArrowS", Shape::arrow},
    {101, "com.apple.coregraphics.IBeamS", Shape::iBeam},
}};

// Names of the cursor the user currently sees; before any registration they
// show the arrow.
constexpr std::array<std::string_view, 2> currentArrowNames{"com.apple.coregraphics.GlobalCurrent",
                                                            "com.apple.coregraphics.ConnectionCurrent"};

const Entry* entryForNumber(std::int32_t number)
{
    for (const Entry& entry : table) {
        if (entry.number == number)
            return &entry;
    }
    return nullptr;
}

// Only the canonical spelling ("com.apple.cursor.13", not "+13" or "013")
// names a numbered cursor, as a window server keys its names by string.
std::optional<std::int32_t> numberOfNumberedName(std::string_view name)
{
    if (!name.starts_with(SimSystemCursors::numberedPrefix))
        return std::nullopt;
    std::string_view digits = name.substr(SimSystemCursors::numberedPrefix.size());
    std::int32_t number = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size() || SimSystemCursors::numberedName(number) != name)
        return std::nullopt;
    return number;
}

}

const char* SimSystemCursors::nameForNumber(std::int32_t number)
{
    const Entry* entry = entryForNumber(number);
    return entry ? entry->name : nullptr;
}

std::optional<SimCursorArt::Shape> SimSystemCursors::stockShapeForName(std::string_view name)
{
    for (std::string_view current : currentArrowNames) {
        if (name == current)
            return Shape::arrow;
    }
    for (const Entry& entry : table) {
        if (name == entry.name)
            return entry.shape;
    }
    if (auto number = numberOfNumberedName(name)) {
        if (const Entry* entry = entryForNumber(*number))
            return entry->shape;
    }
    return std::nullopt;
}

std::string SimSystemCursors::numberedName(std::int32_t number)
{
    return std::string(numberedPrefix) + std::to_string(number);
}
