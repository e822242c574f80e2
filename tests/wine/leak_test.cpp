// The real window runtime, in this process, through a thousand cycles of pulse ticks, shrinks,
// restores and about views: what it holds of GDI and USER objects and of memory must not grow.
// Wine answers GetGuiResources with 0, so the GDI objects are counted by how many more the
// process can still make, and the USER objects by the windows the thread owns.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <vector>

#include "platform/win32_form.h"
#include "window/form1.h"

namespace {

using kelvarid::ControlId;

class CountingLine final : public kelvarid::SerialLine {
public:
    std::int16_t OPENCOM(const char*) override { return 1; }
    std::int16_t TXD(std::int16_t) override {
        ++calls;
        return 1;
    }
    long calls = 0;
};

class NoShell final : public kelvarid::Shell {
public:
    void OpenWebPage(const char*) override {}
};

// How many more GDI objects this process can make before the system refuses one.
int FreeGdiSlots() {
    std::vector<HPEN> pens;
    pens.reserve(70000);
    for (;;) {
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
        if (pen == nullptr || pens.size() >= 70000) break;
        pens.push_back(pen);
    }
    for (HPEN pen : pens) DeleteObject(pen);
    return static_cast<int>(pens.size());
}

BOOL CALLBACK CountChild(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    EnumChildWindows(window, &CountChild, count);
    return TRUE;
}

int ThreadWindows() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), &CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

SIZE_T WorkingSet() {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    return memory.WorkingSetSize;
}

void Pump(HWND window) {
    UpdateWindow(window);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// One pulse with the window shrunk in the high phase and brought back in the low one, then
// the about panel shown and hidden: every control is drawn again along the way.
void Cycle(kelvarid::Form1& form, HWND window) {
    form.Timer(ControlId::Timer1);
    Pump(window);
    form.Click(ControlId::Label1);
    Pump(window);
    form.Click(ControlId::Image1);
    Pump(window);
    form.Timer(ControlId::Timer1);
    Pump(window);
    form.Click(ControlId::Label2);
    Pump(window);
    form.Click(ControlId::Label7);
    Pump(window);
}

TEST(Leaks, AThousandCyclesOfTicksShrinksAndRestoresLeaveObjectsAndMemoryFlat) {
    kelvarid::Win32Form window(GetModuleHandleW(nullptr));
    CountingLine line;
    NoShell shell;
    kelvarid::Form1 form(window, line, shell);
    window.Attach(form);
    ShowWindow(window.Handle(), SW_SHOWNOACTIVATE);
    SendMessageW(window.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(4, 4));  // the tooltips come with the mouse
    for (int warmUp = 0; warmUp < 50; ++warmUp) Cycle(form, window.Handle());

    const int gdiBefore = FreeGdiSlots();
    const int windowsBefore = ThreadWindows();
    const DWORD userBefore = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    const SIZE_T memoryBefore = WorkingSet();
    constexpr int kCycles = 1000;
    for (int cycle = 0; cycle < kCycles; ++cycle) Cycle(form, window.Handle());
    const int gdiAfter = FreeGdiSlots();
    const int windowsAfter = ThreadWindows();
    const DWORD userAfter = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    const SIZE_T memoryAfter = WorkingSet();

    std::printf("%d cycles (%ld TXD calls): free GDI slots %d -> %d, windows %d -> %d, USER objects %lu -> %lu, "
                "working set %lu -> %lu KiB\n",
                kCycles, line.calls, gdiBefore, gdiAfter, windowsBefore, windowsAfter, userBefore, userAfter,
                static_cast<unsigned long>(memoryBefore / 1024), static_cast<unsigned long>(memoryAfter / 1024));
    EXPECT_EQ(line.calls, 2L * (50 + kCycles));
    EXPECT_GT(gdiBefore, 1000) << "the GDI probe found no room at all";
    EXPECT_GE(gdiAfter, gdiBefore - 4) << "GDI objects were left behind";
    EXPECT_EQ(windowsAfter, windowsBefore);
    EXPECT_LE(userAfter, userBefore + 4);
    EXPECT_LT(memoryAfter, memoryBefore + 2 * 1024 * 1024) << "memory grew by 2 MiB or more";
}

}  // namespace
