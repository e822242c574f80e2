#include "service/repeat_limit.h"

#include <iterator>

namespace kelvarid {

bool RepeatLimit::Admit(const std::wstring& key, std::int64_t nowMs) {
    const auto found = seen_.find(key);
    if (found == seen_.end() || nowMs - found->second.writtenMs >= kRepeatWindowMs) {
        seen_[key] = Seen{nowMs, 0};
        return true;
    }
    ++found->second.held;
    return false;
}

std::vector<RepeatLimit::Held> RepeatLimit::Due(std::int64_t nowMs) {
    std::vector<Held> due;
    for (auto entry = seen_.begin(); entry != seen_.end();) {
        Seen& seen = entry->second;
        if (nowMs - seen.writtenMs < kRepeatWindowMs) {
            ++entry;
            continue;
        }
        if (seen.held == 0) {  // quiet for a minute: forgotten, so that the map stays small
            entry = seen_.erase(entry);
            continue;
        }
        due.push_back({entry->first, seen.held});
        seen = Seen{nowMs, 0};
        ++entry;
    }
    return due;
}

}  // namespace kelvarid
