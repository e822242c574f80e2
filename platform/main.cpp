// kelvarid.exe: the window, its handlers, the serial line and the shell, put together.
#include <windows.h>

#include "platform/win32_form.h"
#include "platform/win32_shell.h"
#include "serial/module1.h"
#include "window/form1.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    kelvarid::Win32Form window(instance);
    kelvarid::Module1 serialLine;
    kelvarid::Win32Shell shell;
    kelvarid::Form1 form1(window, serialLine, shell);
    return window.Run(form1);
}
