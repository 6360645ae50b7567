// The byte ranges of an archive already given to an entry (and the central directory),
// so that an entry whose local data overlap them can be refused: overlapping entries
// are how a small archive claims to hold gigabytes with honest sizes.
//
// Ranges that touch, or lie closer than a local header's size (so that no entry can sit
// between them), are merged; entries that follow one another, as in every normal
// archive, keep the list at one range whatever their number.
#pragma once

#include <cstddef>
#include <cstdint>

struct ByteRange {
    int64_t start;  // file offsets, end exclusive
    int64_t end;
};

struct UsedRanges {
    ByteRange* ranges;  // sorted by start, disjoint and further apart than kRangeMergeGap
    size_t count;
    size_t capacity;
};

enum RangeClaim { RANGE_CLAIMED = 0, RANGE_OVERLAPS = 1, RANGE_NO_MEMORY = 2 };

// Records [start, end) as used unless it overlaps a range already used.
RangeClaim claimRange(UsedRanges* used, int64_t start, int64_t end);

// Forgets every range and frees the list.
void releaseRanges(UsedRanges* used);
