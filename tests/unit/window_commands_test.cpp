// The label commands, driven through Form1's Click events.
#include <gtest/gtest.h>

#include <initializer_list>

#include "tests/unit/fakes.h"

namespace kelvarid::testing {
namespace {

struct Size {
    int width;
    int height;
    bool operator==(const Size&) const = default;
};

void PrintTo(const Size& size, std::ostream* out) { *out << size.width << " x " << size.height; }

Size After(std::initializer_list<ControlId> clicks) {
    Rig rig;
    for (const ControlId control : clicks) rig.form.Click(control);
    return {rig.window.width, rig.window.height};
}

TEST(WindowSizes, EveryOrderOfCommandsEndsInTheSizeOfItsLastCommands) {
    using enum ControlId;
    EXPECT_EQ(After({}), (Size{1305, 2100}));
    EXPECT_EQ(After({Label1}), (Size{120, 120}));
    EXPECT_EQ(After({Label1, Image2}), (Size{1300, 2100}));
    EXPECT_EQ(After({Label1, Image1}), (Size{1300, 2100}));
    EXPECT_EQ(After({Label2}), (Size{5535, 2100}));
    EXPECT_EQ(After({Label2, Label2}), (Size{5535, 2100}));
    EXPECT_EQ(After({Label2, Label7}), (Size{1300, 2100}));
    EXPECT_EQ(After({Label2, Image2}), (Size{1300, 2100}));
    EXPECT_EQ(After({Label2, Label1}), (Size{120, 120}));
    // About and hide change only the width: they keep a shrunk window's height.
    EXPECT_EQ(After({Label1, Label2}), (Size{5535, 120}));
    EXPECT_EQ(After({Label1, Label7}), (Size{1300, 120}));
    EXPECT_EQ(After({Label1, Label2, Image1}), (Size{1300, 2100}));
}

TEST(WindowSizes, ShrinkAndRestoreSetHeightBeforeWidthAndNeverMoveTheWindow) {
    Rig rig;
    rig.form.Click(ControlId::Label1);
    rig.form.Click(ControlId::Image2);
    EXPECT_EQ(rig.journal, (Journal{L"SetHeight 120", L"SetWidth 120", L"SetTooltip Image1 Zvětšit...",
                                    L"SetTooltip Image2 Zvětšit...", L"SetHeight 2100", L"SetWidth 1300"}));
    EXPECT_TRUE(rig.Only(L"SetLeft").empty());
    EXPECT_TRUE(rig.Only(L"SetTop").empty());
}

TEST(WindowSizes, TheEnlargeTooltipsStayAfterTheWindowIsRestored) {
    Rig rig;
    EXPECT_EQ(rig.window.tooltip[IndexOf(ControlId::Image1)], L"");
    rig.form.Click(ControlId::Label1);
    rig.form.Click(ControlId::Image1);
    rig.form.Click(ControlId::Label2);
    rig.form.Click(ControlId::Label7);
    EXPECT_EQ(rig.window.tooltip[IndexOf(ControlId::Image1)], L"Zvětšit...");
    EXPECT_EQ(rig.window.tooltip[IndexOf(ControlId::Image2)], L"Zvětšit...");
}

TEST(WindowSizes, ResizingDoesNotTouchThePulses) {
    Rig rig;
    rig.form.Timer(ControlId::Timer1);
    rig.journal.clear();
    for (const ControlId control : {ControlId::Label1, ControlId::Image1, ControlId::Label2, ControlId::Label7}) {
        rig.form.Click(control);
    }
    EXPECT_TRUE(rig.Only(L"TXD").empty());
    EXPECT_TRUE(rig.Only(L"SetInterval").empty());
    EXPECT_TRUE(rig.Only(L"SetVisible").empty());
}

TEST(Quit, EndsTheProgramAtOnceWithoutLoweringTheLine) {
    Rig rig;
    rig.form.Timer(ControlId::Timer1);  // the line is high
    rig.journal.clear();
    rig.form.Click(ControlId::Label3);
    EXPECT_EQ(rig.journal, (Journal{L"EndProgram"}));
}

TEST(WebLinks, EachLinkOpensItsOwnAddressAndNothingElse) {
    Rig rig;
    rig.form.Click(ControlId::Label9);
    rig.form.Click(ControlId::Label6);
    EXPECT_EQ(rig.journal, (Journal{L"Open http://obvod.kelvarid.example", L"Open http://www.kelvarid.example"}));
}

TEST(Clicks, ControlsWithoutAHandlerDoNothing) {
    Rig rig;
    using enum ControlId;
    for (const ControlId control : {Label4, Label5, Label8, Label10, Label11, Line1, Line2, Line3, Timer1}) {
        rig.form.Click(control);
    }
    EXPECT_TRUE(rig.journal.empty());
}

}  // namespace
}  // namespace kelvarid::testing
