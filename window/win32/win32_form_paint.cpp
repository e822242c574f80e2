// Painting the windowless controls (pictures, lines and labels) and the option buttons'
// colours, and marking what must be painted again.
#include "window/win32/win32_form.h"

namespace kelvarid {

namespace {

bool IsWindowless(ControlKind kind) {
    return kind == ControlKind::Picture || kind == ControlKind::Line || kind == ControlKind::Label;
}

UINT DrawTextFlags(TextFit fit) {
    switch (fit) {
    case TextFit::AutoSize: return DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP;
    case TextFit::Clip: return DT_SINGLELINE | DT_NOPREFIX;
    case TextFit::Wrap: return DT_WORDBREAK | DT_NOPREFIX;
    }
    return DT_NOPREFIX;
}

}  // namespace

void Win32Form::Redraw(ControlId control) {
    const ControlRow& row = RowOf(control);
    RECT area = state(control).pixels;
    if (row.kind == ControlKind::Label && row.fit == TextFit::AutoSize) {
        // The text may run past its rectangle: measure what it covers.
        const WindowDc dc(window_.get());
        if (!dc) {
            InvalidateRect(window_.get(), nullptr, TRUE);  // not measured: all of it is drawn again
            return;
        }
        const Selected font(dc.get(), FontOf(control));
        RECT text = area;
        DrawTextW(dc.get(), state(control).caption.c_str(), -1, &text, DrawTextFlags(row.fit) | DT_CALCRECT);
        UnionRect(&area, &area, &text);
    }
    InvalidateRect(window_.get(), &area, TRUE);
}

void Win32Form::OnPaint() {
    PAINTSTRUCT paint;
    HDC target = BeginPaint(window_.get(), &paint);
    if (target == nullptr) return;  // the area stays invalid: the next paint tries again
    const RECT& area = paint.rcPaint;
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    // Draw off screen first, so that a blinking square never flickers.
    const MemoryDc canvas(target);
    const UniqueBitmap buffer(CreateCompatibleBitmap(target, width > 0 ? width : 1, height > 0 ? height : 1));
    if (!canvas || !buffer) {
        EndPaint(window_.get(), &paint);
        InvalidateRect(window_.get(), &area, FALSE);  // not drawn: the next paint tries again
        return;
    }
    {
        const Selected selected(canvas.get(), buffer.get());
        SetViewportOrgEx(canvas.get(), -area.left, -area.top, nullptr);
        Paint(canvas.get(), area);
        SetViewportOrgEx(canvas.get(), 0, 0, nullptr);
        BitBlt(target, area.left, area.top, width, height, canvas.get(), 0, 0, SRCCOPY);
    }
    EndPaint(window_.get(), &paint);
}

void Win32Form::Paint(HDC dc, const RECT& area) const {
    if (background_) {
        FillRect(dc, &area, background_.get());
    } else {
        SetDCBrushColor(dc, kForm1.background);
        FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    }
    // Back to front: the table is in stacking order.
    for (const ControlRow& row : kForm1Controls) {
        if (!IsWindowless(row.kind) || !state(row.id).visible) continue;
        if (row.kind == ControlKind::Picture) PaintPicture(dc, row.id);
        if (row.kind == ControlKind::Line) PaintLine(dc, row.id);
        if (row.kind == ControlKind::Label) PaintLabel(dc, row.id);
    }
}

void Win32Form::PaintPicture(HDC dc, ControlId id) const {
    // The pictures are solid squares of their colour.
    const Control& control = state(id);
    SetDCBrushColor(dc, control.colour);
    FillRect(dc, &control.pixels, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void Win32Form::PaintLine(HDC dc, ControlId id) const {
    const ControlRow& row = RowOf(id);
    const UniquePen pen(CreatePen(PS_SOLID, 1, row.colour));
    if (!pen) return;
    const Selected selected(dc, pen.get());
    const int x1 = Pixels(row.line.x1), y1 = Pixels(row.line.y1);
    const int x2 = Pixels(row.line.x2), y2 = Pixels(row.line.y2);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    SetPixelV(dc, x2, y2, row.colour);  // LineTo leaves out the last point
}

void Win32Form::PaintLabel(HDC dc, ControlId id) const {
    const ControlRow& row = RowOf(id);
    const Control& control = state(id);
    const Selected font(dc, FontOf(id));
    SetTextColor(dc, row.colour);
    SetBkMode(dc, TRANSPARENT);  // only the text is drawn: what lies under it stays visible
    RECT box = control.pixels;
    DrawTextW(dc, control.caption.c_str(), -1, &box, DrawTextFlags(row.fit));
}

LRESULT Win32Form::OnCtlColorStatic(HDC dc, HWND child) {
    for (const ControlRow& row : kForm1Controls) {
        if (state(row.id).window != child) continue;
        SetTextColor(dc, row.colour);
        SetBkColor(dc, kForm1.background);
        return reinterpret_cast<LRESULT>(background_.get());
    }
    return DefWindowProcW(window_.get(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(child));
}

}  // namespace kelvarid
