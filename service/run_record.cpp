#include "service/run_record.h"

namespace kelvarid {

namespace {

constexpr std::wstring_view kLastPulse = L"LastPulse";
constexpr std::wstring_view kEndedWithStop = L"EndedWithStop";
constexpr std::wstring_view kStopsInRow = L"StopsInRow";
constexpr std::wstring_view kStoppedBy = L"StoppedBy";
constexpr std::wstring_view kStoppedAt = L"StoppedAt";

std::wstring Decimal64(std::uint64_t number) {
    std::wstring digits;
    do {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + number % 10));
        number /= 10;
    } while (number != 0);
    return digits;
}

std::optional<std::uint64_t> ParseDecimal(std::wstring_view text, std::uint64_t most) {
    if (text.empty() || text.size() > 20) return std::nullopt;
    std::uint64_t number = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - L'0');
        if (digit > most || number > (most - digit) / 10) return std::nullopt;
        number = number * 10 + digit;
    }
    return number;
}

void Line(std::wstring& text, std::wstring_view name, std::wstring_view value) {
    text.append(name).append(L"=").append(value).append(L"\r\n");
}

}  // namespace

std::wstring EncodeRunRecord(const RunRecord& record) {
    std::wstring text;
    Line(text, kLastPulse, Decimal64(record.lastPulse));
    Line(text, kEndedWithStop, record.endedWithStop ? L"1" : L"0");
    Line(text, kStopsInRow, Decimal64(record.stopsInRow));
    Line(text, kStoppedBy, record.stoppedBy);
    Line(text, kStoppedAt, Decimal64(record.stoppedAt));
    return text;
}

std::optional<RunRecord> DecodeRunRecord(std::wstring_view text) {
    RunRecord record;
    unsigned seen = 0;  // one bit a line
    while (!text.empty()) {
        const std::size_t end = text.find(L'\n');
        std::wstring_view line = text.substr(0, end);
        text = end == std::wstring_view::npos ? std::wstring_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);
        const std::size_t equals = line.find(L'=');
        if (equals == std::wstring_view::npos) return std::nullopt;
        const std::wstring_view name = line.substr(0, equals);
        const std::wstring_view value = line.substr(equals + 1);
        if (name == kStoppedBy) {
            record.stoppedBy = value;
            seen |= 1u << 3;
            continue;
        }
        const bool flag = name == kEndedWithStop;
        const std::optional<std::uint64_t> number =
            ParseDecimal(value, flag ? 1 : name == kStopsInRow ? 0xffffffffu : ~std::uint64_t{0});
        if (!number) return std::nullopt;
        if (name == kLastPulse) record.lastPulse = *number, seen |= 1u << 0;
        else if (flag) record.endedWithStop = *number == 1, seen |= 1u << 1;
        else if (name == kStopsInRow) record.stopsInRow = static_cast<std::uint32_t>(*number), seen |= 1u << 2;
        else if (name == kStoppedAt) record.stoppedAt = *number, seen |= 1u << 4;
        else return std::nullopt;
    }
    if (seen != 0x1f) return std::nullopt;
    return record;
}

}  // namespace kelvarid
