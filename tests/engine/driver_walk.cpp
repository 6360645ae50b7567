// The directory walk: blocks of entries, entry selection and skips, local headers that
// disagree with the central directory, deferred directory times, the test summary and
// the call's result.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "driver_support.h"

using namespace driver_test;

namespace {

std::vector<TestEntry> numbered(size_t count) {
    std::vector<TestEntry> entries(count);
    for (size_t i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05zu", i + 1);
        entries[i].name = name;
        entries[i].data = name;
    }
    return entries;
}

// Spoils the local header signature of the entry that starts at `offset`.
void spoilLocalHeader(Bytes& archive, size_t offset) { archive[offset] = 'X'; }

// Offset of the local header of entry `index` (0-based) in a buildRaw archive of
// numbered entries: each is 30 + 6 + 6 bytes.
size_t numberedOffset(size_t index) { return index * (30 + 6 + 6); }

auto testOnly = [](UnzipOptions& o, UnzipCallbacks&) { o.testOnly = 1; };

int64_t modificationTime(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? int64_t(status.st_mtime) : -1;
}

Bytes extendedTime(uint32_t when) {
    Bytes data(1, '\x01');
    put32(data, when);
    return core_test::extraBlock(0x5455, data);
}

}  // namespace

TEST(DriverWalk, FortyThousandEntriesInThreeBlocksKeepCounting) {
    Workspace w;
    Bytes archive = buildArchive(numbered(40000));
    spoilLocalHeader(archive, numberedOffset(16384));  // first entry of the second block
    spoilLocalHeader(archive, numberedOffset(39999));  // the last one
    w.write(archive);
    EngineRun run = core_test::runEngine(w.archive, testOnly);
    EXPECT_EQ(run.result, RC_ERROR);
    EXPECT_TRUE(contains(run.messages, "file #16385:  bad zipfile offset (local header sig):  " +
                                           std::to_string(numberedOffset(16384)) + "\n"));
    EXPECT_TRUE(contains(run.messages, "file #40000:  bad zipfile offset (local header sig):  " +
                                           std::to_string(numberedOffset(39999)) + "\n"));
    EXPECT_EQ(run.reported.size(), 39998u);
    EXPECT_EQ(run.reported.back(), "f39999");
    EXPECT_TRUE(contains(run.messages, "At least one error was detected in " + w.archive + ".\n"));
}

TEST(DriverWalk, SixtyFiveThousandFiveHundredThirtySixEntriesWithoutZip64) {
    Workspace w;
    w.write(buildArchive(numbered(65536)));  // the end record's 16-bit count reads 0
    EngineRun run = core_test::runEngine(w.archive, testOnly);
    EXPECT_EQ(run.result, RC_OK) << run.messages.substr(0, 400);
    EXPECT_EQ(run.reported.size(), 65536u);
    EXPECT_TRUE(contains(run.messages, "No errors detected in compressed data of " + w.archive + ".\n"));
}

TEST(DriverWalk, DirectoryShorterThanItsCount) {
    Workspace w;
    Layout layout;
    layout.countOverride = 4;
    w.write(buildArchive(numbered(3), layout));
    EngineRun run = w.extract();
    EXPECT_EQ(run.result, RC_FATAL);
    EXPECT_TRUE(contains(run.messages,
                         "error:  expected central file header signature not found (file #4).\n"));
    EXPECT_EQ(tree(w.target), (std::vector<std::string>{"f00001", "f00002", "f00003"}));
}

