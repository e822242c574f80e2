// The settings string of OPENCOM, "COM1,1200,N,8,1": port, baud, parity, data bits, stop bits.
#pragma once

#include <cstdint>
#include <optional>

namespace serline {

enum class Parity : std::uint8_t { None, Even, Odd, Mark, Space };
enum class StopBits : std::uint8_t { One, OneAndHalf, Two };

struct LineSettings {
    int port = 0;  // n of COMn, 1 to 255
    std::uint32_t baud = 0;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
};

// Longest settings string accepted, without its NUL.
inline constexpr int kMaxSettingsLength = 32;

// Strict: anything malformed, empty, longer than kMaxSettingsLength or null gives nothing.
// Never reads past the NUL or past kMaxSettingsLength + 1 characters.
std::optional<LineSettings> ParseLineSettings(const char* text);

}  // namespace serline
