// Value types shared by the window description, the handlers and the runtime.
#pragma once

#include <cstdint>

namespace kelvarid {

// 0x00BBGGRR, the same layout as a Win32 COLORREF.
using Colour = std::uint32_t;
inline constexpr Colour kBlack = 0x00000000;
inline constexpr Colour kWhite = 0x00FFFFFF;
inline constexpr Colour kOrange = 0x000080FF;
inline constexpr Colour kDarkOrange = 0x000040C0;
inline constexpr Colour kRed = 0x000000FF;

// Positions and sizes are kept in twips, 1/1440 inch, until the runtime draws them.
struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    constexpr int right() const { return left + width; }
    constexpr int bottom() const { return top + height; }
};

struct TwipsLine {
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
};

// Every control of Form1, in the order of the description table.
enum class ControlId : std::uint8_t {
    Image1, Image2, Line1, Line2,
    Label1, Label2, Label3, Line3,
    Label4, Label5, Label6, Label7, Label8, Label9,
    Label10, Label11,
    Option1, Option2, Option3, Option4,
    Timer1,
};
inline constexpr int kControlCount = static_cast<int>(ControlId::Timer1) + 1;

constexpr int IndexOf(ControlId id) { return static_cast<int>(id); }

enum class MessageIcon : std::uint8_t { Information, Warning };

}  // namespace kelvarid
