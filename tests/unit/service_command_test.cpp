// What kelvarid-service.exe is asked to do by its command line.
#include <gtest/gtest.h>

#include <string>

#include "service/service_command.h"

namespace kelvarid::testing {
namespace {

TEST(ServiceCommandLine, TheServiceManagersStartRunsTheServiceAndOnlyTheInstallersOptionsAndTheDrillDoElse) {
    const std::wstring quoted = L"\"C:\\Program Files\\Kelvarid --x\\kelvarid-service.exe\"";
    EXPECT_EQ(ParseServiceCommand(quoted), ServiceCommand::RunAsService);
    EXPECT_EQ(ParseServiceCommand(quoted + L"  "), ServiceCommand::RunAsService);
    EXPECT_EQ(ParseServiceCommand(L"C:\\Kelvarid\\kelvarid-service.exe"), ServiceCommand::RunAsService);
    EXPECT_EQ(ParseServiceCommand(quoted + L" --set-program-rights"), ServiceCommand::SetProgramRights);
    EXPECT_EQ(ParseServiceCommand(L"kelvarid-service.exe\t--make-record-folder "), ServiceCommand::MakeRecordFolder);
    EXPECT_EQ(ParseServiceCommand(quoted + L" --drill"), ServiceCommand::Drill);
    EXPECT_EQ(ParseServiceCommand(quoted + L" --set-service-rights"), ServiceCommand::SetServiceRights);
    for (const wchar_t* options : {L" --SET-PROGRAM-RIGHTS", L" --set-program-rights x", L" /set-program-rights",
                                   L" --drill now", L" /drill",
                                   L" --make-record-folder --set-program-rights", L" -"}) {
        EXPECT_EQ(ParseServiceCommand(quoted + options), ServiceCommand::Unknown) << options;
    }
    EXPECT_EQ(ParseServiceCommand(L"\"C:\\Kelvarid\\kelvarid-service.exe --set-program-rights"), ServiceCommand::RunAsService)
        << "an unclosed quote belongs to the program's name";
}

}  // namespace
}  // namespace kelvarid::testing
