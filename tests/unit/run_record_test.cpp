// The record of the service's runs as text: read back whole, never a record that is not whole.
#include <gtest/gtest.h>

#include <string>

#include "service/run_record.h"

namespace kelvarid::testing {
namespace {

TEST(HealthRecord, ReadsBackWhatItWroteAndNothingThatIsNotWhole) {
    const RunRecord record{133'900'000'000'000'123ull, false, 2, L"C:\\Data\\Žluťoučký kůň.txt", 42, 7};
    const std::wstring text = EncodeRunRecord(record);
    EXPECT_EQ(DecodeRunRecord(text), record);
    // Written before drills were known: whole without the drill's line, with no drill.
    const std::size_t drillLine = text.find(L"DrillStarted=7\r\n");
    ASSERT_NE(drillLine, std::wstring::npos);
    RunRecord older = record;
    older.drillStarted = 0;
    EXPECT_EQ(DecodeRunRecord(std::wstring(text).erase(drillLine, 16)), older);
    for (std::size_t cut = 0; cut < text.size(); ++cut) {
        EXPECT_FALSE(DecodeRunRecord(text.substr(0, cut))) << "a record cut after " << cut << " characters was read";
    }
    EXPECT_FALSE(DecodeRunRecord(L""));
    std::wstring bad = text;
    bad[bad.find(L"StopsInRow=") + 11] = L'x';
    EXPECT_FALSE(DecodeRunRecord(bad));
    EXPECT_FALSE(DecodeRunRecord(L"EndedWithStop=7\r\n" + text));
    EXPECT_FALSE(DecodeRunRecord(L"StopsInRow=0\r\n" + text)) << "a line there twice";
    EXPECT_FALSE(DecodeRunRecord(text + L"Other=1\r\n"));
}

}  // namespace
}  // namespace kelvarid::testing
