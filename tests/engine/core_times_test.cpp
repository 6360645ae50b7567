// Time conversions at their documented boundaries, and the comparison of an existing
// file with an entry (MS-DOS times have two-second steps).
#include <sys/stat.h>
#include <utime.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core_support.h"
#include "engine/engine.h"
#include "engine/state.h"
#include "engine/times.h"

using namespace core_test;

namespace {

int64_t localTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    return int64_t(std::mktime(&fields));
}

uint32_t dosStamp(int year, int month, int day, int hour, int minute, int second) {
    return uint32_t(year - 1980) << 25 | uint32_t(month) << 21 | uint32_t(day) << 16 | uint32_t(hour) << 11 |
           uint32_t(minute) << 5 | uint32_t(second / 2);
}

}  // namespace

TEST(CoreTimes, FileTimeBoundaries) {
    EXPECT_EQ(unixToFileTime(0), 116444736000000000ull);
    int64_t t = -5;
    EXPECT_TRUE(fileTimeToUnix(116444736000000000ull, &t));
    EXPECT_EQ(t, 0);
    EXPECT_FALSE(fileTimeToUnix(116444736000000000ull - 1, &t));
    EXPECT_EQ(t, 0);
    EXPECT_TRUE(fileTimeToUnix(0x0236485ED4A5E980ull, &t));
    EXPECT_EQ(t, 4294967295ll);
    EXPECT_FALSE(fileTimeToUnix(0x0236485ED4A5E981ull, &t));
    EXPECT_EQ(t, 4294967295ll);
    EXPECT_TRUE(localFileTimeToUnix(unixToFileTime(1700000000), &t));
    EXPECT_EQ(t, 1700000000);
}

TEST(CoreTimes, MsDosTimesAreLocalTimes) {
    EXPECT_EQ(dosToUnixTime(0x210000), localTime(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(dosToUnixTime(dosStamp(2024, 5, 9, 12, 30, 58)), localTime(2024, 5, 9, 12, 30, 58));
    // Before 1980 there is nothing to keep: the earliest MS-DOS time stands in.
    EXPECT_EQ(unixToLocalFileTime(localTime(1975, 6, 1, 12, 0, 0), true),
              unixToFileTime(localTime(1980, 1, 1, 0, 0, 0)));
    EXPECT_EQ(unixToLocalFileTime(1700000000, true), unixToFileTime(1700000000));
}

TEST(CoreTimes, ExistingFileAgainstTheEntry) {
    TempDir dir;
    const std::string path = dir.write("existing.txt", "x");
    EngineState* state = createEngineState();
    state->local.dosDateTime = dosStamp(2024, 5, 9, 10, 0, 2);
    auto setModified = [&](int64_t when) {
        utimbuf times{time_t(when), time_t(when)};
        ASSERT_EQ(utime(path.c_str(), &times), 0);
    };
    // 10:00:01 rounds up to 10:00:02: as new as the entry.
    setModified(localTime(2024, 5, 9, 10, 0, 1));
    EXPECT_EQ(newerThanEntry(state, path.c_str()), 1);
    setModified(localTime(2024, 5, 9, 9, 59, 59));
    EXPECT_EQ(newerThanEntry(state, path.c_str()), 0);
    EXPECT_EQ(newerThanEntry(state, dir.file("absent").c_str()), -1);

    // A universal time from the extra field is compared to the second.
    Bytes extra;
    put16(extra, 0x5455);
    put16(extra, 5);
    extra += char(1);
    put32(extra, uint32_t(localTime(2024, 5, 9, 10, 0, 2)));
    state->extraField = static_cast<uint8_t*>(std::malloc(extra.size()));
    std::memcpy(state->extraField, extra.data(), extra.size());
    state->extraFieldLength = unsigned(extra.size());
    setModified(localTime(2024, 5, 9, 10, 0, 1));
    EXPECT_EQ(newerThanEntry(state, path.c_str()), 0);

    FileTimeSet times{};
    std::strcpy(state->entryName, path.c_str());
    EXPECT_EQ(entryFileTimes(state, &times), 1u);
    EXPECT_EQ(times.modification, unixToFileTime(localTime(2024, 5, 9, 10, 0, 2)));

    std::free(state->extraField);
    state->extraField = nullptr;
    EXPECT_EQ(entryFileTimes(state, &times), 3u);
    EXPECT_EQ(times.modification, unixToFileTime(localTime(2024, 5, 9, 10, 0, 2)));
    EXPECT_EQ(times.access, times.modification);

    FileStatus status;
    EXPECT_EQ(fileStatus(state, dir.path.c_str(), &status), 0);
    EXPECT_EQ(status.mode & MODE_TYPE_MASK, MODE_DIRECTORY);
    releaseEngineState(state);
    std::free(state);
}
