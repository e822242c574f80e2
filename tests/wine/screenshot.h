// Screenshots for the window tests: what the screen shows, read back pixel by pixel, the
// colours the window draws, and pictures saved for the README (scripts/screenshots).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

// What the screen shows in a rectangle, read back pixel by pixel.
class Screenshot {
public:
    explicit Screenshot(const RECT& onScreen);
    int width() const { return width_; }
    int height() const { return height_; }
    // 0x00BBGGRR, like COLORREF; x and y relative to the rectangle's corner.
    COLORREF At(int x, int y) const;
    // How many pixels in `area` (relative) satisfy `match`.
    int Count(const RECT& area, const std::function<bool(COLORREF)>& match) const;
    // Saved as a 24-bit BMP under the build's screenshots folder; returns its Windows path.
    std::wstring Save(const wchar_t* name) const;

private:
    int width_;
    int height_;
    std::vector<COLORREF> pixels_;
};

// Takes screenshots of `onScreen` until one `shows` what is expected, for at most `timeoutMs`;
// returns that one, or the last taken, for the test to check and report.
Screenshot ShotWhen(const RECT& onScreen, const std::function<bool(const Screenshot&)>& shows, int timeoutMs = 3000);

bool IsOrange(COLORREF colour);      // the text orange 0x000080FF, give or take anti-aliasing
bool IsDarkOrange(COLORREF colour);  // 0x000040C0
bool IsWhite(COLORREF colour);
bool IsBlack(COLORREF colour);

}  // namespace e2e
