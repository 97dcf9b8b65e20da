#include "language/InputLanguage.h"

#include "language/UnicodeText.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <vector>

namespace {

std::vector<std::string> nonEmptyPieces(std::string_view text, char separator)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = std::min(text.find(separator, start), text.size());
        if (end > start)
            pieces.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

bool isBaseLanguage(std::string_view piece)
{
    return piece.size() >= 2 && piece.size() <= 3 &&
           std::all_of(piece.begin(), piece.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

std::string asciiLowercase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
    return text;
}

std::string asciiUppercase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; });
    return text;
}

std::string chineseCode(const std::vector<std::string>& pieces)
{
    std::set<std::string> subtags(pieces.begin() + 1, pieces.end());
    auto hasAny = [&](std::initializer_list<const char*> names) {
        return std::any_of(names.begin(), names.end(), [&](const char* name) { return subtags.count(name) > 0; });
    };
    // Simplified wins when a tag names both, e.g. a traditional script in China.
    if (hasAny({"hans", "cn", "sg"}))
        return "zh-hans";
    if (hasAny({"hant", "tw", "hk", "mo"}))
        return "zh-hant";
    return "zh";
}

std::string orDefault(std::string text, const char* fallback)
{
    return text.empty() ? fallback : text;
}

}

InputLanguage::InputLanguage(std::string code, std::string badgeText, std::string displayName, std::string sourceID)
    : code_(std::move(code)), badgeText_(std::move(badgeText)), displayName_(std::move(displayName)),
      sourceID_(std::move(sourceID))
{
}

InputLanguage InputLanguage::make(std::string_view rawCode, std::string_view name, std::string_view sourceID)
{
    std::string code = normalizedCode(rawCode);
    std::string badge = badgeText(code);
    return InputLanguage(std::move(code), std::move(badge), orDefault(UnicodeText::trimmed(name), "Unknown"),
                         orDefault(UnicodeText::trimmed(sourceID), "unknown"));
}

const InputLanguage& InputLanguage::unknown()
{
    static const InputLanguage value = make("unknown", "Unknown", "unknown");
    return value;
}

std::string InputLanguage::normalizedCode(std::string_view raw)
{
    std::string tag = UnicodeText::trimmed(raw);
    std::replace(tag.begin(), tag.end(), '_', '-');
    tag = asciiLowercase(std::move(tag));
    std::vector<std::string> pieces = nonEmptyPieces(tag, '-');
    if (pieces.empty() || !isBaseLanguage(pieces.front()))
        return "unknown";
    if (pieces.front() != "zh")
        return pieces.front();
    return chineseCode(pieces);
}

std::string InputLanguage::badgeText(std::string_view code)
{
    if (code == "en")
        return "En";
    if (code == "ru")
        return "\u0420\u0443";
    if (code == "zh-hans")
        return "\u7B80";
    if (code == "zh-hant")
        return "\u7E41";
    if (code == "unknown")
        return "??";
    std::vector<std::string> pieces = nonEmptyPieces(code, '-');
    if (pieces.empty() || !isBaseLanguage(pieces.front()))
        return "??";
    return asciiUppercase(pieces.front());
}

Color InputLanguage::stableColor(std::string_view code)
{
    std::uint32_t degrees = 61;
    if (!code.empty()) {
        // FNV-1a over whole scalars, not bytes, so the hue does not depend on
        // how the text happens to be encoded.
        std::uint32_t hash = 0x811C9DC5u;
        for (char32_t scalar : UnicodeText::scalars(code)) {
            hash ^= static_cast<std::uint32_t>(scalar);
            hash *= 16777619u;
        }
        degrees = hash % 360;
    }
    return Color::calibratedHSB(degrees / 360.0, 0.72, 0.78, 1.0);
}
