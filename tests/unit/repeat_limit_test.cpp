// The limit on entries that repeat in the service's log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/repeat_limit.h"

namespace kelvarid::testing {
namespace {

// The log as the service writes it: the counts that are due before each entry, as EventLog does.
struct RepeatRig {
    // An entry of `key` at `seconds`; whether it was written.
    bool Entry(const std::wstring& key, double seconds) {
        Counts(seconds);
        return limit.Admit(key, Ms(seconds));
    }
    void Counts(double seconds) {
        for (const RepeatLimit::Held& held : limit.Due(Ms(seconds))) counts.push_back(held);
    }
    static std::int64_t Ms(double seconds) { return static_cast<std::int64_t>(seconds * 1000); }
    RepeatLimit limit;
    std::vector<RepeatLimit::Held> counts;
};

TEST(RepeatedEntries, ACheckThatFailsAndPassesEveryRoundIsWrittenOnceAndThenCountedOnceAMinute) {
    RepeatRig rig;
    int written = 0;
    for (double t = 0; t < 180; t += 10) {
        written += rig.Entry(L"14 (logger.exe)", t) ? 1 : 0;
        written += rig.Entry(L"15 (logger.exe)", t + 5) ? 1 : 0;
    }
    EXPECT_EQ(written, 2) << "each entry once, then only counts";
    using Held = RepeatLimit::Held;
    EXPECT_EQ(rig.counts, (std::vector<Held>{{L"14 (logger.exe)", 5}, {L"15 (logger.exe)", 5},
                                              {L"14 (logger.exe)", 6}, {L"15 (logger.exe)", 6}}));
    rig.counts.clear();
    rig.Counts(1e12);  // the end: what is still held is counted
    EXPECT_EQ(rig.counts, (std::vector<Held>{{L"14 (logger.exe)", 6}, {L"15 (logger.exe)", 6}}));
}

TEST(RepeatedEntries, OtherEntriesAndAnEntryAfterAQuietMinuteAreWrittenAtOnce) {
    RepeatRig rig;
    EXPECT_TRUE(rig.Entry(L"14 (logger.exe)", 0));
    EXPECT_TRUE(rig.Entry(L"14 (backup.exe)", 1)) << "another check's failure was held back";
    EXPECT_TRUE(rig.Entry(L"4 (COM1)", 2));
    EXPECT_FALSE(rig.Entry(L"14 (logger.exe)", 59.9));
    EXPECT_TRUE(rig.Entry(L"14 (backup.exe)", 61));
    EXPECT_EQ(rig.counts, (std::vector<RepeatLimit::Held>{{L"14 (logger.exe)", 1}}));
    rig.counts.clear();
    EXPECT_TRUE(rig.Entry(L"4 (COM1)", 300)) << "an entry after a quiet minute was held back";
    EXPECT_TRUE(rig.Entry(L"14 (logger.exe)", 300));
    EXPECT_TRUE(rig.counts.empty());
}

}  // namespace
}  // namespace kelvarid::testing
