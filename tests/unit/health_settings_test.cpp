// The health checks' settings as the registry holds them: defaults, values of the wrong type or
// out of range, entries left out.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "service/health_settings.h"

namespace kelvarid::testing {
namespace {

RawValue Dword(std::uint32_t number) { return {true, kRegDword, number, {}}; }
RawValue List(std::vector<std::wstring> entries) { return {true, kRegMultiString, 0, std::move(entries)}; }
RawValue Text() { return {true, 1, 0, {}}; }

TEST(HealthSettingsRead, NothingSetMeansNoChecksAtTheirDefaults) {
    std::vector<SettingProblem> problems;
    EXPECT_EQ(ReadHealthSettings({}, problems), HealthSettings{});
    EXPECT_TRUE(problems.empty());
    const HealthSettings defaults;
    EXPECT_EQ(defaults.mode, HealthMode::Off);
    EXPECT_EQ(defaults.heartbeatMaxAge, 180u);
    EXPECT_EQ(defaults.failAfter, 120u);
    EXPECT_EQ(defaults.startupGrace, 600u);
    EXPECT_EQ(defaults.maxHealthResets, 3u);
}

TEST(HealthSettingsRead, AWrongTypeOrAValueOutOfRangeIsNamedAndItsDefaultUsed) {
    RawHealthValues raw;
    raw.healthChecks = Dword(3);
    raw.processes = Text();
    raw.heartbeatFiles = List({L"C:\\beat.txt"});
    raw.heartbeatMaxAge = Dword(9);
    raw.failAfter = Text();
    raw.startupGrace = Dword(0);
    raw.maxHealthResets = Dword(0);
    raw.drillTimeout = Dword(59);
    std::vector<SettingProblem> problems;
    const HealthSettings settings = ReadHealthSettings(raw, problems);
    EXPECT_EQ(settings.mode, HealthMode::Off);
    EXPECT_EQ(settings.drillTimeout, 600u);
    EXPECT_TRUE(settings.processes.empty());
    EXPECT_EQ(settings.heartbeatMaxAge, 180u);
    EXPECT_EQ(settings.failAfter, 120u);
    EXPECT_EQ(settings.startupGrace, 0u) << "a grace of 0 is allowed";
    EXPECT_EQ(settings.maxHealthResets, 3u);
    using Kind = SettingProblem::Kind;
    EXPECT_EQ(problems, (std::vector<SettingProblem>{{Kind::BadValue, L"HealthChecks", L"3", L"0"},
                                                      {Kind::BadValue, L"Processes", L"REG_SZ", L"-"},
                                                      {Kind::BadValue, L"HeartbeatMaxAge", L"9", L"180"},
                                                      {Kind::BadValue, L"FailAfter", L"REG_SZ", L"120"},
                                                      {Kind::BadValue, L"MaxHealthResets", L"0", L"3"},
                                                      {Kind::BadValue, L"DrillTimeout", L"59", L"600"}}));

    raw = {};
    raw.heartbeatMaxAge = Dword(10);
    raw.failAfter = Dword(10);
    raw.drillTimeout = Dword(3601);
    problems.clear();
    EXPECT_EQ(ReadHealthSettings(raw, problems).failAfter, 10u);
    EXPECT_EQ(problems, (std::vector<SettingProblem>{{Kind::BadValue, L"DrillTimeout", L"3601", L"600"}}))
        << "10 s is allowed, and a drill waits at most an hour";
    for (const std::uint32_t seconds : {60u, 3600u}) {
        raw.drillTimeout = Dword(seconds);
        problems.clear();
        EXPECT_EQ(ReadHealthSettings(raw, problems).drillTimeout, seconds);
        EXPECT_TRUE(problems.empty());
    }
}

TEST(HealthSettingsRead, TheTestCommandIsOneStringAndItsTimeoutFrom5To600Seconds) {
    using Kind = SettingProblem::Kind;
    RawHealthValues raw;
    raw.healthChecks = Dword(2);
    raw.testCommand = {true, kRegExpandString, 0, {L" \tC:\\Tools\\check.cmd --db  "}};
    raw.testTimeout = Dword(4);
    std::vector<SettingProblem> problems;
    HealthSettings settings = ReadHealthSettings(raw, problems);
    EXPECT_EQ(settings.testCommand, L"C:\\Tools\\check.cmd --db") << "blanks around the command line count";
    EXPECT_EQ(settings.mode, HealthMode::Act) << "a test command alone is a check to act on";
    EXPECT_EQ(settings.testTimeout, 60u);
    EXPECT_EQ(problems, (std::vector<SettingProblem>{{Kind::BadValue, L"TestTimeout", L"4", L"60"}}));

    for (const std::uint32_t seconds : {5u, 600u}) {
        raw.testTimeout = Dword(seconds);
        problems.clear();
        EXPECT_EQ(ReadHealthSettings(raw, problems).testTimeout, seconds);
        EXPECT_TRUE(problems.empty());
    }
    raw.testTimeout = Dword(601);
    raw.testCommand = List({L"check.cmd"});
    problems.clear();
    settings = ReadHealthSettings(raw, problems);
    EXPECT_TRUE(settings.testCommand.empty());
    EXPECT_EQ(settings.mode, HealthMode::Off) << "a list is no command line: nothing left to act on";
    EXPECT_EQ(problems, (std::vector<SettingProblem>{{Kind::BadValue, L"TestCommand", L"REG_MULTI_SZ", L"-"},
                                                      {Kind::BadValue, L"TestTimeout", L"601", L"60"},
                                                      {Kind::NoUsableCheck, L"HealthChecks", L"2", L"0"}}));
    raw.testCommand = {true, kRegString, 0, {L"   "}};
    raw.testTimeout = {};
    problems.clear();
    EXPECT_TRUE(ReadHealthSettings(raw, problems).testCommand.empty()) << "blanks alone are no command";
}

TEST(HealthSettingsRead, TheStepsBeforeTheCircuitAreARepairAndACleanRestartUnlessSaidOtherwise) {
    using Kind = SettingProblem::Kind;
    RawHealthValues raw;
    raw.repairCommand = {true, kRegString, 0, {L" C:\\Tools\\repair.cmd "}};
    raw.repairTimeout = Dword(9);
    raw.cleanRestart = Dword(2);
    raw.restartTimeout = Dword(3601);
    std::vector<SettingProblem> problems;
    HealthSettings settings = ReadHealthSettings(raw, problems);
    EXPECT_EQ(settings.repairCommand, L"C:\\Tools\\repair.cmd");
    EXPECT_TRUE(settings.cleanRestart) << "a wrong CleanRestart stopped the pulses at once";
    EXPECT_EQ(problems, (std::vector<SettingProblem>{{Kind::BadValue, L"RepairTimeout", L"9", L"120"},
                                                      {Kind::BadValue, L"CleanRestart", L"2", L"1"},
                                                      {Kind::BadValue, L"RestartTimeout", L"3601", L"600"}}));
    for (const auto& [repair, clean, restart] : {std::tuple{10u, 0u, 60u}, std::tuple{900u, 1u, 3600u}}) {
        raw.repairTimeout = Dword(repair);
        raw.cleanRestart = Dword(clean);
        raw.restartTimeout = Dword(restart);
        problems.clear();
        settings = ReadHealthSettings(raw, problems);
        EXPECT_EQ(std::tuple(settings.repairTimeout, settings.cleanRestart, settings.restartTimeout),
                  std::tuple(repair, clean == 1, restart));
        EXPECT_TRUE(problems.empty());
    }
}

TEST(HealthSettingsRead, EntriesThatAreNotImageNamesOrFullLocalPathsAreLeftOut) {
    RawHealthValues raw;
    raw.healthChecks = Dword(2);
    raw.processes = List({L"Logger.EXE", L"C:\\bin\\logger.exe", L"logger", L"log*.exe", L"..\\x.exe", L"", L"server.exe",
                          L"C:\\bin\\logger.txt", L"\\\\server\\bin\\logger.exe"});
    raw.heartbeatFiles = List({L"C:\\Data\\beat.txt", L"\\\\server\\share\\beat.txt", L"beat.txt", L"C:beat.txt",
                               L"C:\\Data\\..\\beat.txt", L"\\\\?\\C:\\beat.txt", L"C:\\Data\\", L"d:\\Měření\\tep.log"});
    std::vector<SettingProblem> problems;
    const HealthSettings settings = ReadHealthSettings(raw, problems);
    EXPECT_EQ(settings.mode, HealthMode::Act);
    EXPECT_EQ(settings.processes, (std::vector<std::wstring>{L"Logger.EXE", L"C:\\bin\\logger.exe", L"server.exe"}));
    EXPECT_EQ(settings.heartbeatFiles, (std::vector<std::wstring>{L"C:\\Data\\beat.txt", L"d:\\Měření\\tep.log"}));
    std::vector<std::wstring> leftOut;
    for (const SettingProblem& problem : problems) {
        EXPECT_EQ(problem.kind, SettingProblem::Kind::BadEntry);
        leftOut.push_back(problem.value + L":" + problem.found);
    }
    EXPECT_EQ(leftOut, (std::vector<std::wstring>{L"Processes:logger", L"Processes:log*.exe", L"Processes:..\\x.exe",
                                                   L"Processes:C:\\bin\\logger.txt",
                                                   L"Processes:\\\\server\\bin\\logger.exe",
                                                   L"HeartbeatFiles:\\\\server\\share\\beat.txt",
                                                   L"HeartbeatFiles:beat.txt", L"HeartbeatFiles:C:beat.txt",
                                                   L"HeartbeatFiles:C:\\Data\\..\\beat.txt",
                                                   L"HeartbeatFiles:\\\\?\\C:\\beat.txt", L"HeartbeatFiles:C:\\Data\\"}));
}

// A full path names one file: a copy of another program under the watched name, started from
// anywhere else, is not the program meant; a path that could not be read is not taken for it.
TEST(HealthProcesses, AFullPathPassesOnlyForAProcessWhoseImageIsThatFile) {
    const std::wstring path = L"C:\\APP\\LOGGER.EXE";
    EXPECT_TRUE(ProcessIsMeant(path, L"LOGGER.EXE", std::wstring(L"C:\\APP\\LOGGER.EXE")));
    EXPECT_FALSE(ProcessIsMeant(path, L"LOGGER.EXE", std::wstring(L"C:\\USERS\\EVE\\TEMP\\LOGGER.EXE")));
    EXPECT_FALSE(ProcessIsMeant(path, L"LOGGER.EXE", std::nullopt));
    EXPECT_FALSE(ProcessIsMeant(path, L"NOTEPAD.EXE", std::wstring(L"C:\\APP\\LOGGER.EXE")));
    // A name alone: any process of that name, wherever its image lies.
    EXPECT_TRUE(ProcessIsMeant(L"LOGGER.EXE", L"LOGGER.EXE", std::nullopt));
    EXPECT_TRUE(ProcessIsMeant(L"LOGGER.EXE", L"LOGGER.EXE", std::wstring(L"C:\\USERS\\EVE\\TEMP\\LOGGER.EXE")));
    EXPECT_FALSE(ProcessIsMeant(L"LOGGER.EXE", L"SERVER.EXE", std::nullopt));
}

TEST(HealthSettingsRead, ActingWithNoUsableCheckMeansNoChecksAndIsLogged) {
    RawHealthValues raw;
    raw.healthChecks = Dword(2);
    raw.processes = List({L"\\\\server\\x.exe"});
    std::vector<SettingProblem> problems;
    EXPECT_EQ(ReadHealthSettings(raw, problems).mode, HealthMode::Off);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[1].kind, SettingProblem::Kind::NoUsableCheck);
}

}  // namespace
}  // namespace kelvarid::testing
