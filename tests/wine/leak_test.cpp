// The real window runtime, in this process, through a thousand cycles of pulse ticks, shrinks,
// restores and about views: what it holds of GDI and USER objects and of memory must not grow.
// Wine answers GetGuiResources with 0, so the GDI objects are counted by how many more the
// process can still make, and the USER objects by the windows the thread owns.
// Then the same cycles while the display fails: every GDI object the process may make is
// taken, so painting, fonts, tooltips and device contexts fail; the pulses must go on.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <vector>

#include "window/win32/win32_form.h"
#include "window/form1.h"

namespace {

using kelvarid::ControlId;

class CountingLine final : public kelvarid::SerialLine {
public:
    std::int16_t OPENCOM(const char*) override { return 1; }
    std::int16_t TXD(std::int16_t level) override {
        ++calls;
        lastLevel = level;
        return 1;
    }
    long calls = 0;
    int lastLevel = -1;
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

// The runtime and the handlers, shown, with a counting line and no shell.
struct InProcessForm {
    InProcessForm() {
        window.Attach(form);
        ShowWindow(window.Handle(), SW_SHOWNOACTIVATE);
    }
    kelvarid::Win32Form window{GetModuleHandleW(nullptr)};
    CountingLine line;
    NoShell shell;
    kelvarid::Form1 form{window, line, shell};
};

// Takes every GDI object this process may still make, and gives them back when it goes.
class GdiExhaustion {
public:
    GdiExhaustion() {
        for (;;) {
            HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
            if (pen == nullptr || pens_.size() >= 200000) break;
            pens_.push_back(pen);
        }
    }
    ~GdiExhaustion() {
        for (HPEN pen : pens_) DeleteObject(pen);
    }
    size_t taken() const { return pens_.size(); }

private:
    std::vector<HPEN> pens_;
};

TEST(DisplayFailure, ThePulsesGoOnWhileNothingCanBeDrawnAndTheWindowDrawsAgainAfter) {
    InProcessForm run;
    HWND window = run.window.Handle();
    // Only the test's own ticks: the runtime's first one, due 5 ms after creation, is put off.
    run.window.SetInterval(ControlId::Timer1, 600000);
    Pump(window);
    {
        const GdiExhaustion exhaustion;
        ASSERT_GT(exhaustion.taken(), 1000u);
        ASSERT_EQ(CreateSolidBrush(RGB(1, 2, 3)), nullptr) << "GDI objects can still be made";
        SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(4, 4));  // the first tooltips
        for (int cycle = 0; cycle < 20; ++cycle) {
            InvalidateRect(window, nullptr, TRUE);
            Cycle(run.form, window);
        }
    }
    EXPECT_EQ(run.line.calls, 40L) << "ticks were lost while nothing could be drawn";
    EXPECT_EQ(run.line.lastLevel, 0);

    // Objects can be made again: the window draws again, its square black (the line is low).
    InvalidateRect(window, nullptr, TRUE);
    Pump(window);
    RECT rect{};
    GetWindowRect(window, &rect);
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    const COLORREF square = GetPixel(screen, rect.left + 2, rect.top + 2);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(square, RGB(0, 0, 0));
    EXPECT_EQ(rect.right - rect.left, 87) << "the window did not come back to its size";
}

TEST(Leaks, AThousandCyclesOfTicksShrinksAndRestoresLeaveObjectsAndMemoryFlat) {
    InProcessForm run;
    auto& window = run.window;
    auto& line = run.line;
    auto& form = run.form;
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

namespace kelvarid {
namespace {

// CreateFile says "no handle" with INVALID_HANDLE_VALUE, not nullptr: the owner must not take it
// for a handle, nor close it.
TEST(Handles, AFailedCreateFileGivesAnEmptyOwnerAndAGoodOneAFullOne) {
    const UniqueHandle missing(CreateFileW(L"Z:\\no\\such\\folder\\kelvarid.txt", GENERIC_READ, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(missing) << "INVALID_HANDLE_VALUE counted as a handle";
    wchar_t self[MAX_PATH];
    ASSERT_NE(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    const UniqueHandle file(CreateFileW(self, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    EXPECT_NE(GetFileSize(file.get(), nullptr), INVALID_FILE_SIZE);
}

}  // namespace
}  // namespace kelvarid
