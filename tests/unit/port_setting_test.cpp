// The service's Port value: what names a port, and what the service does with one that names none.
#include <gtest/gtest.h>

#include "keepalive/ports.h"
#include "service/port_setting.h"
#include "tests/unit/service_fakes.h"

namespace kelvarid::testing {
namespace {

TEST(PortValue, NamesEveryPortWindowsGivesInAnyCaseWithBlanksAround) {
    EXPECT_EQ(PortFromName(L"COM1"), 0);
    EXPECT_EQ(PortFromName(L"com2"), 1);
    EXPECT_EQ(PortFromName(L" Com3\t"), 2);
    EXPECT_EQ(PortFromName(L"COM12"), 11);
    EXPECT_EQ(PortFromName(L"COM255"), 254);
    for (const int port : {0, 3, 9, 11, 99, 254}) EXPECT_EQ(PortFromName(PortName(port)), port) << port;
    EXPECT_EQ(PortName(kNoPort), L"");
}

TEST(PortValue, AnythingElseNamesNoPort) {
    for (const wchar_t* value : {L"", L"COM", L"COM0", L"COM01", L"COM256", L"COM1000", L"COM1:", L"LPT1", L"1",
                                 L"CO M1", L"COM 1", L"COM-1", L"COM+1", L"\\\\.\\COM1", L"COM\u0661"}) {
        EXPECT_EQ(PortFromName(value), kNoPort) << "value: " << value;
    }
}

// What the serial-line library is asked to open: two- and three-digit ports too.
TEST(PortValue, TheLibraryGetsThePortsNameAndTheLineSettings) {
    char settings[32];
    OpenComSettings(0, settings);
    EXPECT_STREQ(settings, "COM1,1200,N,8,1");
    OpenComSettings(11, settings);
    EXPECT_STREQ(settings, "COM12,1200,N,8,1");
    OpenComSettings(254, settings);
    EXPECT_STREQ(settings, "COM255,1200,N,8,1");
}

TEST(PortSetting, NoValueIsTheFirstPortAValueNamingNoneIsLoggedAndNamesNoPort) {
    struct Case {
        PortValue value;
        int port;
        Journal logged;
    };
    const Case cases[] = {
        {{PortValue::State::Missing, L""}, 0, {}},
        {{PortValue::State::Read, L" com3 "}, 2, {}},
        {{PortValue::State::Read, L"COM12"}, 11, {}},
        {{PortValue::State::Read, L"COM300"}, kNoPort, {L"Log BadPortValue COM300"}},
        {{PortValue::State::Unreadable, L""}, kNoPort, {L"Log BadPortValue ?"}},
    };
    for (const Case& test : cases) {
        Journal journal;
        RecordingLog log(journal);
        EXPECT_EQ(PortFromSetting(test.value, log), test.port) << test.value.text;
        EXPECT_EQ(journal, test.logged) << test.value.text;
    }
}

}  // namespace
}  // namespace kelvarid::testing
