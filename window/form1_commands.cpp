// The label commands: the window's three views, the web links and quitting. The window's
// width and height are the only state; there is no mode of its own.
#include "window/form1.h"
#include "window/web_links.h"

namespace kelvarid {

namespace {

constexpr int kNormalWidth = 1300;
constexpr int kNormalHeight = 2100;
constexpr int kWidenedWidth = 5535;
constexpr int kSquareSize = 120;
constexpr wchar_t kEnlargeTooltip[] = L"Zvětšit...";

}  // namespace

void Form1::MinimizeWindow() {
    window_.SetHeight(kSquareSize);
    window_.SetWidth(kSquareSize);
    window_.SetTooltip(ControlId::Image1, kEnlargeTooltip);
    window_.SetTooltip(ControlId::Image2, kEnlargeTooltip);
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
