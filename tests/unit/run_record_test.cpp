// The record of the service's runs as text: read back whole, never a record that is not whole.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "service/run_record.h"

namespace kelvarid::testing {
namespace {

TEST(HealthRecord, ReadsBackWhatItWroteAndNothingThatIsNotWhole) {
    const RunRecord record{133'900'000'000'000'123ull, false, 2, L"C:\\Data\\Žluťoučký kůň.txt", 42, 7, 86'400'123, 99};
    const std::wstring text = EncodeRunRecord(record);
    EXPECT_EQ(DecodeRunRecord(text), record);
    // Written before drills, the steady count's line and restarts were known: whole without their lines.
    const std::size_t drillLine = text.find(L"DrillStarted=7\r\n");
    const std::size_t uptimeLine = text.find(L"LastPulseUptime=86400123\r\n");
    ASSERT_NE(drillLine, std::wstring::npos);
    ASSERT_EQ(text.find(L"RestartAsked=99\r\n"), 0u) << "the lines an older record lacks come first, so that no cut record looks whole";
    ASSERT_EQ(uptimeLine, 17u);
    RunRecord older = record;
    older.drillStarted = 0;
    older.lastPulseUptimeMs = 0;
    older.restartAsked = 0;
    EXPECT_EQ(DecodeRunRecord(std::wstring(text).erase(drillLine, 16).erase(uptimeLine, 26).erase(0, 17)), older);
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

// A reset between the delete of the record and the rename of the new one, or after a pulse's
// time was written beside the record: what is left beside it is used when it is newer or the
// record is gone, and the stops in a row never go down.
TEST(HealthRecord, ANewRecordLeftBesideItIsUsedWhenNewerOrAloneWithTheHigherStopsInARow) {
    const RunRecord record{1000, false, 2, L"logger.exe", 900, 0};
    RunRecord newer = record;
    newer.lastPulse = 2000;
    newer.stopsInRow = 1;  // an older count can only come from a record that never took the place
    const StoredRecord read{StoredRecord::State::Read, record, 0};

    EXPECT_EQ(WithLeftover(read, std::nullopt).record, record);
    RunRecord expected = newer;
    expected.stopsInRow = 2;
    EXPECT_EQ(WithLeftover(read, newer).record, expected) << "the newer pulse's time was lost";
    RunRecord older = record;
    older.lastPulse = 500;
    older.stopsInRow = 3;
    expected = record;
    expected.stopsInRow = 3;
    EXPECT_EQ(WithLeftover(read, older).record, expected) << "the higher stops in a row were lost";
    for (const StoredRecord& gone : {StoredRecord{}, StoredRecord{StoredRecord::State::Unreadable, {}, 0}}) {
        const StoredRecord used = WithLeftover(gone, older);
        EXPECT_EQ(used.state, StoredRecord::State::Read);
        EXPECT_EQ(used.record, older) << "a record lost between delete and rename was not taken from beside it";
    }
}

}  // namespace
}  // namespace kelvarid::testing
