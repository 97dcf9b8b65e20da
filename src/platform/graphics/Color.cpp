#include "platform/graphics/Color.h"

#include <algorithm>
#include <cmath>

namespace {

// The named colours in the desktop's light appearance, as 8-bit sRGB.
struct PaletteEntry {
    int red, green, blue, alpha;
};
namespace lightAppearance {
constexpr PaletteEntry systemRed{255, 59, 48, 255};
constexpr PaletteEntry systemYellow{255, 204, 0, 255};
constexpr PaletteEntry systemPink{255, 45, 85, 255};
constexpr PaletteEntry white{255, 255, 255, 255};
constexpr PaletteEntry black{0, 0, 0, 255};
constexpr PaletteEntry clear{0, 0, 0, 0};
}

double unit(double value)
{
    if (std::isnan(value))
        return 0;
    return std::clamp(value, 0.0, 1.0);
}

Color fromPalette(const PaletteEntry& entry)
{
    return Color::calibratedRGB(entry.red / 255.0, entry.green / 255.0, entry.blue / 255.0, entry.alpha / 255.0);
}

}

Color::Color(Model model, double first, double second, double third, double alpha)
    : model_(model), components_{unit(first), unit(second), unit(third), unit(alpha)}
{
}

Color Color::calibratedRGB(double red, double green, double blue, double alpha)
{
    return Color(Model::rgb, red, green, blue, alpha);
}

Color Color::calibratedHSB(double hue, double saturation, double brightness, double alpha)
{
    return Color(Model::hsb, hue, saturation, brightness, alpha);
}

Color Color::systemRed() { return fromPalette(lightAppearance::systemRed); }
Color Color::systemYellow() { return fromPalette(lightAppearance::systemYellow); }
Color Color::systemPink() { return fromPalette(lightAppearance::systemPink); }
Color Color::white() { return fromPalette(lightAppearance::white); }
Color Color::black() { return fromPalette(lightAppearance::black); }
Color Color::clear() { return fromPalette(lightAppearance::clear); }

Color Color::withAlphaComponent(double alpha) const
{
    return Color(model_, components_[0], components_[1], components_[2], alpha);
}

Color::RGBA Color::rgba() const
{
    auto [first, second, third, alpha] = components_;
    if (model_ == Model::rgb)
        return {first, second, third, alpha};
    double hue = first, saturation = second, brightness = third;
    // Hue 1.0 is a full turn, the same red as 0.0.
    double sector = hue * 6.0 >= 6.0 ? 0.0 : hue * 6.0;
    int index = static_cast<int>(std::floor(sector));
    double fraction = sector - index;
    double p = brightness * (1 - saturation);
    double q = brightness * (1 - saturation * fraction);
    double t = brightness * (1 - saturation * (1 - fraction));
    double v = brightness;
    switch (index) {
    case 0:
        return {v, t, p, alpha};
    case 1:
        return {q, v, p, alpha};
    case 2:
        return {p, v, t, alpha};
    case 3:
        return {p, q, v, alpha};
    case 4:
        return {t, p, v, alpha};
    default:
        return {v, p, q, alpha};
    }
}

Color::HSBA Color::hsba() const
{
    auto [first, second, third, alpha] = components_;
    if (model_ == Model::hsb)
        return {first, second, third, alpha};
    double red = first, green = second, blue = third;
    double maximum = std::max({red, green, blue});
    double minimum = std::min({red, green, blue});
    double range = maximum - minimum;
    double saturation = maximum > 0 ? range / maximum : 0;
    double hue = 0;
    if (range > 0) {
        if (maximum == red)
            hue = (green - blue) / range;
        else if (maximum == green)
            hue = 2 + (blue - red) / range;
        else
            hue = 4 + (red - green) / range;
        hue /= 6;
        if (hue < 0)
            hue += 1;
    }
    return {hue, saturation, maximum, alpha};
}
