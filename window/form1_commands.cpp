// The label commands: the window's three views, the web links and quitting. The window's
// width and height are the only state; there is no mode of its own.
#include "window/form1.h"
#include "window/texts.h"
#include "window/web_links.h"

namespace kelvarid {

namespace {

// The main strip's own width: its controls all end by 1300 twips and the about panel begins
// past it. The window is created 5 twips wider, at the form's 1305 twips (kForm1.width), so a
// thin black margin shows on the right at start-up. Restoring from the square and hiding the
// about panel both set 1300, not 1305: after either the window is 5 twips narrower than at
// start-up, and it never goes back to 1305.
constexpr int kNormalWidth = 1300;
constexpr int kNormalHeight = 2100;
constexpr int kWidenedWidth = 5535;
constexpr int kSquareSize = 120;

}  // namespace

void Form1::MinimizeWindow() {
    window_.SetHeight(kSquareSize);
    window_.SetWidth(kSquareSize);
    window_.SetTooltip(ControlId::Image1, texts::kEnlarge);
    window_.SetTooltip(ControlId::Image2, texts::kEnlarge);
}

void Form1::RestoreWindow() {
    window_.SetHeight(kNormalHeight);
    window_.SetWidth(kNormalWidth);
}

void Form1::Image1_Click() { RestoreWindow(); }
void Form1::Image2_Click() { RestoreWindow(); }
void Form1::Label1_Click() { MinimizeWindow(); }
void Form1::Label2_Click() { window_.SetWidth(kWidenedWidth); }
void Form1::Label7_Click() { window_.SetWidth(kNormalWidth); }
void Form1::Label3_Click() { window_.EndProgram(); }
void Form1::Label9_Click() { shell_.OpenWebPage(kCircuitPage.data()); }
void Form1::Label6_Click() { shell_.OpenWebPage(kProgramPage.data()); }

}  // namespace kelvarid
