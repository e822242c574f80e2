#include "tests/wine/screenshot.h"

#include <cstdlib>

#include "tests/wine/harness.h"

namespace e2e {

Screenshot::Screenshot(const RECT& onScreen)
    : width_(onScreen.right - onScreen.left), height_(onScreen.bottom - onScreen.top),
      pixels_(static_cast<std::size_t>(width_) * height_) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width_, height_, screen, onScreen.left, onScreen.top, SRCCOPY);
    GdiFlush();
    const auto* bgra = static_cast<const unsigned char*>(bits);
    for (std::size_t i = 0; i < pixels_.size(); ++i) {
        pixels_[i] = RGB(bgra[i * 4 + 2], bgra[i * 4 + 1], bgra[i * 4]);
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

COLORREF Screenshot::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
    return pixels_[static_cast<std::size_t>(y) * width_ + x];
}

int Screenshot::Count(const RECT& area, const std::function<bool(COLORREF)>& match) const {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            const COLORREF colour = At(x, y);
            if (colour != CLR_INVALID && match(colour)) ++count;
        }
    }
    return count;
}

Screenshot ShotWhen(const RECT& onScreen, const std::function<bool(const Screenshot&)>& shows, int timeoutMs) {
    Screenshot shot(onScreen);
    WaitUntil([&] {
        shot = Screenshot(onScreen);
        return shows(shot);
    }, timeoutMs);
    return shot;
}

std::wstring Screenshot::Save(const wchar_t* name) const {
    const std::wstring folder = BuiltFile("screenshots");
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\" + name + L".bmp";
    const int rowBytes = (width_ * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width_;
    header.biHeight = height_;  // bottom-up
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(rowBytes * height_);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + header.biSizeImage;
    std::string data(reinterpret_cast<const char*>(&file), sizeof file);
    data.append(reinterpret_cast<const char*>(&header), sizeof header);
    for (int y = height_ - 1; y >= 0; --y) {
        std::string row(static_cast<std::size_t>(rowBytes), '\0');
        for (int x = 0; x < width_; ++x) {
            const COLORREF colour = At(x, y);
            row[x * 3] = static_cast<char>(GetBValue(colour));
            row[x * 3 + 1] = static_cast<char>(GetGValue(colour));
            row[x * 3 + 2] = static_cast<char>(GetRValue(colour));
        }
        data += row;
    }
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (out != INVALID_HANDLE_VALUE) {
        WriteFile(out, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
        CloseHandle(out);
    }
    return path;
}

namespace {

bool Near(COLORREF colour, int red, int green, int blue, int tolerance) {
    return std::abs(GetRValue(colour) - red) <= tolerance && std::abs(GetGValue(colour) - green) <= tolerance &&
           std::abs(GetBValue(colour) - blue) <= tolerance;
}

}  // namespace

bool IsOrange(COLORREF colour) { return Near(colour, 255, 128, 0, 24); }
bool IsDarkOrange(COLORREF colour) { return Near(colour, 192, 64, 0, 24); }
bool IsWhite(COLORREF colour) { return Near(colour, 255, 255, 255, 8); }
bool IsBlack(COLORREF colour) { return Near(colour, 0, 0, 0, 8); }

}  // namespace e2e
