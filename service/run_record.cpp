#include "service/run_record.h"

#include <algorithm>

#include "platform/messages.h"

namespace kelvarid {

namespace {

constexpr std::wstring_view kLastPulse = L"LastPulse";
constexpr std::wstring_view kEndedWithStop = L"EndedWithStop";
constexpr std::wstring_view kStopsInRow = L"StopsInRow";
constexpr std::wstring_view kStoppedBy = L"StoppedBy";
constexpr std::wstring_view kStoppedAt = L"StoppedAt";
constexpr std::wstring_view kDrillStarted = L"DrillStarted";
constexpr std::wstring_view kLastPulseUptime = L"LastPulseUptime";
constexpr std::wstring_view kRestartAsked = L"RestartAsked";

void Line(std::wstring& text, std::wstring_view name, std::wstring_view value) {
    text.append(name).append(L"=").append(value).append(L"\r\n");
}

constexpr unsigned kAllLines = 0x1f;  // each line but those an older record lacks
constexpr unsigned kDrillStartedLine = 0x20;
constexpr unsigned kLastPulseUptimeLine = 0x40;
constexpr unsigned kRestartAskedLine = 0x80;

// One NAME=value line into the record; false for a line that is not one of its own, or is
// there twice.
bool ReadLine(std::wstring_view name, std::wstring_view value, RunRecord& record, unsigned& seen) {
    const auto once = [&seen](unsigned bit) {
        const bool first = (seen & bit) == 0;
        seen |= bit;
        return first;
    };
    if (name == kStoppedBy) {
        record.stoppedBy = value;
        return once(1u);
    }
    if (name == kEndedWithStop) {
        const std::optional<std::uint64_t> flag = ParseDecimal(value, 1);
        if (flag) record.endedWithStop = *flag == 1;
        return flag && once(2u);
    }
    if (name == kStopsInRow) {
        const std::optional<std::uint64_t> stops = ParseDecimal(value, 0xffffffffu);
        if (stops) record.stopsInRow = static_cast<std::uint32_t>(*stops);
        return stops && once(4u);
    }
    const std::optional<std::uint64_t> time = ParseDecimal(value, ~std::uint64_t{0});
    if (name == kDrillStarted || name == kRestartAsked) {
        const bool drill = name == kDrillStarted;
        if (time) (drill ? record.drillStarted : record.restartAsked) = *time;
        return time && once(drill ? kDrillStartedLine : kRestartAskedLine);
    }
    if (name == kLastPulseUptime) {
        const std::optional<std::uint64_t> uptime = ParseDecimal(value, 0x7fffffffffffffffull);
        if (uptime) record.lastPulseUptimeMs = static_cast<std::int64_t>(*uptime);
        return uptime && once(kLastPulseUptimeLine);
    }
    const bool lastPulse = name == kLastPulse;
    if (!lastPulse && name != kStoppedAt) return false;
    if (time) (lastPulse ? record.lastPulse : record.stoppedAt) = *time;
    return time && once(lastPulse ? 8u : 16u);
}

}  // namespace

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

bool RunRecordKeeper::Save() { return Hand(RecordWrite::Guard); }

void RunRecordKeeper::SavePulse(std::int64_t steadyMs) {
    if (pulseSavedMs_ && steadyMs - *pulseSavedMs_ < kPulseRecordIntervalMs) return;
    pulseSavedMs_ = steadyMs;
    Hand(RecordWrite::Pulse);
}

bool RunRecordKeeper::Hand(RecordWrite how) {
    const std::optional<unsigned long> outcome = store_.Save(record_, how);
    if (outcome) Written(*outcome);
    return !outcome || *outcome == 0;
}

void RunRecordKeeper::Written(unsigned long error) {
    writable_ = error == 0;
    if (error != 0 && !errorLogged_) log_.RecordNotWritten(error);
    errorLogged_ = errorLogged_ || error != 0;
}

StoredRecord WithLeftover(const StoredRecord& stored, const std::optional<RunRecord>& leftover) {
    if (!leftover) return stored;
    if (stored.state != StoredRecord::State::Read) return {StoredRecord::State::Read, *leftover, 0};
    StoredRecord merged = stored;
    if (leftover->lastPulse > stored.record.lastPulse) merged.record = *leftover;
    merged.record.stopsInRow = std::max(stored.record.stopsInRow, leftover->stopsInRow);
    return merged;
}

std::wstring EncodeRunRecord(const RunRecord& record) {
    std::wstring text;
    // First: the lines that an older record lacks; all there is after them are the lines every
    // record has, so that no record cut short looks whole.
    Line(text, kRestartAsked, texts::Decimal(record.restartAsked));
    Line(text, kLastPulseUptime, texts::Decimal(static_cast<std::uint64_t>(record.lastPulseUptimeMs)));
    Line(text, kDrillStarted, texts::Decimal(record.drillStarted));
    Line(text, kLastPulse, texts::Decimal(record.lastPulse));
    Line(text, kEndedWithStop, record.endedWithStop ? L"1" : L"0");
    Line(text, kStopsInRow, texts::Decimal(record.stopsInRow));
    Line(text, kStoppedBy, record.stoppedBy);
    Line(text, kStoppedAt, texts::Decimal(record.stoppedAt));
    return text;
}

std::optional<RunRecord> DecodeRunRecord(std::wstring_view text) {
    RunRecord record;
    unsigned seen = 0;  // one bit a line
    while (!text.empty()) {
        const std::size_t end = text.find(L'\n');
        // A last line with no end was cut short: "StopsInRow=1" may have been "StopsInRow=12".
        if (end == std::wstring_view::npos) return std::nullopt;
        std::wstring_view line = text.substr(0, end);
        text = text.substr(end + 1);
        if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);
        const std::size_t equals = line.find(L'=');
        if (equals == std::wstring_view::npos) return std::nullopt;
        if (!ReadLine(line.substr(0, equals), line.substr(equals + 1), record, seen)) return std::nullopt;
    }
    if ((seen & kAllLines) != kAllLines) return std::nullopt;
    return record;
}

}  // namespace kelvarid
