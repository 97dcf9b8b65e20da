#include "language/CursorStyle.h"

#include <algorithm>

namespace {

constexpr double badgeDiameter = 18.0;

Color languageColor(const InputLanguage& language)
{
    if (language.code() == "en")
        return Color::calibratedRGB(0.0, 0.2, 0.7, 1.0);
    if (language.code() == "ru")
        return Color::systemRed();
    return InputLanguage::stableColor(language.code());
}

}

std::string_view rawValue(CursorStyle style)
{
    switch (style) {
    case CursorStyle::system:
        return "system";
    case CursorStyle::letterBadge:
        return "letterBadge";
    case CursorStyle::dotBadge:
        return "dotBadge";
    case CursorStyle::highContrast:
        return "highContrast";
    }
    return "system";
}

std::optional<CursorStyle> cursorStyle(std::string_view text)
{
    auto match = std::find_if(allCursorStyles.begin(), allCursorStyles.end(),
                              [&](CursorStyle style) { return rawValue(style) == text; });
    if (match == allCursorStyles.end())
        return std::nullopt;
    return *match;
}

std::string_view menuTitle(CursorStyle style)
{
    switch (style) {
    case CursorStyle::system:
        return "System cursor";
    case CursorStyle::letterBadge:
        return "Letter badge";
    case CursorStyle::dotBadge:
        return "Color dot";
    case CursorStyle::highContrast:
        return "High contrast";
    }
    return "System cursor";
}

std::optional<CursorMarker> marker(CursorStyle style, const InputLanguage& language)
{
    switch (style) {
    case CursorStyle::system:
        return std::nullopt;
    case CursorStyle::letterBadge:
        return CursorMarker{language.badgeText(), languageColor(language), Color::white(),
                            Color::white().withAlphaComponent(0.85), badgeDiameter, 1.0};
    case CursorStyle::dotBadge:
        return CursorMarker{std::nullopt, languageColor(language), Color::clear(),
                            Color::black().withAlphaComponent(0.85), badgeDiameter, 1.4};
    case CursorStyle::highContrast:
        return CursorMarker{language.badgeText(), Color::systemYellow(), Color::black(),
                            Color::black().withAlphaComponent(0.9), badgeDiameter, 1.2};
    }
    return std::nullopt;
}
