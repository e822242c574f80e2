// Twips to device pixels at the screen's real resolution (1440 twips to the inch).
#pragma once

#include "window/form_types.h"

namespace kelvarid {

inline constexpr int kTwipsPerInch = 1440;

// Rounds to the nearest pixel, halves away from zero, as MulDiv does.
constexpr int TwipsToPixels(int twips, int dotsPerInch) {
    const long long scaled = static_cast<long long>(twips) * dotsPerInch;
    const long long half = kTwipsPerInch / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / kTwipsPerInch
                                        : -((-scaled + half) / kTwipsPerInch));
}

// A control's rectangle in pixels, as {left, top, right, bottom} (a Win32 RECT, say). Each
// corner and each size is rounded by itself, so that two controls of one size stay one size
// on the screen wherever they lie: the right edge is the left edge's pixel plus the width's.
template <class PixelRect>
constexpr PixelRect PixelRectOf(const TwipsRect& twips, int dotsPerInch) {
    const int left = TwipsToPixels(twips.left, dotsPerInch);
    const int top = TwipsToPixels(twips.top, dotsPerInch);
    return PixelRect{left, top, left + TwipsToPixels(twips.width, dotsPerInch),
                     top + TwipsToPixels(twips.height, dotsPerInch)};
}

// A font's height in pixels from its size in hundredths of a point (72 points to the inch).
constexpr int PointsToPixels(int centipoints, int dotsPerInch) {
    return static_cast<int>((static_cast<long long>(centipoints) * dotsPerInch + 3600) / 7200);
}

}  // namespace kelvarid
