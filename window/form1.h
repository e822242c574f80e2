// Form1: the program's one window and every handler of its events. The keep-alive handlers
// live in keepalive/form1_keepalive.cpp, the label commands in window/form1_commands.cpp.
#pragma once

#include "serial/serial_line.h"
#include "window/form_window.h"

namespace kelvarid {

class Form1 final : public FormEvents {
public:
    Form1(FormWindow& window, SerialLine& line, Shell& shell)
        : window_(window), line_(line), shell_(shell) {}

    void Load() override;
    void Unload() override;
    void Click(ControlId control) override;
    void Timer(ControlId timer) override;

private:
    // Keep-alive.
    void Form_Load();
    void Form_Unload();  // lowers the line if the last tick raised it
    void ApplyPortSelection();
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    void Option4_Click();
    void Timer1_Timer();
    void RetryChosenPort();
    void ShowLineLevel(bool txdWorked);

    // Window sizes and label commands.
    void Image1_Click();
    void Image2_Click();
    void Label1_Click();
    void Label2_Click();
    void Label3_Click();
    void Label6_Click();
    void Label7_Click();
    void Label9_Click();
    void MinimizeWindow();
    void RestoreWindow();

    FormWindow& window_;
    SerialLine& line_;
    Shell& shell_;
    bool LineHigh = false;  // true while the last tick raised the line
    // The port of the option button chosen last, and whether it opened; while it has not,
    // every rise asks for it again (a USB adapter may come minutes after log-on).
    int chosenPort_ = -1;
    bool chosenPortOpen_ = false;
    bool txdWorked_ = true;  // the last TXD call's result; the square is red while false
};

}  // namespace kelvarid
