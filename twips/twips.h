#pragma once

#include <QRect>
#include <cmath>

// 1440 twips to the inch at 96 device-independent pixels to the inch: 15 twips per pixel.
inline constexpr double kTwipsPerPixel = 15.0;

// Of a window's outer height, what is allowed for the title bar and borders, whatever frame the
// window manager draws: the client area is always the outer height less this.
inline constexpr int kFrameAllowance = 400;

// Nearest pixel for a position in twips. Qt's high-DPI scaling multiplies afterwards.
inline int twipsToPixels(double twips) {
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

struct TwipsRect {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    friend bool operator==(const TwipsRect &, const TwipsRect &) = default;
};

// Converts edges rather than sizes, so boxes that touch in twips touch in pixels.
inline QRect toPixels(const TwipsRect &r) {
    const int left = twipsToPixels(r.left);
    const int top = twipsToPixels(r.top);
    return {left, top, twipsToPixels(r.left + r.width) - left,
            twipsToPixels(r.top + r.height) - top};
}