TEST(DriverWalk, SelectionByPatterns) {
    Workspace w;
    w.write(buildArchive({{"sfx.ini", "[autorun]\n"}, {"Disk1/setup.jar", "jar"}, {"Disk1/a.txt", "a"}}));
    EngineRun run = w.extract({}, {"sfx.ini"});
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_EQ(tree(w.target), (std::vector<std::string>{"sfx.ini"}));

    Workspace missing;
    missing.write(buildArchive({{"Disk1/a.txt", "a"}}));
    run = missing.extract({}, {"sfx.ini"});
    EXPECT_EQ(run.result, RC_NOMATCH);
    EXPECT_TRUE(contains(run.messages, "caution: filename not matched:  sfx.ini\n"));

    Workspace both;
    both.write(buildArchive({{"a.txt", "a"}, {"b.txt", "b"}, {"c.bin", "c"}}));
    run = both.extract({}, {"*.txt", "none*"}, {"b*", "zz"});
    EXPECT_EQ(run.result, RC_NOMATCH);
    EXPECT_EQ(tree(both.target), (std::vector<std::string>{"a.txt"}));
    EXPECT_TRUE(contains(run.messages, "caution: filename not matched:  none*\n"));
    EXPECT_TRUE(contains(run.messages, "caution: excluded filename not matched:  zz\n"));
}

TEST(DriverWalk, EntriesTheEngineCannotHandleAreSkipped) {
    Workspace bzip2;
    std::vector<TestEntry> entries = numbered(2);
    for (auto& e : entries) e.method = 12;
    bzip2.write(buildArchive(entries));
    EngineRun run = bzip2.extract();
    EXPECT_EQ(run.result, RC_UNSUPPORTED);
    EXPECT_TRUE(contains(run.messages, "   skipping: f00001                  `bzip2' method not supported\n"));

    Workspace mixed;
    entries = numbered(3);
    entries[0].neededVersion = 46;
    entries[1].method = 99;
    mixed.write(buildArchive(entries));
    run = core_test::runEngine(mixed.archive, testOnly);
    EXPECT_EQ(run.result, RC_UNSUPPORTED);
    EXPECT_TRUE(contains(run.messages, "   skipping: f00001                  need PK compat. v4.6 (can do v4.5)\n"));
    EXPECT_TRUE(contains(run.messages, "   skipping: f00002                  unsupported compression method 99\n"));
    EXPECT_TRUE(contains(run.messages, "No errors detected in " + mixed.archive + " for the 1 file tested.\n"));
    EXPECT_TRUE(contains(run.messages, "2 files skipped because of unsupported compression or encoding.\n"));

    // Quiet: no skip messages, same result.
    run = core_test::runEngine(bzip2.archive, [](UnzipOptions& o, UnzipCallbacks&) { o.quietLevel = 1; });
    EXPECT_EQ(run.result, RC_UNSUPPORTED);
    EXPECT_FALSE(contains(run.messages, "skipping"));
}

TEST(DriverWalk, VmsEntriesAreAskedAboutThroughTheCallback) {
    // Yes to the first, no to the second: the engine reads no input of its own.
    static int asked;
    asked = 0;
    Workspace w;
    std::vector<TestEntry> entries = numbered(2);
    for (auto& e : entries) e.neededHost = 2;
    w.write(buildArchive(entries));
    EngineRun run = core_test::runEngine(w.archive, [&](UnzipOptions& o, UnzipCallbacks& c) {
        o.targetDirectory = w.target.c_str();
        c.askReplace = [](char*, int) { return ++asked == 1 ? int(REPLACE_YES) : int(REPLACE_NO); };
    });
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(run.result, RC_UNSUPPORTED);
    EXPECT_TRUE(contains(run.messages, "f00001:  stored in VMS format.  Extract anyway? (y/n) "));
    EXPECT_EQ(tree(w.target), std::vector<std::string>{"f00001"});
}

