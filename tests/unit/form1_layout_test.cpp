// Properties of Form1's description that the window's behaviour depends on.
#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "window/form1_layout.h"
#include "window/twips.h"
#include "window/web_links.h"

namespace kelvarid {
namespace {

int StackPlace(ControlId id) { return IndexOf(id); }  // rows are back to front

bool Crosses(const TwipsRect& rect, const TwipsLine& line) {
    const int left = std::min(line.x1, line.x2), right = std::max(line.x1, line.x2);
    const int top = std::min(line.y1, line.y2), bottom = std::max(line.y1, line.y2);
    return left < rect.right() && right >= rect.left && top < rect.bottom() && bottom >= rect.top;
}

TEST(Form1Layout, KeyboardFocusMovesThroughTheFourOptionButtonsInOrder) {
    std::vector<int> tabIndices;
    std::vector<ControlId> focusable;
    for (const ControlRow& row : kForm1Controls) {
        if (row.tabIndex != kNoTabStop) tabIndices.push_back(row.tabIndex);
    }
    std::sort(tabIndices.begin(), tabIndices.end());
    for (std::size_t i = 0; i < tabIndices.size(); ++i) EXPECT_EQ(tabIndices[i], static_cast<int>(i));

    for (int tab = 0; tab < static_cast<int>(tabIndices.size()); ++tab) {
        for (const ControlRow& row : kForm1Controls) {
            if (row.tabIndex == tab && row.kind == ControlKind::OptionButton) focusable.push_back(row.id);
        }
    }
    EXPECT_EQ(focusable, (std::vector<ControlId>{ControlId::Option1, ControlId::Option2, ControlId::Option3,
                                                 ControlId::Option4}));
}

TEST(Form1Layout, OnlyOption1IsSelectedAtCreation) {
    for (const ControlRow& row : kForm1Controls) {
        EXPECT_EQ(row.selected, row.id == ControlId::Option1) << "control " << IndexOf(row.id);
    }
}

TEST(Form1Layout, TheBlackPictureCoversTheWhiteOneExactly) {
    const ControlRow& white = RowOf(ControlId::Image1);
    const ControlRow& black = RowOf(ControlId::Image2);
    EXPECT_EQ(white.colour, kWhite);
    EXPECT_EQ(black.colour, kBlack);
    EXPECT_GT(StackPlace(ControlId::Image2), StackPlace(ControlId::Image1));
    EXPECT_EQ((std::vector<int>{white.rect.left, white.rect.top, white.rect.width, white.rect.height}),
              (std::vector<int>{black.rect.left, black.rect.top, black.rect.width, black.rect.height}));
    EXPECT_TRUE(black.visible);
}

TEST(Form1Layout, TheStatusTextLiesOverTheLineItCrosses) {
    EXPECT_TRUE(Crosses(RowOf(ControlId::Label10).rect, RowOf(ControlId::Line1).line));
    EXPECT_GT(StackPlace(ControlId::Label10), StackPlace(ControlId::Line1));
    EXPECT_EQ(std::wstring_view(RowOf(ControlId::Label10).caption), L"log.0");
}

TEST(Form1Layout, TheAboutPanelLiesBeyondTheCreationWidth) {
    for (const ControlRow& row : kForm1Controls) {
        const bool aboutPanel = row.kind == ControlKind::Label ? row.rect.left >= 1320
                                : row.kind == ControlKind::Line ? row.line.x1 >= 1320
                                                                : false;
        if (!aboutPanel) {
            const int right = row.kind == ControlKind::Line ? std::max(row.line.x1, row.line.x2) : row.rect.right();
            EXPECT_LE(right, 1300) << "control " << IndexOf(row.id) << " reaches into the about panel";
            continue;
        }
        EXPECT_GE(row.kind == ControlKind::Line ? row.line.x1 : row.rect.left, kForm1.width)
            << "control " << IndexOf(row.id) << " would show at the creation width";
    }
}

TEST(Form1Layout, OnlyTheWebLinksShowTheUpArrow) {
    for (const ControlRow& row : kForm1Controls) {
        const bool link = row.id == ControlId::Label6 || row.id == ControlId::Label9;
        EXPECT_EQ(row.pointer == Pointer::UpArrow, link) << IndexOf(row.id);
    }
}

std::wstring_view HostOf(std::string_view address) {
    static std::wstring wide;
    wide.assign(address.begin(), address.end());
    return std::wstring_view(wide).substr(std::wstring_view(L"http://").size());
}

TEST(WebLinks, EachCaptionEndsWithTheHostOfTheAddressItOpens) {
    const std::string_view program(kProgramPage.data());
    const std::string_view circuit(kCircuitPage.data());
    for (const std::string_view address : {program, circuit}) {
        ASSERT_EQ(address.rfind("http://", 0), 0u);
        EXPECT_EQ(address.find('/', 7), std::string_view::npos) << "nothing may follow the host";
    }
    const std::wstring_view programCaption(RowOf(ControlId::Label6).caption);
    const std::wstring_view circuitCaption(RowOf(ControlId::Label9).caption);
    EXPECT_EQ(programCaption, std::wstring(L"Více o programu na ") + std::wstring(HostOf(program)));
    EXPECT_EQ(circuitCaption, std::wstring(L"Více o obvodu na ") + std::wstring(HostOf(circuit)));
}

TEST(Form1Layout, VersionLabelKeepsItsTwentyOneSpaces) {
    const std::wstring_view caption(RowOf(ControlId::Label11).caption);
    EXPECT_EQ(caption, std::wstring(L"v1.1.") + std::wstring(21, L' ') + L"Id.:62211");
}

TEST(Twips, MapToPixelsByTheScreensResolution) {
    EXPECT_EQ(TwipsToPixels(1305, 96), 87);
    EXPECT_EQ(TwipsToPixels(2100, 96), 140);
    EXPECT_EQ(TwipsToPixels(120, 96), 8);
    EXPECT_EQ(TwipsToPixels(5535, 96), 369);
    EXPECT_EQ(TwipsToPixels(-15, 96), -1);
    EXPECT_EQ(TwipsToPixels(1305, 144), 131);  // 130.5 rounds away from zero
    EXPECT_EQ(TwipsToPixels(2100, 144), 210);
    EXPECT_EQ(TwipsToPixels(-15, 144), -2);    // -1.5 likewise
    EXPECT_EQ(TwipsToPixels(1300, 120), 108);  // 108.33
}

TEST(Twips, ARectangleKeepsItsPixelSizeWhereverItLies) {
    struct Box {
        int left, top, right, bottom;
        bool operator==(const Box&) const = default;
    };
    // At 144 DPI a twip is a tenth of a pixel: 5 twips round up to 1 pixel, 10 twips to 1.
    EXPECT_EQ(PixelRectOf<Box>(TwipsRect{5, 5, 5, 5}, 144), (Box{1, 1, 2, 2}));
    EXPECT_EQ(PixelRectOf<Box>(TwipsRect{10, 0, 5, 15}, 144), (Box{1, 0, 2, 2}));
    EXPECT_EQ(PixelRectOf<Box>(TwipsRect{1440, 720, 1305, 2100}, 96), (Box{96, 48, 183, 188}));
}

TEST(Twips, FontSizesFollowTheResolutionToo) {
    EXPECT_EQ(PointsToPixels(975, 96), 13);
    EXPECT_EQ(PointsToPixels(825, 96), 11);
    EXPECT_EQ(PointsToPixels(600, 96), 8);
    EXPECT_EQ(PointsToPixels(975, 144), 20);  // 19.5
}

}  // namespace
}  // namespace kelvarid
