// Used byte ranges. See used_ranges.h.
#include "engine/used_ranges.h"

#include <cstdlib>
#include <cstring>

namespace {

// A local header takes at least 30 bytes: a gap smaller than that holds no entry.
constexpr int64_t kRangeMergeGap = 30;
constexpr size_t kFirstCapacity = 16;

// Index of the first range that ends after `start` (the only one that can overlap a
// range beginning there), or count.
size_t firstEndingAfter(const UsedRanges* used, int64_t start) {
    size_t low = 0, high = used->count;
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        if (used->ranges[middle].end <= start)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

} // namespace

RangeClaim claimRange(UsedRanges* used, int64_t start, int64_t end) {
    size_t at = firstEndingAfter(used, start);
    if (at < used->count && used->ranges[at].start < end) return RANGE_OVERLAPS;

    bool joinsBefore = at > 0 && start - used->ranges[at - 1].end < kRangeMergeGap;
    bool joinsAfter = at < used->count && used->ranges[at].start - end < kRangeMergeGap;
    if (joinsBefore && joinsAfter) {
        used->ranges[at - 1].end = used->ranges[at].end;
        std::memmove(used->ranges + at, used->ranges + at + 1,
                     (used->count - at - 1) * sizeof(ByteRange));
        --used->count;
        return RANGE_CLAIMED;
    }
    if (joinsBefore) {
        used->ranges[at - 1].end = end;
        return RANGE_CLAIMED;
    }
    if (joinsAfter) {
        used->ranges[at].start = start;
        return RANGE_CLAIMED;
    }
    if (used->count == used->capacity) {
        size_t capacity = used->capacity == 0 ? kFirstCapacity : used->capacity * 2;
        void* grown = std::realloc(used->ranges, capacity * sizeof(ByteRange));
        if (grown == nullptr) return RANGE_NO_MEMORY;
        used->ranges = static_cast<ByteRange*>(grown);
        used->capacity = capacity;
    }
    std::memmove(used->ranges + at + 1, used->ranges + at, (used->count - at) * sizeof(ByteRange));
    used->ranges[at] = ByteRange{start, end};
    ++used->count;
    return RANGE_CLAIMED;
}

void releaseRanges(UsedRanges* used) {
    std::free(used->ranges);
    *used = UsedRanges{};
}
