// The service's Port value: what names a port, and what the service does with one that names none.
#include <gtest/gtest.h>

#include "keepalive/ports.h"
#include "service/port_setting.h"
#include "tests/unit/service_fakes.h"

namespace kelvarid::testing {
namespace {

TEST(PortValue, NamesTheFourPortsInAnyCaseWithBlanksAround) {
    EXPECT_EQ(PortFromName(L"COM1"), 0);
    EXPECT_EQ(PortFromName(L"com2"), 1);
    EXPECT_EQ(PortFromName(L" Com3\t"), 2);
    EXPECT_EQ(PortFromName(L"COM4"), 3);
}

TEST(PortValue, AnythingElseNamesNoPort) {
    for (const wchar_t* value : {L"", L"COM", L"COM0", L"COM5", L"COM12", L"COM1:", L"LPT1", L"1", L"CO M1",
                                 L"\\\\.\\COM1", L"COM\u0661"}) {
        EXPECT_EQ(PortFromName(value), kNoPort) << "value: " << value;
    }
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
        {{PortValue::State::Read, L"COM9"}, kNoPort, {L"Log BadPortValue COM9"}},
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
