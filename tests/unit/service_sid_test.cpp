// The service's own SID, as Windows derives it from a service's name, and the record folder's
// rights with it.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kelvarid::testing
