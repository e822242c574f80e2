// Form1: the program's one window and every handler of its events. The keep-alive handlers
// live in window/form1_keepalive.cpp, the label commands in window/form1_commands.cpp.
#pragma once

#include "keepalive/keepalive.h"
#include "serial/serial_line.h"
#include "window/form1_display.h"
#include "window/form_window.h"

namespace kelvarid {

class Form1 final : public FormEvents {
public:
    Form1(FormWindow& window, SerialLine& line, Shell& shell)
        : window_(window), shell_(shell), display_(window), keepAlive_(line, display_) {}

    void Load() override;
    void Unload() override;
    void Click(ControlId control) override;
    void Timer(ControlId timer) override;
    void Resume() override;

private:
    // Keep-alive.
    void Form_Load();    // top-left corner, probes the four ports, opens the selected one
    void Form_Unload();  // lowers the line if the last tick raised it
    void ApplyPortSelection();  // opens the selected port, which says in a box whether it opened
    void Option1_Click();  // switches to COM1
    void Option2_Click();  // switches to COM2
    void Option3_Click();  // switches to COM3
    void Option4_Click();  // switches to COM4
    void Timer1_Timer();   // raises the line for 500 ms, then lowers it for 60 s
    void Form_Resume();    // after sleep: the next tick at once, not up to a minute later

    // Window sizes and label commands.
    void Image1_Click();  // restores the window to the main strip (the white square)
    void Image2_Click();  // the same, from the black square that covers it
    void Label1_Click();  // shrinks the window to the square
    void Label2_Click();  // widens the window to show the about panel
    void Label3_Click();  // ends the program at once
    void Label6_Click();  // opens the program's web page
    void Label7_Click();  // hides the about panel again
    void Label9_Click();  // opens the circuit's web page
    void MinimizeWindow();  // the square alone, with the enlarge tooltip
    void RestoreWindow();   // the main strip, 1300 x 2100 twips

    FormWindow& window_;
    Shell& shell_;
    Form1Display display_;  // what the keep-alive reports, on the window
    KeepAlive keepAlive_;
};

}  // namespace kelvarid
