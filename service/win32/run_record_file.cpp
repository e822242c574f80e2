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

namespace {

StoredRecord ReadRecord(const std::wstring& path) {
    // Shared for deleting: a reader (--drill, an administrator, a scanner) never keeps the
    // service from putting the next record in its place.
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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

// 0 or the system's error number.
unsigned long WriteRecord(const std::wstring& path, const RunRecord& record, DWORD flags, bool flush) {
    const std::wstring text = EncodeRunRecord(record);
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | flags, nullptr));
    if (!file) return Failure();
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), bytes, &written, nullptr) || written != bytes) return Failure();
    if (flush && !FlushFileBuffers(file.get())) return Failure();
    return 0;
}

}  // namespace

StoredRecord RunRecordFile::Load() {
    if (path_.empty()) return {};
    const StoredRecord next = ReadRecord(path_ + L".new");
    const std::optional<RunRecord> leftover =
        next.state == StoredRecord::State::Read ? std::optional<RunRecord>(next.record) : std::nullopt;
    return WithLeftover(ReadRecord(path_), leftover);
}

std::optional<unsigned long> RunRecordFile::Save(const RunRecord& record, RecordWrite how) {
    if (path_.empty()) return ERROR_PATH_NOT_FOUND;
    const std::wstring next = path_ + L".new";
    if (how == RecordWrite::Pulse) return WriteRecord(next, record, 0, false);
    if (const unsigned long error = WriteRecord(next, record, FILE_FLAG_WRITE_THROUGH, true)) return error;
    // A program that holds the record open without sharing it for deleting (a scanner, an
    // editor) keeps it from being replaced for a moment: tried again for up to a second, on
    // the writer's own thread.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(next.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
        const DWORD error = GetLastError();
        if (attempt == kReplaceAttempts || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
            return Failure();
        }
        Sleep(kReplaceRetryMs);
    }
}

bool RecordWriter::Start() {
    wake_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!wake_) return false;
    thread_.reset(CreateThread(nullptr, 0, &Run, this, 0, nullptr));
    return static_cast<bool>(thread_);
}

std::optional<unsigned long> RecordWriter::Save(const RunRecord& record, RecordWrite how) {
    if (!thread_) return ERROR_NOT_READY;
    {
        Locked locked(lock_);
        // The copy that waits is replaced, but a write that guards stays one.
        if (waiting_ && waitingHow_ == RecordWrite::Guard) how = RecordWrite::Guard;
        waiting_ = record;
        waitingHow_ = how;
    }
    SetEvent(wake_.get());
    return std::nullopt;
}

std::optional<RunRecord> RecordWriter::Take(RecordWrite& how) {
    Locked locked(lock_);
    std::optional<RunRecord> taken;
    taken.swap(waiting_);
    how = waitingHow_;
    return taken;
}

DWORD WINAPI RecordWriter::Run(void* self) {
    auto& writer = *static_cast<RecordWriter*>(self);
    for (;;) {
        WaitForSingleObject(writer.wake_.get(), INFINITE);
        RecordWrite how = RecordWrite::Pulse;
        for (std::optional<RunRecord> record = writer.Take(how); record; record = writer.Take(how)) {
            writer.told_.Written(writer.file_.Save(*record, how).value_or(0));
        }
        Locked locked(writer.lock_);
        if (writer.ending_) return 0;
    }
}

bool RecordWriter::Finish(DWORD waitMs) {
    if (!thread_) return true;
    {
        Locked locked(lock_);
        ending_ = true;
    }
    SetEvent(wake_.get());
    return WaitForSingleObject(thread_.get(), waitMs) == WAIT_OBJECT_0;
}

}  // namespace kelvarid
