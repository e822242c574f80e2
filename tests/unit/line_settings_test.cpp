// The settings string of OPENCOM: what is accepted, and everything that must be refused.
#include <gtest/gtest.h>

#include <string>

#include "serline/line_settings.h"

namespace serline {
namespace {

TEST(LineSettings, ReadsTheProgramsOwnStrings) {
    for (int port = 1; port <= 4; ++port) {
        const std::string text = "COM" + std::to_string(port) + ",1200,N,8,1";
        const auto settings = ParseLineSettings(text.c_str());
        ASSERT_TRUE(settings) << text;
        EXPECT_EQ(settings->port, port);
        EXPECT_EQ(settings->baud, 1200u);
        EXPECT_EQ(settings->parity, Parity::None);
        EXPECT_EQ(settings->dataBits, 8);
        EXPECT_EQ(settings->stopBits, StopBits::One);
    }
}

TEST(LineSettings, ReadsEveryParityDataWidthAndStopWidth) {
    const auto odd = ParseLineSettings("COM12,9600,O,7,2");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->port, 12);
    EXPECT_EQ(odd->baud, 9600u);
    EXPECT_EQ(odd->parity, Parity::Odd);
    EXPECT_EQ(odd->dataBits, 7);
    EXPECT_EQ(odd->stopBits, StopBits::Two);

    const auto five = ParseLineSettings("COM255,110,M,5,1.5");
    ASSERT_TRUE(five);
    EXPECT_EQ(five->port, 255);
    EXPECT_EQ(five->parity, Parity::Mark);
    EXPECT_EQ(five->dataBits, 5);
    EXPECT_EQ(five->stopBits, StopBits::OneAndHalf);

    EXPECT_EQ(ParseLineSettings("COM1,1200,E,6,1")->parity, Parity::Even);
    EXPECT_EQ(ParseLineSettings("COM1,1200,S,8,1")->parity, Parity::Space);
}

TEST(LineSettings, RefusesNothingAndEmptyAndOverlong) {
    EXPECT_FALSE(ParseLineSettings(nullptr));
    EXPECT_FALSE(ParseLineSettings(""));
    const std::string overlong = "COM1,1200,N,8,1" + std::string(kMaxSettingsLength, ' ');
    EXPECT_FALSE(ParseLineSettings(overlong.c_str()));
    // Padding with leading zeros past the limit is refused even though the value is fine.
    EXPECT_FALSE(ParseLineSettings("COM1,00000000000000000001200,N,8,1"));
}

TEST(LineSettings, NeverReadsPastTheLimitOfAnUnterminatedString) {
    // No NUL within the first kMaxSettingsLength + 1 characters: refused without looking further.
    char unterminated[kMaxSettingsLength + 1];
    for (char& c : unterminated) c = 'C';
    EXPECT_FALSE(ParseLineSettings(unterminated));
}

TEST(LineSettings, RefusesMalformedStrings) {
    for (const char* text : {
             "COM1",                  // fields missing
             "COM1,1200,N,8",         // stop bits missing
             "COM1,1200,N,8,1,",      // a field too many
             "COM1,1200,N,8,1,1",     //
             "COM0,1200,N,8,1",       // no port 0
             "COM256,1200,N,8,1",     // beyond the last port
             "COM01,1200,N,8,1",      // leading zero
             "com1,1200,N,8,1",       // names are upper case
             "LPT1,1200,N,8,1",       //
             "COM,1200,N,8,1",        //
             "COM1 ,1200,N,8,1",      // spaces are not trimmed
             " COM1,1200,N,8,1",      //
             "COM1,0,N,8,1",          // no speed
             "COM1,-1200,N,8,1",      //
             "COM1,+1200,N,8,1",      //
             "COM1,12a0,N,8,1",       //
             "COM1,4000001,N,8,1",    // faster than any UART
             "COM1,99999999999,N,8,1",//
             "COM1,1200,X,8,1",       // unknown parity
             "COM1,1200,n,8,1",       //
             "COM1,1200,NN,8,1",      //
             "COM1,1200,,8,1",        //
             "COM1,1200,N,4,1",       // data bits 5 to 8
             "COM1,1200,N,9,1",       //
             "COM1,1200,N,08,1",      //
             "COM1,1200,N,8,0",       // stop bits 1, 1.5 or 2
             "COM1,1200,N,8,3",       //
             "COM1,1200,N,8,1.0",     //
             "COM1,1200,N,8,",        //
             "COM1,1200,N,8,1.5",     // 1.5 stop bits only with 5 data bits
             "COM1,1200,N,5,2",       // 2 stop bits not with 5 data bits
             ",,,,",                  //
         }) {
        EXPECT_FALSE(ParseLineSettings(text)) << text;
    }
}

TEST(LineSettings, StopsAtTheFirstNul) {
    const char text[] = "COM1,1200,N,8,1\0garbage";
    EXPECT_TRUE(ParseLineSettings(text));
    const char cut[] = "COM1,1200\0,N,8,1";
    EXPECT_FALSE(ParseLineSettings(cut));
}

}  // namespace
}  // namespace serline
