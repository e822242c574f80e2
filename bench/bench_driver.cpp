// The Windows side of scripts/bench. Runs kelvarid.exe (with the recording stand-in library)
// and the baseline program, and prints what it measured as "key value" lines:
//   1. start-up: the time from CreateProcess to kelvarid.exe's start-up box and to the
//      baseline's window, the median of several alternating starts;
//   2. both programs side by side for two pulse cycles, with kelvarid.exe's start-up box
//      closed; then the times of its TXD edges. While both still run it creates the file
//      named by its argument, with the two programs' paths, and waits until the script,
//      which reads their CPU time and peak memory from Linux, removes it.
//   bench_driver <handshake file>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/wine/harness.h"

namespace {

using e2e::BuiltFile;
using e2e::Folder;
using e2e::NowMicroseconds;
using e2e::Program;
using e2e::WaitUntil;
using Environment = std::vector<std::pair<std::wstring, std::wstring>>;

constexpr int kStartRounds = 5;
constexpr int kCycleTimeoutMs = 130000;

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (const wchar_t c : text) narrow += static_cast<char>(c);
    return narrow;
}

struct Programs {
    Programs() {
        folder.CopyIn(BuiltFile("kelvarid.exe"), L"kelvarid.exe");
        folder.CopyIn(BuiltFile("tests/wine/standin/serline.dll"), L"serline.dll");
        folder.CopyIn(BuiltFile("bench/bench_baseline.exe"), L"baseline.exe");
    }
    Environment KelvaridEnvironment() const {
        return {{L"KELVARID_STANDIN_PORTS", L"1"}, {L"KELVARID_STANDIN_LOG", folder / L"calls.log"}};
    }
    Folder folder;
};

// Polls every 10 ms; -1 when nothing came within 20 s.
long long MicrosecondsUntil(long long start, const std::function<bool()>& shown) {
    if (!WaitUntil(shown, 20000)) return -1;
    return NowMicroseconds() - start;
}

long long Median(std::vector<long long> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool Visible(const std::vector<HWND>& windows) {
    return std::any_of(windows.begin(), windows.end(), [](HWND window) { return IsWindowVisible(window) != FALSE; });
}

void MeasureStartUp(const Programs& programs) {
    std::vector<long long> kelvarid, baseline;
    for (int round = 0; round < kStartRounds; ++round) {
        {
            const long long start = NowMicroseconds();
            Program program(programs.folder / L"baseline.exe", {});
            baseline.push_back(MicrosecondsUntil(start, [&] { return Visible(program.TopWindows(L"KelvaridBaseline")); }));
        }
        Sleep(500);
        {
            DeleteFileW((programs.folder / L"calls.log").c_str());
            const long long start = NowMicroseconds();
            Program program(programs.folder / L"kelvarid.exe", programs.KelvaridEnvironment());
            kelvarid.push_back(MicrosecondsUntil(start, [&] { return !program.Boxes().empty(); }));
        }
        Sleep(500);
    }
    for (std::size_t i = 0; i < kelvarid.size(); ++i) {
        std::printf("startup_round %zu %lld %lld\n", i, kelvarid[i], baseline[i]);
    }
    std::printf("startup_kelvarid_us %lld\nstartup_baseline_us %lld\n", Median(kelvarid), Median(baseline));
}

int MeasureTwoCycles(const Programs& programs, const std::wstring& handshake) {
    DeleteFileW((programs.folder / L"calls.log").c_str());
    Program kelvarid(programs.folder / L"kelvarid.exe", programs.KelvaridEnvironment());
    Program baseline(programs.folder / L"baseline.exe", {});
    const e2e::BoxView box = kelvarid.WaitForBox(20000);
    if (box.window == nullptr || !e2e::CloseBox(box)) {
        std::printf("error the start-up box did not come or did not close\n");
        return 1;
    }
    const auto edges = [&] { return e2e::CallsStartingWith(e2e::ReadCalls(programs.folder / L"calls.log"), "TXD"); };
    std::fflush(stdout);
    if (!WaitUntil([&] { return edges().size() >= 6; }, kCycleTimeoutMs)) {
        std::printf("error fewer than six edges in %d s\n", kCycleTimeoutMs / 1000);
        return 1;
    }
    const auto calls = edges();
    for (std::size_t i = 0; i < 6; ++i) {
        std::printf("edge %zu %s %lld\n", i, calls[i].call.c_str(), calls[i].at - calls[0].at);
    }

    // The script reads both processes from Linux while they still run.
    HANDLE file = CreateFileW(handshake.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("error cannot create the handshake file\n");
        return 1;
    }
    const std::string paths = Narrow(programs.folder / L"kelvarid.exe") + "\n" + Narrow(programs.folder / L"baseline.exe") + "\n";
    DWORD written = 0;
    WriteFile(file, paths.data(), static_cast<DWORD>(paths.size()), &written, nullptr);
    CloseHandle(file);
    std::fflush(stdout);
    if (!WaitUntil([&] { return GetFileAttributesW(handshake.c_str()) == INVALID_FILE_ATTRIBUTES; }, 60000)) {
        std::printf("error the script did not answer\n");
        return 1;
    }
    std::printf("still_running %d %d\n", kelvarid.WaitForExit(0) ? 0 : 1, baseline.WaitForExit(0) ? 0 : 1);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::printf("usage: bench_driver <handshake file>\n");
        return 2;
    }
    Programs programs;
    MeasureStartUp(programs);
    std::fflush(stdout);
    const std::string handshake = argv[1];
    return MeasureTwoCycles(programs, std::wstring(handshake.begin(), handshake.end()));
}
