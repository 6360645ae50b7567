// Listing mode: the thirteen values reported per entry, the totals, the date order.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstring>

#include "driver_support.h"
#include "engine/listing.h"

using namespace driver_test;

namespace {

struct Listed {
    uint64_t size, compressed;
    unsigned ratio;
    int date1, date2, date3, hour, minute;
    char caseMark;
    std::string name, method;
    uint32_t crc;
    char encrypted;
};
std::vector<Listed> listed;

void collect(uint64_t size, uint64_t compressed, unsigned ratio, int d1, int d2, int d3, int hour,
             int minute, char caseMark, const char* name, const char* method, uint32_t crc,
             char encrypted) {
    listed.push_back({size, compressed, ratio, d1, d2, d3, hour, minute, caseMark, name, method,
                      crc, encrypted});
}

void collect32(uint32_t sizeLow, uint32_t sizeHigh, uint32_t compressedLow, uint32_t compressedHigh,
               unsigned ratio, int d1, int d2, int d3, int hour, int minute, char caseMark,
               const char* name, const char* method, uint32_t crc, char encrypted) {
    collect(sizeLow | (uint64_t(sizeHigh) << 32), compressedLow | (uint64_t(compressedHigh) << 32),
            ratio, d1, d2, d3, hour, minute, caseMark, name, method, crc, encrypted);
}

EngineRun list(const std::string& archive, bool narrow = false) {
    listed.clear();
    return core_test::runEngine(archive, [narrow](UnzipOptions& o, UnzipCallbacks& c) {
        o.listMode = 1;
        if (narrow)
            c.listEntry32 = collect32;
        else
            c.listEntry = collect;
    });
}

}  // namespace

TEST(DriverListing, CompressionRatioInPerMille) {
    EXPECT_EQ(compressionRatio(1000, 250), 750);
    EXPECT_EQ(compressionRatio(100, 110), -100);
    EXPECT_EQ(compressionRatio(0, 0), 0);
    EXPECT_EQ(compressionRatio(3000000, 1000000), 667);
    EXPECT_EQ(compressionRatio(3000000, 4500000), -500);
    EXPECT_EQ(compressionRatio(0xFFFFFFFFFFull, 1), 1000);
    // Claims far apart: capped at the 32-bit limit, never negated past it.
    EXPECT_EQ(compressionRatio(1, 268435457), -INT32_MAX);
    EXPECT_EQ(compressionRatio(1, UINT64_MAX), -INT32_MAX);
    EXPECT_EQ(compressionRatio(3000000, UINT64_MAX), -INT32_MAX);
}

TEST(DriverListing, ValuesOfEachEntry) {
    Workspace w;
    TestEntry stored{"stored.txt", Bytes(1000, 's')};
    TestEntry deflated{"packed.bin", Bytes(250, 'p')};  // listed by its headers only
    deflated.method = 8;
    deflated.flags = 4;  // option bits 2: "F"
    deflated.uncompressed = Bytes(1000, 'u');
    TestEntry encrypted{"secret", Bytes(112, 'e')};
    encrypted.flags = 1;
    encrypted.uncompressed = Bytes(100, 'c');
    encrypted.method = 8;
    TestEntry bzip2{"b.bz", "b"};
    bzip2.method = 12;
    TestEntry unknown{"u", "u"};
    unknown.method = 99;
    TestEntry stamped{"stamped", "t"};
    Bytes time(1, '\x01');
    put32(time, 1700000000);
    stamped.centralExtra = core_test::extraBlock(0x5455, time);
    stamped.dosDateTime = (uint32_t(2017 - 1980) << 25) | (4u << 21) | (25u << 16) | (10u << 11) | (30u << 5);
    TestEntry control{"a\x01z", "x"};
    w.write(buildArchive({stored, deflated, encrypted, bzip2, unknown, stamped, control}));

    EngineRun run = list(w.archive);
    EXPECT_EQ(run.result, RC_OK) << run.messages;
    ASSERT_EQ(listed.size(), 7u);
    EXPECT_EQ(listed[0].method, "Stored");
    EXPECT_EQ(listed[0].ratio, 0u);
    EXPECT_EQ(listed[1].method, "Defl:F");
    EXPECT_EQ(listed[1].ratio, 75u);
    EXPECT_EQ(listed[1].crc, crc32Of(Bytes(1000, 'u')));
    EXPECT_EQ(listed[2].compressed, 100u);
    EXPECT_EQ(listed[2].ratio, 0u);
    EXPECT_EQ(listed[2].encrypted, 'E');
    EXPECT_EQ(listed[3].method, "BZip2");
    EXPECT_EQ(listed[4].method, "Unk:099");
    EXPECT_EQ(listed[6].name, "a^Az");
    EXPECT_EQ(listed[6].date3, 2024);  // not the time block of the entry before it
    EXPECT_EQ(listed[0].caseMark, ' ');
    EXPECT_EQ(listed[0].encrypted, ' ');
    // Month-day-year unless the user's locale says otherwise (tests run in C).
    time_t stampedAt = 1700000000;  // the time block wins over the DOS stamp
    std::tm local = *std::localtime(&stampedAt);
    EXPECT_EQ((std::vector<int>{listed[5].date1, listed[5].date2, listed[5].date3,
                                listed[5].hour, listed[5].minute}),
              (std::vector<int>{local.tm_mon + 1, local.tm_mday, local.tm_year + 1900,
                                local.tm_hour, local.tm_min}));
    EXPECT_EQ(listed[0].date3, 2024);
    EXPECT_EQ(listed[0].hour, 12);

    // The narrow callback gets the same values.
    list(w.archive, true);
    ASSERT_EQ(listed.size(), 7u);
    EXPECT_EQ(listed[1].size, 1000u);
    EXPECT_EQ(listed[2].compressed, 100u);
}

