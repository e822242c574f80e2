// What `kelvaridctl status` says, and with which exit code, about what the service published.
#include <gtest/gtest.h>

#include "service/status.h"

namespace kelvarid::testing {
namespace {

constexpr std::uint64_t kSecond = 10'000'000;
constexpr std::uint64_t kNow = 133'000'000'000'000'000ull;

PublishedStatus Pulsing() {
    PublishedStatus status;
    status.started = kNow - 3600 * kSecond;
    status.port = L"COM3";
    status.portOpen = true;
    status.lastPulse = kNow - 12 * kSecond;
    status.checksMode = 2;
    status.maxStops = 3;
    return status;
}

TEST(Status, ReadsBackWhatWasWrittenAndNothingCutShort) {
    PublishedStatus status = Pulsing();
    status.failing = L"C:\\Logger\\logger.exe";
    status.lastReset = L"check logger.exe";
    const std::wstring text = StatusText(status);
    EXPECT_EQ(ParseStatus(text), status);
    EXPECT_FALSE(ParseStatus(text.substr(0, text.size() / 2))) << "half a status was read as a whole one";
    EXPECT_FALSE(ParseStatus(L"Port=COM3\n"));
    EXPECT_FALSE(ParseStatus(L"no status at all"));
}

TEST(Status, PulsesThatReachThePortAreOkWithTheirAge) {
    const StatusVerdict verdict = JudgeStatus(ServiceState::Running, ProgramSeen::None, Pulsing(), kNow);
    EXPECT_EQ(verdict.health, Health::Ok);
    EXPECT_EQ(verdict.firstLine, L"KELVARID OK - pulsing on COM3, last pulse 12 s ago | age=12s");
}

// Each of these ends with a reset, or with nothing pulsing.
TEST(Status, NothingReachingThePortIsCritical) {
    const auto critical = [](PublishedStatus status, const wchar_t* says) {
        const StatusVerdict verdict = JudgeStatus(ServiceState::Running, ProgramSeen::None, status, kNow);
        EXPECT_EQ(verdict.health, Health::Critical) << says;
        EXPECT_NE(verdict.firstLine.find(says), std::wstring::npos) << verdict.firstLine;
    };
    PublishedStatus status = Pulsing();
    status.portOpen = false;
    critical(status, L"COM3 cannot be opened");
    status = Pulsing();
    status.library = false;
    critical(status, L"serline.dll");
    status = Pulsing();
    status.holding = L"logger.exe";
    critical(status, L"logger.exe has stopped the pulses");
    status = Pulsing();
    status.drill = true;
    critical(status, L"a drill runs");
    status = Pulsing();
    status.port.clear();
    critical(status, L"names no port");
    status = Pulsing();
    status.lastPulse = kNow - 80 * kSecond;  // a service that hangs: what it wrote last grows old
    critical(status, L"no pulse on COM3 for 80 s");
    status = Pulsing();
    status.pulsesWork = false;
    critical(status, L"the pulses fail");
}

TEST(Status, ACheckFailingWithinItsGraceOrChecksOnlyWatchingNeedALook) {
    PublishedStatus status = Pulsing();
    status.failing = L"logger.exe";
    EXPECT_EQ(JudgeStatus(ServiceState::Running, ProgramSeen::None, status, kNow).health, Health::Warning);
    status = Pulsing();
    status.limited = true;
    status.stopsInRow = 3;
    EXPECT_EQ(JudgeStatus(ServiceState::Running, ProgramSeen::None, status, kNow).health, Health::Warning);
    status = Pulsing();
    status.lastPulse = 0;
    status.started = kNow - 2 * kSecond;
    EXPECT_EQ(JudgeStatus(ServiceState::Running, ProgramSeen::None, status, kNow).health, Health::Warning) << "just started";
}

TEST(Status, TheServicesStateDecidesBeforeWhatItLastWrote) {
    const PublishedStatus stale = Pulsing();  // left by a run that has ended
    EXPECT_EQ(JudgeStatus(ServiceState::Stopped, ProgramSeen::None, stale, kNow).health, Health::Critical);
    EXPECT_EQ(JudgeStatus(ServiceState::NotInstalled, ProgramSeen::None, std::nullopt, kNow).health, Health::Critical);
    const StatusVerdict logOn = JudgeStatus(ServiceState::NotInstalled, ProgramSeen::Installed, std::nullopt, kNow);
    EXPECT_EQ(logOn.health, Health::Ok);
    EXPECT_NE(logOn.firstLine.find(L"kelvarid.exe runs"), std::wstring::npos);
    // Anyone can start a program of that name, or make its name: only the installed one is OK.
    EXPECT_EQ(JudgeStatus(ServiceState::Stopped, ProgramSeen::Unconfirmed, std::nullopt, kNow).health, Health::Warning);
    EXPECT_EQ(JudgeStatus(ServiceState::Running, ProgramSeen::None, std::nullopt, kNow).health, Health::Unknown);
    EXPECT_EQ(JudgeStatus(ServiceState::Unknown, ProgramSeen::Installed, stale, kNow).health, Health::Unknown);
}

}  // namespace
}  // namespace kelvarid::testing
