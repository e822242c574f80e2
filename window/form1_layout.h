// Form1 described once, as data: the window's own properties and one row per control.
// The runtime builds the whole window from these rows and nothing else.
//
// Rows are in stacking order, back to front: a later row is drawn over an earlier one and
// takes a click first. The option buttons are real windows and so always lie over the
// windowless controls (pictures, lines, labels), which the window paints itself.
#pragma once

#include <array>

#include "keepalive/ports.h"
#include "keepalive/pulse.h"
#include "window/form_types.h"
#include "window/web_links.h"

namespace kelvarid {

enum class ControlKind : std::uint8_t { Picture, Line, Label, OptionButton, Timer };

enum class Pointer : std::uint8_t { Default, UpArrow };

// How a label's text uses its rectangle.
enum class TextFit : std::uint8_t {
    AutoSize,  // the rectangle is the size of the caption's text, on one line
    Clip,      // one line, kept inside the rectangle
    Wrap,      // wraps inside the rectangle
};

inline constexpr int kCentralEuropeanCharset = 238;

struct FontSpec {
    const wchar_t* face = nullptr;  // nullptr: the windowing system's default font
    int centipoints = 0;            // 975 is 9.75 pt
    bool bold = false;
    int charset = kCentralEuropeanCharset;
};

inline constexpr FontSpec kDefaultFont{};
inline constexpr FontSpec kSansSerif825Bold{L"MS Sans Serif", 825, true};
inline constexpr FontSpec kSansSerif975Bold{L"MS Sans Serif", 975, true};
inline constexpr FontSpec kArial6{L"Arial", 600, false};

inline constexpr int kNoTabStop = -1;

struct ControlRow {
    ControlId id{};
    ControlKind kind{};
    const wchar_t* name = L"";
    const wchar_t* caption = L"";
    Colour colour = kBlack;  // text or line colour; a picture's fill
    TwipsRect rect{};
    TwipsLine line{};
    FontSpec font{};
    TextFit fit = TextFit::AutoSize;
    const wchar_t* tooltip = L"";
    Pointer pointer = Pointer::Default;
    int tabIndex = kNoTabStop;
    bool visible = true;
    bool selected = false;
    unsigned intervalMs = 0;
};

struct FormSpec {
    const wchar_t* caption;
    Colour background;
    int width;   // twips
    int height;  // twips
};

inline constexpr FormSpec kForm1{L"Kelvarid", kBlack, 1305, 2100};

inline constexpr wchar_t kLabel8Caption[] =
    L"Tento program slouží k automatickému restartu při \"seknutí\" PC... "
    L"K počítači je nutné připojit obvod \"Kelvarid\", který slouží k resetu PC.";

inline constexpr std::array<ControlRow, kControlCount> kForm1Controls{{
    {.id = ControlId::Image1, .kind = ControlKind::Picture, .name = L"Image1",
     .colour = kWhite, .rect = {0, 0, 120, 120}},
    {.id = ControlId::Image2, .kind = ControlKind::Picture, .name = L"Image2",
     .colour = kBlack, .rect = {0, 0, 120, 120}},
    {.id = ControlId::Line1, .kind = ControlKind::Line, .name = L"Line1",
     .colour = kOrange, .line = {960, 120, 0, 120}},
    {.id = ControlId::Line2, .kind = ControlKind::Line, .name = L"Line2",
     .colour = kOrange, .line = {120, 1200, 120, 0}},
    {.id = ControlId::Label1, .kind = ControlKind::Label, .name = L"Label1",
     .caption = L"Minimize ^", .colour = kOrange, .rect = {120, 1320, 1095, 240},
     .font = kSansSerif975Bold, .tooltip = L"Minimalizuje program Kelvarid...", .tabIndex = 0},
    {.id = ControlId::Label2, .kind = ControlKind::Label, .name = L"Label2",
     .caption = L"About...", .colour = kOrange, .rect = {120, 1560, 795, 240},
     .font = kSansSerif975Bold, .tooltip = L"O programu Kelvarid...", .tabIndex = 5},
    {.id = ControlId::Label3, .kind = ControlKind::Label, .name = L"Label3",
     .caption = L"Quit !", .colour = kDarkOrange, .rect = {120, 1800, 540, 240},
     .font = kSansSerif975Bold, .tooltip = L"Ukončí program Kelvarid...", .tabIndex = 6},
    {.id = ControlId::Line3, .kind = ControlKind::Line, .name = L"Line3",
     .colour = kOrange, .line = {1320, 1920, 1320, 120}},
    {.id = ControlId::Label4, .kind = ControlKind::Label, .name = L"Label4",
     .caption = L"Kelvarid v1.1.", .colour = kOrange, .rect = {1440, 120, 1380, 195},
     .font = kSansSerif825Bold, .tabIndex = 7},
    {.id = ControlId::Label5, .kind = ControlKind::Label, .name = L"Label5",
     .caption = L"Pro správce serverů vyvinul tým Kelvarid, 2007", .colour = kWhite,
     .rect = {1440, 360, 3975, 195}, .font = kDefaultFont, .fit = TextFit::Clip, .tabIndex = 8},
    {.id = ControlId::Label6, .kind = ControlKind::Label, .name = L"Label6",
     .caption = kProgramLinkCaption.data(), .colour = kWhite, .rect = {1440, 600, 3165, 195},
     .font = kSansSerif825Bold, .pointer = Pointer::UpArrow, .tabIndex = 9},
    {.id = ControlId::Label7, .kind = ControlKind::Label, .name = L"Label7",
     .caption = L"<- Skrýt", .colour = kOrange, .rect = {1440, 1800, 795, 240},
     .font = kSansSerif975Bold, .tabIndex = 10},
    {.id = ControlId::Label8, .kind = ControlKind::Label, .name = L"Label8",
     .caption = kLabel8Caption, .colour = kWhite, .rect = {1440, 960, 3975, 615},
     .font = kDefaultFont, .fit = TextFit::Wrap, .tabIndex = 11},
    {.id = ControlId::Label9, .kind = ControlKind::Label, .name = L"Label9",
     .caption = kCircuitLinkCaption.data(), .colour = kWhite, .rect = {1440, 1560, 3300, 195},
     .font = kSansSerif825Bold, .pointer = Pointer::UpArrow, .tabIndex = 12},
    {.id = ControlId::Label10, .kind = ControlKind::Label, .name = L"Label10",
     .caption = L"log.0", .colour = kWhite, .rect = {720, -15, 255, 150},
     .font = kArial6, .tabIndex = 13},
    {.id = ControlId::Label11, .kind = ControlKind::Label, .name = L"Label11",
     .caption = L"v1.1.                     Id.:62211", .colour = kWhite,
     .rect = {2760, 1800, 2670, 240}, .font = kSansSerif975Bold, .tabIndex = 14},
    {.id = ControlId::Option1, .kind = ControlKind::OptionButton, .name = L"Option1",
     .caption = kPortNames[0], .colour = kWhite, .rect = {240, 240, 975, 195}, .tabIndex = 1,
     .selected = true},
    {.id = ControlId::Option2, .kind = ControlKind::OptionButton, .name = L"Option2",
     .caption = kPortNames[1], .colour = kWhite, .rect = {240, 480, 975, 255}, .tabIndex = 2},
    {.id = ControlId::Option3, .kind = ControlKind::OptionButton, .name = L"Option3",
     .caption = kPortNames[2], .colour = kWhite, .rect = {240, 720, 975, 255}, .tabIndex = 3},
    {.id = ControlId::Option4, .kind = ControlKind::OptionButton, .name = L"Option4",
     .caption = kPortNames[3], .colour = kWhite, .rect = {240, 960, 975, 255}, .tabIndex = 4},
    {.id = ControlId::Timer1, .kind = ControlKind::Timer, .name = L"Timer1", .intervalMs = kFirstTickMs},
}};

constexpr const ControlRow& RowOf(ControlId id) { return kForm1Controls[IndexOf(id)]; }

}  // namespace kelvarid

namespace kelvarid {

constexpr bool RowsFollowControlIds() {
    for (int i = 0; i < kControlCount; ++i) {
        if (IndexOf(kForm1Controls[i].id) != i) return false;
    }
    return true;
}
static_assert(RowsFollowControlIds(), "RowOf() indexes the table by ControlId");

}  // namespace kelvarid