#ifndef _WIN32  // the user's date order comes from the regional settings there
TEST(DriverListing, DayMonthYearFromTheUserLocale) {
    // A German locale of our own, compiled into the workspace.
    Workspace w;
    if (!core_test::runCommand("localedef -i de_DE -f UTF-8 " + w.dir.file("de_DE.UTF-8") +
                               " >/dev/null 2>&1"))
        GTEST_SKIP() << "cannot compile a German locale";
    TestEntry entry{"e", "e"};
    entry.dosDateTime = (uint32_t(2017 - 1980) << 25) | (4u << 21) | (25u << 16) | (10u << 11) | (30u << 5);
    w.write(buildArchive({entry}));
    // The C library keeps what it reads through LOCPATH for the life of the process, so
    // the listing runs in a child that hands its five numbers back through a pipe.
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("LOCPATH", w.dir.path.c_str(), 1);
        setenv("LC_ALL", "de_DE.UTF-8", 1);
        list(w.archive);
        int values[5] = {};
        if (listed.size() == 1) {
            const Listed& e = listed[0];
            int found[5] = {e.date1, e.date2, e.date3, e.hour, e.minute};
            std::memcpy(values, found, sizeof values);
        }
        ssize_t written = write(channel[1], values, sizeof values);
        _exit(written == ssize_t(sizeof values) ? 0 : 1);
    }
    close(channel[1]);
    int values[5] = {};
    ssize_t got = read(channel[0], values, sizeof values);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(got, ssize_t(sizeof values));
    EXPECT_EQ(std::vector<int>(values, values + 5), (std::vector<int>{25, 4, 2017, 10, 30}));
}
#endif

TEST(DriverListing, TotalsOnlyWhenTheWalkEndsNormally) {
    Workspace w;
    w.write(buildArchive({{"a", Bytes(100, 'a')}, {"b", Bytes(300, 'b')}}));
    UnzipOptions options = core_test::defaultOptions(w.archive);
    options.listMode = 1;
    UnzipCallbacks callbacks = core_test::defaultCallbacks();
    callbacks.printText = [](const char*, uint32_t length) { return int(length); };
    callbacks.listEntry = collect;
    listed.clear();
    EXPECT_EQ(Qz_SingleEntryUnzip(0, nullptr, 0, nullptr, &options, &callbacks), RC_OK);
    EXPECT_EQ(callbacks.entryCount, 2u);
    EXPECT_EQ(callbacks.sumUncompressed, 400u);
    EXPECT_EQ(callbacks.sumCompressed, 400u);
    EXPECT_EQ(callbacks.ratioPercent, 0u);

    // An include pattern that matches nothing: no entry, totals of zero.
    std::string pattern = "nothing*";
    char* includes[] = {pattern.data()};
    callbacks.entryCount = 77;
    EXPECT_EQ(Qz_SingleEntryUnzip(1, includes, 0, nullptr, &options, &callbacks), RC_NOMATCH);
    EXPECT_EQ(callbacks.entryCount, 0u);

    // A directory shorter than its count: an error, and the totals stay untouched.
    Workspace shortOne;
    Layout layout;
    layout.countOverride = 3;
    shortOne.write(buildArchive({{"a", "a"}, {"b", "b"}}, layout));
    options.archivePath = shortOne.archive.c_str();
    callbacks.entryCount = 77;
    EXPECT_EQ(Qz_SingleEntryUnzip(0, nullptr, 0, nullptr, &options, &callbacks), RC_FATAL);
    EXPECT_EQ(callbacks.entryCount, 77u);
}
