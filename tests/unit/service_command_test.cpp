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
    EXPECT_EQ(ParseServiceCommand(quoted + L" --status"), ServiceCommand::Status);
    EXPECT_EQ(ParseServiceCommand(quoted + L" --set-service-rights"), ServiceCommand::SetServiceRights);
    for (const wchar_t* options : {L" --SET-PROGRAM-RIGHTS", L" --set-program-rightsx", L" /set-program-rights",
                                   L" --drill now", L" /drill",
                                   L" --make-record-folder --set-program-rights", L" -"}) {
        EXPECT_EQ(ParseServiceCommand(quoted + options), ServiceCommand::Unknown) << options;
    }
    EXPECT_EQ(ParseServiceCommand(L"\"C:\\Kelvarid\\kelvarid-service.exe --set-program-rights"), ServiceCommand::RunAsService)
        << "an unclosed quote belongs to the program's name";
}

// The installer names the folder it is about to write into, from a copy of the program elsewhere.
TEST(ServiceCommandLine, SetProgramRightsTakesTheFolderNamedQuotedOrNot) {
    const std::wstring program = L"\"C:\\Temp\\nsx1.tmp\\kelvarid-service.exe\"";
    const std::wstring named = program + L" --set-program-rights \"C:\\Kelvarid Moved\"";
    EXPECT_EQ(ParseServiceCommand(named), ServiceCommand::SetProgramRights);
    EXPECT_EQ(ProgramFolderArgument(named), L"C:\\Kelvarid Moved");
    EXPECT_EQ(ProgramFolderArgument(program + L" --set-program-rights\tC:\\Kelvarid "), L"C:\\Kelvarid");
    EXPECT_EQ(ProgramFolderArgument(program + L" --set-program-rights"), L"") << "none named: the program's own";
    EXPECT_EQ(ParseServiceCommand(program + L" --set-program-rights \"C:\\Kel\"varid\""), ServiceCommand::Unknown)
        << "a stray quote";
    EXPECT_EQ(ProgramFolderArgument(program + L" --make-record-folder C:\\Kelvarid"), L"");
}

}  // namespace
}  // namespace kelvarid::testing
