#include "platform/input/XkbSymbolsName.h"

#include <charconv>
#include <optional>
#include <vector>

namespace XkbSymbolsName {

namespace {

struct Piece {
    std::string file;
    std::size_t group;
    // The model's base, unless the name has nothing else.
    bool base;
};

// "ru:2" gives ("ru", 2); "ru" gives ("ru", 1).
std::optional<Piece> parsePiece(std::string_view text, bool base)
{
    std::size_t group = 1;
    if (auto colon = text.rfind(':'); colon != std::string_view::npos) {
        std::string_view number = text.substr(colon + 1);
        auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), group);
        if (error != std::errc() || end != number.data() + number.size())
            return std::nullopt;
        text = text.substr(0, colon);
    }
    if (text.empty() || group < 1 || group > maximumGroups)
        return std::nullopt;
    return Piece{std::string(text), group, base};
}

std::vector<Piece> pieces(std::string_view symbols)
{
    std::vector<Piece> out;
    bool first = true;
    bool alone = symbols.find_first_of("+|") == std::string_view::npos;
    while (!symbols.empty()) {
        std::size_t end = symbols.find_first_of("+|");
        std::string_view text = symbols.substr(0, end);
        if (auto piece = parsePiece(text, first && !alone))
            out.push_back(*piece);
        first = false;
        symbols = end == std::string_view::npos ? std::string_view() : symbols.substr(end + 1);
    }
    return out;
}

}

std::pair<std::string, std::string> splitVariant(const std::string& layout)
{
    auto open = layout.find('(');
    if (open == std::string::npos)
        return {layout, ""};
    auto close = layout.find(')', open);
    std::size_t length = close == std::string::npos ? std::string::npos : close - open - 1;
    return {layout.substr(0, open), layout.substr(open + 1, length)};
}

std::array<std::string, maximumGroups> groupLayouts(std::string_view symbols,
                                                    const std::function<bool(const std::string&)>& isLayout)
{
    std::vector<Piece> all = pieces(symbols);
    std::array<std::string, maximumGroups> layouts;
    for (std::size_t group = 1; group <= maximumGroups; ++group) {
        const Piece* known = nullptr;
        const Piece* guess = nullptr;
        for (const Piece& piece : all) {
            if (piece.group != group)
                continue;
            if (!known && isLayout(splitVariant(piece.file).first))
                known = &piece;
            if (!guess && !piece.base)
                guess = &piece;
        }
        if (const Piece* chosen = known ? known : guess)
            layouts[group - 1] = chosen->file;
    }
    return layouts;
}

}
