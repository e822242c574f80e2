#include "serline/line_settings.h"

#include <cstring>
#include <string_view>

namespace serline {

namespace {

// Splits off the text up to the next comma; false when there is no comma left.
bool NextField(std::string_view& rest, std::string_view& field) {
    const auto comma = rest.find(',');
    if (comma == std::string_view::npos) return false;
    field = rest.substr(0, comma);
    rest.remove_prefix(comma + 1);
    return true;
}

// A positive decimal number without sign, spaces or leading zeros, at most `limit`.
std::optional<std::uint32_t> ParseNumber(std::string_view digits, std::uint32_t limit) {
    if (digits.empty() || digits.size() > 10 || digits.front() == '0') return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > limit) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::optional<int> ParsePort(std::string_view name) {
    if (name.size() < 4 || name.substr(0, 3) != "COM") return std::nullopt;
    const auto number = ParseNumber(name.substr(3), 255);
    if (!number) return std::nullopt;
    return static_cast<int>(*number);
}

std::optional<Parity> ParseParity(std::string_view field) {
    if (field.size() != 1) return std::nullopt;
    switch (field.front()) {
    case 'N': return Parity::None;
    case 'E': return Parity::Even;
    case 'O': return Parity::Odd;
    case 'M': return Parity::Mark;
    case 'S': return Parity::Space;
    default: return std::nullopt;
    }
}

std::optional<StopBits> ParseStopBits(std::string_view field) {
    if (field == "1") return StopBits::One;
    if (field == "1.5") return StopBits::OneAndHalf;
    if (field == "2") return StopBits::Two;
    return std::nullopt;
}

// The combinations a UART can frame: 1.5 stop bits only with 5 data bits, 2 only with 6 to 8.
bool FramingPossible(int dataBits, StopBits stopBits) {
    if (stopBits == StopBits::OneAndHalf) return dataBits == 5;
    if (stopBits == StopBits::Two) return dataBits != 5;
    return true;
}

}  // namespace

std::optional<LineSettings> ParseLineSettings(const char* text) {
    if (text == nullptr) return std::nullopt;
    const std::size_t length = strnlen(text, kMaxSettingsLength + 1);
    if (length == 0 || length > kMaxSettingsLength) return std::nullopt;

    std::string_view rest(text, length);
    std::string_view portField, baudField, parityField, dataField;
    if (!NextField(rest, portField) || !NextField(rest, baudField) ||
        !NextField(rest, parityField) || !NextField(rest, dataField)) {
        return std::nullopt;
    }
    const std::string_view stopField = rest;  // the last field: no comma may follow

    const auto port = ParsePort(portField);
    const auto baud = ParseNumber(baudField, 4000000);
    const auto parity = ParseParity(parityField);
    const auto dataBits = ParseNumber(dataField, 8);
    const auto stopBits = ParseStopBits(stopField);
    if (!port || !baud || !parity || !dataBits || !stopBits) return std::nullopt;
    if (*dataBits < 5 || !FramingPossible(static_cast<int>(*dataBits), *stopBits)) {
        return std::nullopt;
    }
    return LineSettings{*port, *baud, *parity, static_cast<int>(*dataBits), *stopBits};
}

}  // namespace serline
