// The service's own SID, as Windows derives it from a service's name, and the record folder's
// rights with it.
#include <gtest/gtest.h>

#include "service/owner_trust.h"
#include "service/service_sid.h"

namespace kelvarid::testing {
namespace {

TEST(ServiceSid, IsWindowsOwnForAServiceName) {
    // What `sc showsid TrustedInstaller` says on every Windows since Vista; any case of the name.
    EXPECT_EQ(ServiceSidText(L"TrustedInstaller"), L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464");
    EXPECT_EQ(ServiceSidText(L"trustedinstaller"), ServiceSidText(L"TRUSTEDINSTALLER"));
    EXPECT_NE(ServiceSidText(L"Kelvarid"), ServiceSidText(L"Kelvarid2"));
}

TEST(ServiceSid, TheRecordFolderGrantsModifyToTheGivenAccountAlone) {
    EXPECT_EQ(RecordFolderSddl(L"LS"), L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;LS)");
    const std::wstring own = RecordFolderSddl(ServiceSidText(L"Kelvarid"));
    EXPECT_EQ(own.find(L";;;LS)"), std::wstring::npos) << "LocalService, which other services share, kept its entry";
    EXPECT_NE(own.find(L"(A;OICI;0x1301bf;;;S-1-5-80-"), std::wstring::npos) << own;
}

// A user may make C:\ProgramData\Kelvarid or the folder /D= names before the installer does: as a
// junction to a folder whose rights he wants changed, or with a library of his in it.
TEST(OwnerTrust, OnlyARealFolderOfATrustedOwnerIsUsedAsItIs) {
    for (const Owner trusted : {Owner::Administrators, Owner::System, Owner::Self}) {
        EXPECT_EQ(VerdictOnFolder(true, false, trusted), FolderVerdict::Secure);
        EXPECT_EQ(VerdictOnFolder(true, true, trusted), FolderVerdict::MoveAside) << "a junction was followed";
        EXPECT_EQ(VerdictOnFolder(false, false, trusted), FolderVerdict::MoveAside) << "a file in the folder's place";
    }
    EXPECT_EQ(VerdictOnFolder(true, false, Owner::Other), FolderVerdict::MoveAside);
    EXPECT_EQ(VerdictOnFolder(true, false, Owner::Unknown), FolderVerdict::MoveAside);
    EXPECT_EQ(MovedAsideName(L"C:\\ProgramData\\Kelvarid\\", 2), L"C:\\ProgramData\\Kelvarid.moved-2");
}

// Any account may make a name first; it is logged for what it is, and the service runs anyway.
TEST(OwnerTrust, TheServicesNameMadeByAnotherAccountIsSquatted) {
    EXPECT_EQ(VerdictOnServiceName(Owner::Self), NameVerdict::HeldByKelvarid);
    EXPECT_EQ(VerdictOnServiceName(Owner::System), NameVerdict::HeldByKelvarid);
    EXPECT_EQ(VerdictOnServiceName(Owner::Administrators), NameVerdict::HeldByKelvarid);
    EXPECT_EQ(VerdictOnServiceName(Owner::Other), NameVerdict::Squatted);
    EXPECT_EQ(VerdictOnServiceName(Owner::Unknown), NameVerdict::Squatted) << "a name hidden from the service";
}

}  // namespace
}  // namespace kelvarid::testing
