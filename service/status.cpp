#include "service/status.h"


#include "platform/messages.h"
#include "service/run_record.h"

namespace kelvarid {

namespace {

constexpr std::uint64_t kUnitsPerSecond = 10'000'000;  // FILETIME counts 100 ns

std::wstring Number(std::uint64_t value) { return texts::Decimal(value); }

std::uint64_t SecondsSince(std::uint64_t then, std::uint64_t now) {
    return now > then ? (now - then) / kUnitsPerSecond : 0;
}

StatusVerdict Verdict(Health health, std::wstring_view what) {
    constexpr const wchar_t* kWords[] = {L"OK", L"WARNING", L"CRITICAL", L"UNKNOWN"};
    return {health, std::wstring(L"KELVARID ") + kWords[static_cast<int>(health)] + L" - " + std::wstring(what)};
}

// A reset is coming, or nothing pulses: none when the pulses reach the port.
std::optional<std::wstring> WhyNothingPulses(const PublishedStatus& status, std::uint64_t now) {
    if (status.port.empty()) return std::wstring(L"the Port value names no port: nothing pulses");
    if (!status.library) return L"serline.dll cannot be loaded: nothing pulses on " + status.port;
    if (!status.portOpen) return status.port + L" cannot be opened: nothing pulses";
    if (status.drill) return L"a drill runs: no pulse on " + status.port + L" until the circuit resets the machine";
    if (!status.holding.empty()) {
        return L"the check " + status.holding + L" has stopped the pulses: the circuit will reset the machine";
    }
    if (!status.pulsesWork) return L"the pulses fail on " + status.port;
    const std::uint64_t since = status.lastPulse != 0 ? status.lastPulse : status.started;
    const std::uint64_t age = SecondsSince(since, now);
    if (age > kPulseLateSeconds) return L"no pulse on " + status.port + L" for " + Number(age) + L" s";
    return std::nullopt;
}

// Each field of the status: its name in the text, and where it lies, as a number or a text.
struct StatusField {
    const wchar_t* name;
    std::uint64_t PublishedStatus::*wide = nullptr;
    std::uint32_t PublishedStatus::*narrow = nullptr;
    bool PublishedStatus::*flag = nullptr;
    std::wstring PublishedStatus::*text = nullptr;
};

const StatusField kStatusFields[] = {
    {L"Started", &PublishedStatus::started},
    {L"Port", nullptr, nullptr, nullptr, &PublishedStatus::port},
    {L"PortOpen", nullptr, nullptr, &PublishedStatus::portOpen},
    {L"Library", nullptr, nullptr, &PublishedStatus::library},
    {L"PulsesWork", nullptr, nullptr, &PublishedStatus::pulsesWork},
    {L"LastPulse", &PublishedStatus::lastPulse},
    {L"HealthChecks", nullptr, &PublishedStatus::checksMode},
    {L"Failing", nullptr, nullptr, nullptr, &PublishedStatus::failing},
    {L"FailingSince", &PublishedStatus::failingSince},
    {L"Holding", nullptr, nullptr, nullptr, &PublishedStatus::holding},
    {L"Limited", nullptr, nullptr, &PublishedStatus::limited},
    {L"StopsInRow", nullptr, &PublishedStatus::stopsInRow},
    {L"MaxHealthResets", nullptr, &PublishedStatus::maxStops},
    {L"Drill", nullptr, nullptr, &PublishedStatus::drill},
    {L"LastReset", nullptr, nullptr, nullptr, &PublishedStatus::lastReset},
};

std::wstring ValueOf(const PublishedStatus& status, const StatusField& field) {
    if (field.text != nullptr) return status.*field.text;
    if (field.flag != nullptr) return status.*field.flag ? L"1" : L"0";
    return Number(field.wide != nullptr ? status.*field.wide : status.*field.narrow);
}

// False for a value that is no number where one belongs. A text may not hold a line break.
bool Take(PublishedStatus& status, const StatusField& field, std::wstring_view value) {
    if (field.text != nullptr) {
        status.*field.text = value;
        return true;
    }
    const std::optional<std::uint64_t> number = ParseDecimal(value, UINT64_MAX);
    if (!number) return false;
    if (field.flag != nullptr) status.*field.flag = *number != 0;
    else if (field.wide != nullptr) status.*field.wide = *number;
    else status.*field.narrow = static_cast<std::uint32_t>(*number);
    return true;
}

}  // namespace

std::wstring StatusText(const PublishedStatus& status) {
    std::wstring text;
    for (const StatusField& field : kStatusFields) {
        text += field.name;
        text += L'=';
        text += ValueOf(status, field);
        text += L'\n';
    }
    return text;
}

// The fields in their order, each once: anything else is no status, or one cut short.
std::optional<PublishedStatus> ParseStatus(std::wstring_view text) {
    PublishedStatus status;
    for (const StatusField& field : kStatusFields) {
        const std::size_t end = text.find(L'\n');
        if (end == std::wstring_view::npos) return std::nullopt;
        const std::wstring_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        const std::wstring_view name = field.name;
        if (line.substr(0, name.size()) != name || line.size() <= name.size() || line[name.size()] != L'=') {
            return std::nullopt;
        }
        if (!Take(status, field, line.substr(name.size() + 1))) return std::nullopt;
    }
    return status;
}

StatusVerdict JudgeStatus(ServiceState state, ProgramSeen program, const std::optional<PublishedStatus>& status,
                          std::uint64_t now) {
    if (state == ServiceState::Unknown) return Verdict(Health::Unknown, L"the service manager cannot be asked");
    if (state == ServiceState::NotInstalled || state == ServiceState::Stopped) {
        if (program == ProgramSeen::Installed) return Verdict(Health::Ok, L"kelvarid.exe runs (the start at log-on)");
        if (program == ProgramSeen::Unconfirmed) {
            return Verdict(Health::Warning, L"a kelvarid.exe runs, which this account cannot confirm is the installed one");
        }
        return Verdict(Health::Critical, state == ServiceState::Stopped
                                             ? L"the service is stopped and kelvarid.exe does not run: nothing pulses"
                                             : L"neither the service nor kelvarid.exe runs: nothing pulses");
    }
    if (!status) return Verdict(Health::Unknown, L"the service publishes no status");
    if (state == ServiceState::Changing) return Verdict(Health::Warning, L"the service is starting or stopping");
    if (const auto why = WhyNothingPulses(*status, now)) return Verdict(Health::Critical, *why);
    if (status->lastPulse == 0) {
        return Verdict(Health::Warning, L"started " + Number(SecondsSince(status->started, now)) +
                                            L" s ago, no pulse on " + status->port + L" yet");
    }
    const std::uint64_t age = SecondsSince(status->lastPulse, now);
    const std::wstring pulsing = L"pulsing on " + status->port + L", last pulse " + Number(age) + L" s ago";
    const std::wstring perf = L" | age=" + Number(age) + L"s";
    if (!status->failing.empty()) {
        return Verdict(Health::Warning, pulsing + L"; the check " + status->failing + L" fails" + perf);
    }
    if (status->limited) {
        return Verdict(Health::Warning, pulsing + L"; the checks only watch: " + Number(status->stopsInRow) +
                                            L" stops in a row" + perf);
    }
    return Verdict(Health::Ok, pulsing + perf);
}

}  // namespace kelvarid
