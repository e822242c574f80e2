// The real window runtime and handlers, in this process, while the display fails: the process
// has used up every GDI object it may make, so painting, fonts, tooltips and device contexts
// fail. The pulses must go on regardless, and the window must draw again once it can.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "platform/win32_form.h"
#include "window/form1.h"

namespace {

using kelvarid::ControlId;

class RecordingLine final : public kelvarid::SerialLine {
public:
    std::int16_t OPENCOM(const char*) override { return 1; }
    std::int16_t TXD(std::int16_t level) override {
        levels.push_back(level);
        return 1;
    }
    std::vector<int> levels;
};

class NoShell final : public kelvarid::Shell {
public:
    void OpenWebPage(const char*) override {}
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

void Pump(HWND window) {
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

TEST(DisplayFailure, ThePulsesGoOnWhileNothingCanBeDrawn) {
    kelvarid::Win32Form window(GetModuleHandleW(nullptr));
    RecordingLine line;
    NoShell shell;
    kelvarid::Form1 form(window, line, shell);
    window.Attach(form);
    ShowWindow(window.Handle(), SW_SHOWNOACTIVATE);
    Pump(window.Handle());

    {
        const GdiExhaustion exhaustion;
        ASSERT_GT(exhaustion.taken(), 1000u);
        ASSERT_EQ(CreateSolidBrush(RGB(1, 2, 3)), nullptr) << "GDI objects can still be made";
        // Every display path: the first tooltips, painting, captions, the square, the sizes.
        SendMessageW(window.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(4, 4));
        for (int cycle = 0; cycle < 20; ++cycle) {
            form.Timer(ControlId::Timer1);
            Pump(window.Handle());
            form.Click(ControlId::Label1);
            Pump(window.Handle());
            form.Click(ControlId::Image1);
            form.Timer(ControlId::Timer1);
            Pump(window.Handle());
            form.Click(ControlId::Label2);
            Pump(window.Handle());
            form.Click(ControlId::Label7);
            Pump(window.Handle());
        }
    }
    ASSERT_EQ(line.levels.size(), 40u);
    for (size_t i = 0; i < line.levels.size(); ++i) EXPECT_EQ(line.levels[i], i % 2 == 0 ? 1 : 0) << i;

    // Once objects can be made again, the window draws again: its square is black (low).
    Pump(window.Handle());
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    RECT rect{};
    GetWindowRect(window.Handle(), &rect);
    const COLORREF square = GetPixel(screen, rect.left + 2, rect.top + 2);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(square, RGB(0, 0, 0));
    EXPECT_EQ(rect.right - rect.left, 87) << "the window did not come back to its size";
}

}  // namespace
