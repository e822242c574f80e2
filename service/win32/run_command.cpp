#include "service/win32/run_command.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/handles.h"

namespace kelvarid {

namespace {

// Enough for a start a thousand processes long to cost the machine nothing much.
constexpr DWORD kMostProcesses = 64;
constexpr std::size_t kOutputKept = 1024;  // bytes of the output's end
constexpr std::size_t kLineKept = 200;     // characters of its last line
constexpr DWORD kPollMs = 100;

// A job that ends every process in it once its last handle goes, and keeps them below the
// pulses' priority and few. None where the job cannot be made; the command then runs alone.
UniqueHandle MakeJob() {
    UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) return job;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_ACTIVE_PROCESS |
                                              JOB_OBJECT_LIMIT_PRIORITY_CLASS | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    limits.BasicLimitInformation.ActiveProcessLimit = kMostProcesses;
    limits.BasicLimitInformation.PriorityClass = BELOW_NORMAL_PRIORITY_CLASS;
    if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) job.reset();
    return job;
}

// The output read so far, its end kept.
void ReadAvailable(HANDLE pipe, std::vector<char>& kept) {
    DWORD available = 0;
    char buffer[512];
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        DWORD read = 0;
        if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &read, nullptr) || read == 0) return;
        kept.insert(kept.end(), buffer, buffer + read);
        if (kept.size() > kOutputKept) kept.erase(kept.begin(), kept.end() - kOutputKept);
    }
}

// The last line with something on it, as the console's code page writes it.
std::wstring LastLine(const std::vector<char>& output) {
    if (output.empty()) return {};
    std::wstring text(output.size(), L'\0');
    const int length = MultiByteToWideChar(CP_OEMCP, 0, output.data(), static_cast<int>(output.size()), text.data(),
                                           static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(length, 0)));
    const std::size_t end = text.find_last_not_of(L" \t\r\n");
    if (end == std::wstring::npos) return {};
    const std::size_t start = text.find_last_of(L"\r\n", end);
    const std::size_t first = start == std::wstring::npos ? 0 : start + 1;
    std::wstring line = text.substr(first, end - first + 1);
    if (line.size() > kLineKept) line = line.substr(0, kLineKept) + L"...";
    return line;
}

}  // namespace

CommandOutcome RunCommand(const std::wstring& commandLine, std::uint32_t timeoutSeconds, HANDLE stop) {
    CommandOutcome outcome;
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE reading = nullptr;
    HANDLE writing = nullptr;
    if (!CreatePipe(&reading, &writing, &inherited, 0)) return {CommandOutcome::End::NotStarted, GetLastError(), {}};
    const UniqueHandle output(reading);
    UniqueHandle outputEnd(writing);
    SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0);
    const UniqueHandle nothing(
        CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0, nullptr));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nothing.get();
    startup.hStdOutput = writing;
    startup.hStdError = writing;
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    const UniqueHandle job = MakeJob();
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED | CREATE_NO_WINDOW | BELOW_NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                        &started)) {
        return {CommandOutcome::End::NotStarted, GetLastError(), {}};
    }
    const UniqueHandle process(started.hProcess);
    const UniqueHandle thread(started.hThread);
    // Outside a job (where the service itself runs in one Windows allows no second), the
    // command alone is ended.
    const bool inJob = job && AssignProcessToJobObject(job.get(), process.get());
    ResumeThread(thread.get());
    outputEnd.reset();  // the pipe ends once the command and what it started have let go of it

    std::vector<char> kept;
    const DWORD begun = GetTickCount();  // differences of it are right across its wrap
    const DWORD timeoutMs = timeoutSeconds * 1000;
    const HANDLE waited[] = {process.get(), stop};
    DWORD waitedFor = WAIT_TIMEOUT;
    while (waitedFor == WAIT_TIMEOUT) {
        ReadAvailable(output.get(), kept);
        if (GetTickCount() - begun >= timeoutMs) break;
        waitedFor = WaitForMultipleObjects(stop != nullptr ? 2 : 1, waited, FALSE, kPollMs);
    }
    ReadAvailable(output.get(), kept);
    outcome.lastLine = LastLine(kept);
    DWORD code = 0;
    if (waitedFor == WAIT_OBJECT_0 && GetExitCodeProcess(process.get(), &code)) {
        outcome.code = code;
    } else {
        outcome.end = CommandOutcome::End::TimedOut;
    }
    if (inJob) TerminateJobObject(job.get(), 1);
    else TerminateProcess(process.get(), 1);
    return outcome;
}

}  // namespace kelvarid
