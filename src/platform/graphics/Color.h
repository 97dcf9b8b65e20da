#pragma once

#include <compare>

// A colour as the badge styles describe it: explicit RGB or hue, saturation
// and brightness components with an alpha, or one of the desktop's named
// system colours. All components lie in 0...1; values outside are clamped
// when the colour is made. Drawing code asks for rgba() and uses sRGB.
class Color {
public:
    struct RGBA {
        double red, green, blue, alpha;
        friend bool operator==(const RGBA&, const RGBA&) = default;
    };
    struct HSBA {
        double hue, saturation, brightness, alpha;
        friend bool operator==(const HSBA&, const HSBA&) = default;
    };

    static Color calibratedRGB(double red, double green, double blue, double alpha = 1.0);
    // hue is a fraction of a full turn: 0.5 is cyan.
    static Color calibratedHSB(double hue, double saturation, double brightness, double alpha = 1.0);

    // The light-appearance values of the desktop palette.
    static Color systemRed();
    static Color systemYellow();
    static Color systemPink();
    static Color white();
    static Color black();
    static Color clear();

    // The same colour with only its alpha replaced.
    Color withAlphaComponent(double alpha) const;

    RGBA rgba() const;
    HSBA hsba() const;
    double alpha() const { return components_[3]; }

    // Colours are equal when they were made the same way with the same
    // components: an HSB colour never equals an RGB one, as with the
    // desktop's own colour objects.
    friend bool operator==(const Color&, const Color&) = default;

private:
    enum class Model { rgb, hsb };

    Color(Model model, double first, double second, double third, double alpha);

    Model model_;
    double components_[4];
};
