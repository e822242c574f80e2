// The steady clock both programs read.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/tick_count.h"

namespace kelvarid::testing {
namespace {

// XP's 32-bit tick count widened: through its wrap after 49.7 days, and with readings that
// threads hand over a little out of order on either side of it.
TEST(TickCount, GoesOnThroughTheWrapOfTheThirtyTwoBitCount) {
    constexpr std::uint64_t kWrap = std::uint64_t{1} << 32;
    std::uint64_t last = WidenTickCount(0, 0xF0000000u);  // first read 46 days after boot
    EXPECT_EQ(last, 0xF0000000u);
    std::uint64_t previous = last;
    for (std::uint64_t t = 0xF0000000u; t < 3 * kWrap; t += 60500) {  // a pulse's reading every 60.5 s
        last = WidenTickCount(last, static_cast<std::uint32_t>(t));
        ASSERT_EQ(last, t) << "after " << (t / kWrap) << " wraps";
        ASSERT_GE(last, previous);
        previous = last;
    }
    const std::uint64_t afterWrap = WidenTickCount(kWrap - 100, 50);
    EXPECT_EQ(afterWrap, kWrap + 50);
    EXPECT_EQ(WidenTickCount(afterWrap, 0xFFFFFFF0u), kWrap - 16) << "a reading from before the wrap, handed late";
    EXPECT_EQ(WidenTickCount(kWrap + 5000, 4000), kWrap + 4000) << "a reading a second old";
}

}  // namespace
}  // namespace kelvarid::testing