TEST(DriverWalk, LocalHeadersThatDisagreeLoseToTheCentralDirectory) {
    Workspace w;
    std::vector<TestEntry> entries = numbered(3);
    entries[0].localName = "other1";
    entries[1].localUncompressed = 99;  // a stored entry whose sizes differ
    entries[2].flags = 0x0800;          // UTF-8 in the central header only...
    w.write(buildArchive(entries));
    Bytes archive = *readFile(w.archive);
    archive[numberedOffset(2) + 7] = 0;  // ...cleared in its local header
    w.write(archive);
    EngineRun run = w.extract();
    EXPECT_EQ(run.result, RC_WARNING);
    EXPECT_TRUE(contains(run.messages, "f00001:  mismatching \"local\" filename (other1),\n"));
    EXPECT_TRUE(contains(run.messages, "ucsize 99 <> csize 6 for STORED entry\n"));
    EXPECT_TRUE(contains(run.messages, "mismatch between local and central GPF bit 11 (\"UTF-8\"),\n"
                                       "         continuing with central flag (IsUTF8 = 1)\n"));
    EXPECT_EQ(tree(w.target), (std::vector<std::string>{"f00001", "f00002", "f00003"}));
    EXPECT_EQ(readFile(w.out("f00002")), "f00002");
}

TEST(DriverWalk, FirstEntryFoundWithoutTheCorrection) {
    // Local offsets count from the file start, the directory offset from the archive
    // start: the correction fits the directory but not the entries.
    TempDir dir;
    core_test::Layout layout;
    layout.prefix = Bytes(5000, 'M');
    layout.adjustOffsets = true;
    layout.directoryOffsetDelta = -5000;
    layout.trailer = Bytes(6000, 'T');  // so that the wrong offset still lies in the file
    std::string archive = dir.write("sfx.bin", core_test::buildArchive(core_test::someEntries(), layout));
    EngineRun run = core_test::runEngine(archive, testOnly);
    EXPECT_EQ(run.result, RC_ERROR);
    EXPECT_TRUE(contains(run.messages, "  (attempting to re-compensate)\n"));
    EXPECT_EQ(run.reported, (std::vector<std::string>{"readme.txt", "dir/data.bin"}));
}

TEST(DriverWalk, DirectoryTimesAreAppliedDeepestFirstAfterTheFiles) {
    Workspace w;
    std::vector<TestEntry> entries = {{"x/", ""}, {"x/y/", ""}, {"x/y/f.txt", "f"}, {"x/g.txt", "g"}};
    entries[0].localExtra = extendedTime(1000000000);
    entries[1].localExtra = extendedTime(1100000000);
    entries[2].localExtra = extendedTime(1200000000);
    w.write(buildArchive(entries));
    EXPECT_EQ(w.extract().result, RC_OK);
    EXPECT_EQ(modificationTime(w.out("x")), 1000000000);
    EXPECT_EQ(modificationTime(w.out("x/y")), 1100000000);
    EXPECT_EQ(modificationTime(w.out("x/y/f.txt")), 1200000000);
    // The entry after one with a time block has none: it keeps its own DOS time.
    std::tm dos{};
    dos.tm_year = 124, dos.tm_mon = 4, dos.tm_mday = 9, dos.tm_hour = 12, dos.tm_isdst = -1;
    EXPECT_EQ(modificationTime(w.out("x/g.txt")), int64_t(mktime(&dos)));

    // Times on files only, or on nothing.
    Workspace filesOnly;
    filesOnly.write(buildArchive(entries));
    filesOnly.extract([](UnzipOptions& o, UnzipCallbacks&) { o.timestampMode = 1; });
    EXPECT_NE(modificationTime(filesOnly.out("x")), 1000000000);
    EXPECT_EQ(modificationTime(filesOnly.out("x/y/f.txt")), 1200000000);
    Workspace none;
    none.write(buildArchive(entries));
    none.extract([](UnzipOptions& o, UnzipCallbacks&) { o.timestampMode = 2; });
    EXPECT_NE(modificationTime(none.out("x/y/f.txt")), 1200000000);
}

TEST(DriverWalk, CallerStopsTheRunAfterTheFirstEntry) {
    Workspace w;
    w.write(buildArchive(numbered(3)));
    EngineRun run = w.extract([](UnzipOptions&, UnzipCallbacks& c) {
        c.entryDone = [](const char*, uint64_t) { return 1; };
    });
    EXPECT_EQ(run.result, RC_ABORT);
    EXPECT_EQ(tree(w.target), (std::vector<std::string>{"f00001"}));
}
