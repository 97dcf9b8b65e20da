#include "platform/updater/SoftwareVersion.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <vector>

namespace SoftwareVersion {

namespace {

struct Piece {
    bool numeric;
    std::string text;
};

bool isDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c));
}

bool isLetter(char c)
{
    return std::isalpha(static_cast<unsigned char>(c));
}

// Runs of digits and runs of letters; everything else only separates them.
std::vector<Piece> piecesOf(std::string_view version)
{
    std::vector<Piece> pieces;
    std::size_t i = 0;
    while (i < version.size()) {
        bool (*same)(char) = isDigit(version[i]) ? isDigit : isLetter(version[i]) ? isLetter : nullptr;
        if (!same) {
            ++i;
            continue;
        }
        std::size_t start = i;
        while (i < version.size() && same(version[i]))
            ++i;
        std::string text(version.substr(start, i - start));
        if (same == isDigit) {
            text.erase(0, std::min(text.find_first_not_of('0'), text.size()));
        } else {
            std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
        }
        pieces.push_back({same == isDigit, std::move(text)});
    }
    return pieces;
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

// Numbers of any length, without converting them.
int compareNumbers(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return sign(a.compare(b));
}

int comparePieces(const std::optional<Piece>& a, const std::optional<Piece>& b)
{
    Piece zero{true, ""};
    const Piece& left = a ? *a : zero;
    const Piece& right = b ? *b : zero;
    if (left.numeric && right.numeric)
        return compareNumbers(left.text, right.text);
    if (left.numeric != right.numeric)
        return left.numeric ? 1 : -1;
    return sign(left.text.compare(right.text));
}

}

int compare(std::string_view a, std::string_view b)
{
    std::vector<Piece> left = piecesOf(a), right = piecesOf(b);
    for (std::size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
        std::optional<Piece> l = i < left.size() ? std::optional(left[i]) : std::nullopt;
        std::optional<Piece> r = i < right.size() ? std::optional(right[i]) : std::nullopt;
        if (int order = comparePieces(l, r))
            return order;
    }
    return 0;
}

}
