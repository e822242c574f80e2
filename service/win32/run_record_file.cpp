#include "service/win32/run_record_file.h"

#include <windows.h>

#include <vector>

#include "platform/handles.h"
#include "platform/registry.h"
#include "product.h"

namespace kelvarid {

namespace {

constexpr DWORD kLargestRecordBytes = 16 * 1024;

// How long Save waits for a reader to let the record be replaced: about a second.
constexpr int kReplaceAttempts = 20;
constexpr DWORD kReplaceRetryMs = 50;

// The last error, never 0: a short write sets none.
unsigned long Failure() {
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_WRITE_FAULT;
}

}  // namespace

// The machine's program data folder where Windows itself keeps it: C:\ProgramData from Vista
// on, all users' application data on XP (the shell's own record of it, which is also there
// later). The shell's folder functions would load the shell into the service, and a service's
// environment may name another folder (Wine's does).
std::wstring RunRecordFolder() {
    std::wstring folder;
    if (ReadMachineString(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", L"ProgramData", folder) !=
            ERROR_SUCCESS &&
        ReadMachineString(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", L"Common AppData",
                          folder) != ERROR_SUCCESS) {
        return {};
    }
    if (folder.empty()) return {};
    return folder + L"\\" + product::kRecordFolder;
}

std::wstring RunRecordPath() {
    const std::wstring folder = RunRecordFolder();
    return folder.empty() ? folder : folder + L"\\" + product::kRecordFile;
}

StoredRecord RunRecordFile::Load() {
    if (path_.empty()) return {};
    // Shared for deleting: a reader (--drill, an administrator, a scanner) never keeps the
    // service from putting the next record in its place.
    const UniqueHandle file(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
        return {StoredRecord::State::Unreadable, {}, error};
    }
    std::vector<wchar_t> text(kLargestRecordBytes / sizeof(wchar_t));
    DWORD read = 0;
    if (!ReadFile(file.get(), text.data(), kLargestRecordBytes, &read, nullptr)) {
        return {StoredRecord::State::Unreadable, {}, Failure()};
    }
    const std::optional<RunRecord> record = DecodeRunRecord(std::wstring_view(text.data(), read / sizeof(wchar_t)));
    if (!record) return {StoredRecord::State::Unreadable, {}, 0};
    return {StoredRecord::State::Read, *record, 0};
}

unsigned long RunRecordFile::Save(const RunRecord& record) {
    if (path_.empty()) return ERROR_PATH_NOT_FOUND;
    const std::wstring next = path_ + L".new";
    const std::wstring text = EncodeRunRecord(record);
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    {
        const UniqueHandle file(CreateFileW(next.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
        if (!file) return Failure();
        DWORD written = 0;
        if (!WriteFile(file.get(), text.data(), bytes, &written, nullptr) || written != bytes) return Failure();
        if (!FlushFileBuffers(file.get())) return Failure();
    }
    // A program that holds the record open without sharing it for deleting (a scanner, an
    // editor) keeps it from being replaced for a moment: tried again for up to a second.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(next.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
        const DWORD error = GetLastError();
        if (attempt == kReplaceAttempts || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
            return Failure();
        }
        Sleep(kReplaceRetryMs);
    }
}

}  // namespace kelvarid
