// Entries that come again and again (a check that fails and passes every round, a port that
// comes and goes) are written at most once a minute each; those held back are counted, and the
// count goes into the log once that minute is over. Plain C++ on a clock it is given.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kelvarid {

inline constexpr std::int64_t kRepeatWindowMs = 60 * 1000;

class RepeatLimit {
public:
    // Whether the entry `key` (its number and what it is about) is written now; false: it is
    // counted instead.
    bool Admit(const std::wstring& key, std::int64_t nowMs);

    struct Held {
        std::wstring key;
        std::uint32_t count;
        bool operator==(const Held&) const = default;
    };
    // The entries whose minute is over with some held back, each once; the count counts as the
    // entry's write for the next minute.
    std::vector<Held> Due(std::int64_t nowMs);

private:
    struct Seen {
        std::int64_t writtenMs;
        std::uint32_t held;
    };
    std::map<std::wstring, Seen> seen_;
};

}  // namespace kelvarid
