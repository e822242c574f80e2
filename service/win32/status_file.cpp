#include "service/win32/status_file.h"

#include <sddl.h>

#include <vector>

#include "service/win32/owners.h"
#include "service/win32/run_record_file.h"

namespace kelvarid {

namespace {

constexpr wchar_t kStatusName[] = L"\\status.txt";

// Administrators, SYSTEM and the service's own account change it; everyone (WD) reads it.
UniqueDescriptor StatusDescriptor() {
    std::vector<BYTE> own = OwnAccountSid();
    wchar_t* sid = nullptr;
    if (own.empty() || !ConvertSidToStringSidW(own.data(), &sid)) return {};
    const UniqueLocalMemory ownedSid(sid);
    const std::wstring sddl = std::wstring(L"D:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;FA;;;") + sid + L")(A;;FR;;;WD)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) return {};
    return UniqueDescriptor(descriptor);
}

}  // namespace

std::wstring StatusPath() {
    const std::wstring folder = RunRecordFolder();
    return folder.empty() ? std::wstring() : folder + kStatusName;
}

std::optional<PublishedStatus> ReadStatus() {
    const std::wstring path = StatusPath();
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    if (path.empty() || !file) return std::nullopt;
    wchar_t text[2048];
    DWORD read = 0;
    if (!ReadFile(file.get(), text, sizeof text, &read, nullptr)) return std::nullopt;
    return ParseStatus(std::wstring_view(text, read / sizeof(wchar_t)));
}

bool StatusFile::Start(std::uint64_t started) {
    status_.started = started;
    due_ = true;
    descriptor_ = StatusDescriptor();
    wake_.reset(CreateEventW(nullptr, FALSE, TRUE, nullptr));
    if (!wake_) return false;
    thread_.reset(CreateThread(nullptr, 0, &Run, this, 0, nullptr));
    return thread_ != nullptr;
}

bool StatusFile::Finish(DWORD waitMs) {
    if (!thread_) return true;
    {
        Locked locked(lock_);
        ending_ = true;
    }
    SetEvent(wake_.get());
    return WaitForSingleObject(thread_.get(), waitMs) == WAIT_OBJECT_0;
}

DWORD WINAPI StatusFile::Run(void* self) {
    auto& file = *static_cast<StatusFile*>(self);
    for (;;) {
        WaitForSingleObject(file.wake_.get(), INFINITE);
        std::wstring text;
        bool ending = false;
        {
            Locked locked(file.lock_);
            ending = file.ending_;
            if (file.due_) text = StatusText(file.status_);
            file.due_ = false;
        }
        if (!text.empty()) file.Write(text);
        if (ending) return 0;
    }
}

// In place: a reader that comes in the middle finds a status cut short and reads again. What
// fails is let be: the next change tries again, and the pulses never depend on it.
void StatusFile::Write(const std::wstring& text) {
    const std::wstring path = StatusPath();
    if (path.empty()) return;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor_.get(), FALSE};
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, descriptor_ ? &attributes : nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!WriteFile(file.get(), text.data(), size, &written, nullptr)) return;
    SetEndOfFile(file.get());
}

}  // namespace kelvarid
