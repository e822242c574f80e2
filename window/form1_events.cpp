// Routes each event of the window to the handler named after its control.
#include "window/form1.h"

namespace kelvarid {

void Form1::Load() { Form_Load(); }

void Form1::Unload() { Form_Unload(); }

void Form1::Timer(ControlId timer) {
    if (timer == ControlId::Timer1) Timer1_Timer();
}

void Form1::Resume() { Form_Resume(); }

void Form1::Click(ControlId control) {
    switch (control) {
    case ControlId::Option1: return Option1_Click();
    case ControlId::Option2: return Option2_Click();
    case ControlId::Option3: return Option3_Click();
    case ControlId::Option4: return Option4_Click();
    case ControlId::Image1: return Image1_Click();
    case ControlId::Image2: return Image2_Click();
    case ControlId::Label1: return Label1_Click();
    case ControlId::Label2: return Label2_Click();
    case ControlId::Label3: return Label3_Click();
    case ControlId::Label6: return Label6_Click();
    case ControlId::Label7: return Label7_Click();
    case ControlId::Label9: return Label9_Click();
    default: return;  // the other controls have no Click handler
    }
}

}  // namespace kelvarid
