#include "service/win32/registry_settings.h"

#include <windows.h>

#include <vector>

#include "platform/handles.h"
#include "platform/registry.h"
#include "product.h"
#include "service/drill.h"
#include "service/port_setting.h"

namespace kelvarid {

namespace {

using namespace health_values;

// A REG_SZ or REG_EXPAND_SZ value, the latter with the service's environment put in.
RawValue ReadText(const wchar_t* name, RawValue value) {
    std::wstring text;
    if (ReadMachineString(product::kParametersKey, name, text) != ERROR_SUCCESS) return {true, REG_BINARY, 0, {}};
    value.strings.push_back(std::move(text));
    return value;
}

RawValue ReadValue(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
    RawValue value{true, type, 0, {}};
    if (type == REG_DWORD) {
        DWORD number = 0;
        size = sizeof number;
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) != ERROR_SUCCESS ||
            type != REG_DWORD || size != sizeof number) {
            return {true, REG_BINARY, 0, {}};  // changed under us or short: not a usable number
        }
        value.number = number;
        return value;
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ) return ReadText(name, value);
    if (type != REG_MULTI_SZ) return value;
    // The data, with room for the two ending zeros a writer may have left out.
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
    DWORD bytes = static_cast<DWORD>((data.size() - 2) * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ) {
        return {true, REG_BINARY, 0, {}};
    }
    const std::size_t count = bytes / sizeof(wchar_t);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= count; ++i) {
        if (data[i] != L'\0') continue;
        value.strings.emplace_back(data.data() + start, i - start);
        start = i + 1;
    }
    return value;
}

}  // namespace

std::optional<std::uint64_t> ReadDrillRequest() {
    std::wstring text;
    if (ReadMachineString(product::kParametersKey, kDrillRequestValue, text) != ERROR_SUCCESS) return std::nullopt;
    return ParseDrillRequest(text);
}

int ConfiguredPort(ServiceLog& log) {
    PortValue value;
    const LSTATUS result = ReadMachineString(product::kParametersKey, product::kPortValueName, value.text);
    if (result == ERROR_FILE_NOT_FOUND) value.state = PortValue::State::Missing;  // no key or no value
    else value.state = result == ERROR_SUCCESS ? PortValue::State::Read : PortValue::State::Unreadable;
    return PortFromSetting(value, log);
}

RawHealthValues ReadRawHealthValues() {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, product::kParametersKey, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return {};
    const UniqueKey key(opened);
    RawHealthValues raw;
    raw.healthChecks = ReadValue(opened, kHealthChecks);
    raw.processes = ReadValue(opened, kProcesses);
    raw.heartbeatFiles = ReadValue(opened, kHeartbeatFiles);
    raw.heartbeatMaxAge = ReadValue(opened, kHeartbeatMaxAge);
    raw.failAfter = ReadValue(opened, kFailAfter);
    raw.startupGrace = ReadValue(opened, kStartupGrace);
    raw.maxHealthResets = ReadValue(opened, kMaxHealthResets);
    raw.drillTimeout = ReadValue(opened, kDrillTimeout);
    raw.testCommand = ReadValue(opened, kTestCommand);
    raw.testTimeout = ReadValue(opened, kTestTimeout);
    raw.repairCommand = ReadValue(opened, kRepairCommand);
    raw.repairTimeout = ReadValue(opened, kRepairTimeout);
    raw.cleanRestart = ReadValue(opened, kCleanRestart);
    raw.restartTimeout = ReadValue(opened, kRestartTimeout);
    return raw;
}

}  // namespace kelvarid
