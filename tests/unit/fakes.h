// Recording stand-ins for the window, the serial line and the shell. Everything the handlers
// do lands, in order, in one journal, so tests can check the order across all three.
#pragma once

#include <array>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "serial/serial_line.h"
#include "window/form1_layout.h"
#include "window/form1.h"
#include "window/form_window.h"

namespace kelvarid::testing {

using Journal = std::vector<std::wstring>;

inline std::wstring NameOf(ControlId id) { return RowOf(id).name; }

inline std::wstring Widen(const char* text) {
    std::wstring wide;
    for (; *text != '\0'; ++text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return wide;
}

class FakeWindow final : public FormWindow {
public:
    explicit FakeWindow(Journal& journal) : journal_(journal) {
        for (const ControlRow& row : kForm1Controls) {
            enabled[IndexOf(row.id)] = true;
            selected[IndexOf(row.id)] = row.selected;
            visible[IndexOf(row.id)] = row.visible;
            caption[IndexOf(row.id)] = row.caption;
            colour[IndexOf(row.id)] = row.colour;
            tooltip[IndexOf(row.id)] = row.tooltip;
        }
    }

    void SetLeft(int twips) override { left = twips; Log(L"SetLeft " + std::to_wstring(twips)); }
    void SetTop(int twips) override { top = twips; Log(L"SetTop " + std::to_wstring(twips)); }
    void SetWidth(int twips) override { width = twips; Log(L"SetWidth " + std::to_wstring(twips)); }
    void SetHeight(int twips) override { height = twips; Log(L"SetHeight " + std::to_wstring(twips)); }

    void SetEnabled(ControlId control, bool value) override {
        enabled[IndexOf(control)] = value;
        Log(L"SetEnabled " + NameOf(control) + (value ? L" true" : L" false"));
    }
    bool IsSelected(ControlId control) override { return selected[IndexOf(control)]; }
    void SetVisible(ControlId control, bool value) override {
        visible[IndexOf(control)] = value;
        Log(L"SetVisible " + NameOf(control) + (value ? L" true" : L" false"));
    }
    void SetColour(ControlId control, Colour value) override {
        colour[IndexOf(control)] = value;
        Log(L"SetColour " + NameOf(control) + L" " + std::to_wstring(value));
    }
    void SetCaption(ControlId control, std::wstring_view text) override {
        caption[IndexOf(control)] = text;
        Log(L"SetCaption " + NameOf(control) + L" " + std::wstring(text));
    }
    void SetTooltip(ControlId control, std::wstring_view text) override {
        tooltip[IndexOf(control)] = text;
        Log(L"SetTooltip " + NameOf(control) + L" " + std::wstring(text));
    }
    void SetInterval(ControlId timer, unsigned milliseconds) override {
        interval = milliseconds;
        Log(L"SetInterval " + NameOf(timer) + L" " + std::to_wstring(milliseconds));
    }
    void ShowMessageBox(std::wstring_view text, std::wstring_view title, MessageIcon icon) override {
        Log(std::wstring(L"Box ") + (icon == MessageIcon::Warning ? L"warning " : L"information ") +
            std::wstring(title) + L": " + std::wstring(text));
        // The box's own wait dispatches the window's events: a test may run some here.
        if (whileBoxIsOpen) whileBoxIsOpen();
        Log(L"Box closed");
    }
    void EndProgram() override {
        ended = true;
        Log(L"EndProgram");
    }

    // Selects one option button as the group would: the others lose their selection.
    void Select(ControlId option) {
        for (const ControlId each : {ControlId::Option1, ControlId::Option2, ControlId::Option3, ControlId::Option4}) {
            selected[IndexOf(each)] = each == option;
        }
    }

    std::array<bool, kControlCount> enabled{};
    std::array<bool, kControlCount> selected{};
    std::array<bool, kControlCount> visible{};
    std::array<Colour, kControlCount> colour{};
    std::array<std::wstring, kControlCount> caption;
    std::array<std::wstring, kControlCount> tooltip;
    int left = -1, top = -1;
    int width = kForm1.width, height = kForm1.height;
    unsigned interval = RowOf(ControlId::Timer1).intervalMs;
    bool ended = false;
    std::function<void()> whileBoxIsOpen;

private:
    void Log(std::wstring entry) { journal_.push_back(std::move(entry)); }
    Journal& journal_;
};

class FakeSerialLine final : public SerialLine {
public:
    explicit FakeSerialLine(Journal& journal) : journal_(journal) {}

    std::int16_t OPENCOM(const char* settings) override {
        const std::wstring text = Widen(settings);
        const bool opens = available.count(text.substr(0, 4)) != 0;
        journal_.push_back(L"OPENCOM " + text);
        return opens ? 1 : 0;
    }
    std::int16_t TXD(std::int16_t level) override {
        journal_.push_back(L"TXD " + std::to_wstring(level));
        return txdWorks ? 1 : 0;
    }

    std::set<std::wstring> available;  // port names that open, "COM3"
    bool txdWorks = true;

private:
    Journal& journal_;
};

class FakeShell final : public Shell {
public:
    explicit FakeShell(Journal& journal) : journal_(journal) {}
    void OpenWebPage(const char* address) override { journal_.push_back(L"Open " + Widen(address)); }

private:
    Journal& journal_;
};

// Form1 with everything it talks to faked.
struct Rig {
    Journal journal;
    FakeWindow window{journal};
    FakeSerialLine line{journal};
    FakeShell shell{journal};
    Form1 form{window, line, shell};

    // Journal entries that start with `prefix`, in order.
    Journal Only(const std::wstring& prefix) const {
        Journal picked;
        for (const auto& entry : journal) {
            if (entry.rfind(prefix, 0) == 0) picked.push_back(entry);
        }
        return picked;
    }
};

}  // namespace kelvarid::testing
