// Archive opening: finding the end record from the file's tail, the bytes in front of
// an archive, the central directory's place, the Zip64 records, and what the engine
// says and returns when any of it is missing or wrong.
#include <filesystem>

#include <gtest/gtest.h>

#include "core_support.h"

using namespace core_test;

namespace {

// Entries whose stored data makes the whole archive exactly `total` bytes long.
Bytes archiveOfLength(std::size_t total, const Layout& layout = {}) {
    std::vector<TestEntry> entries = {{"pad.bin", ""}};
    const std::size_t base = buildArchive(entries, layout).size();
    entries[0].data = Bytes(total - base, 'p');
    return buildArchive(entries, layout);
}

}  // namespace

TEST(CoreArchive, EmptyArchiveIsAWarning) {
    TempDir dir;
    const std::string path = dir.write("empty.zip", buildArchive({}));
    ASSERT_EQ(buildArchive({}).size(), 22u);
    EngineRun run = runEngine(path);
    EXPECT_EQ(run.result, RC_WARNING);
    EXPECT_EQ(run.messages, "warning [" + path + "]:  zipfile is empty\n");
}

TEST(CoreArchive, EndRecordSearchCoversTheLongestCommentOnly) {
    TempDir dir;
    Layout longComment;
    longComment.comment = Bytes(65535, 'c');
    const std::string found = dir.write("comment.zip", buildArchive(someEntries(), longComment));
    EngineRun run = runEngine(found, detailedReport);
    EXPECT_EQ(run.result, RC_OK) << run.messages;
    EXPECT_EQ(run.reported, (std::vector<std::string>{"readme.txt", "dir/data.bin"}));

    Layout farTrailer;
    farTrailer.trailer = Bytes(80000 - 22, 't');
    const std::string lost = dir.write("far.zip", buildArchive(someEntries(), farTrailer));
    run = runEngine(lost);
    EXPECT_EQ(run.result, RC_NOARCHIVE);
    EXPECT_TRUE(contains(run.messages, "  End-of-central-directory signature not found.  Either this file is not\n"));
    EXPECT_TRUE(contains(run.messages, "quenzip:  cannot find zipfile directory in " + lost +
                                           ",\n        and cannot find " + lost + ".zip, period.\n"));
}

TEST(CoreArchive, FilesAroundOneBlockAreScannedWhole) {
    TempDir dir;
    for (std::size_t length : {std::size_t(8192), std::size_t(8193), std::size_t(8191), std::size_t(8214)}) {
        const Bytes bytes = archiveOfLength(length);
        ASSERT_EQ(bytes.size(), length);
        const std::string path = dir.write("block.zip", bytes);
        EngineRun run = runEngine(path, detailedReport);
        EXPECT_EQ(run.result, RC_OK) << length << "\n" << run.messages;
        EXPECT_EQ(run.reported, std::vector<std::string>{"pad.bin"}) << length;
    }
}

TEST(CoreArchive, SignatureSplitAcrossBlocksIsFound) {
    TempDir dir;
    // The end record starts 2 bytes before a block boundary; in the second file a
    // comment puts two more blocks after it, so the split lies between two full blocks.
    for (std::size_t commentLength : {std::size_t(0), std::size_t(10000)}) {
        Layout layout;
        layout.comment = Bytes(commentLength, 'c');
        const Bytes bytes = archiveOfLength(8190 + 22 + commentLength, layout);
        ASSERT_EQ(bytes.substr(8190, 4), Bytes("PK\x05\x06"));
        const std::string path = dir.write("split.zip", bytes);
        EngineRun run = runEngine(path, detailedReport);
        EXPECT_EQ(run.result, RC_OK) << run.messages;
        EXPECT_EQ(run.reported, std::vector<std::string>{"pad.bin"});
    }
}

TEST(CoreArchive, PlainExecutableGetsTheZipSecondChance) {
    TempDir dir;
    const std::string path = dir.write("setup.exe", Bytes(20000, 'M'));
    std::filesystem::permissions(path, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    EngineRun run = runEngine(path);
    EXPECT_EQ(run.result, RC_NOARCHIVE);
    const std::string notFound =
        "  End-of-central-directory signature not found.  Either this file is not\n"
        "  a zipfile, or it constitutes one disk of a multi-part archive.  In the\n"
        "  latter case the central directory and zipfile comment will be found on\n"
        "  the last disk(s) of this archive.\n";
    EXPECT_EQ(run.messages, notFound + "note:  " + path + " may be a plain executable, not an archive\n" +
                                "quenzip:  cannot find zipfile directory in " + path + ",\n        and cannot find " +
                                path + ".zip, period.\n");
}

TEST(CoreArchive, MissingArchiveIsReportedWithBothNames) {
    TempDir dir;
    const std::string path = dir.file("nothing-here");
    EngineRun run = runEngine(path);
    EXPECT_EQ(run.result, RC_NOARCHIVE);
    EXPECT_EQ(run.messages, "quenzip:  cannot find either " + path + " or " + path + ".zip.\n");

    // The name without ".zip" is tried first, then the one with it.
    const std::string zipped = dir.write("real.zip", buildArchive(someEntries()));
    run = runEngine(dir.file("real"), detailedReport);
    EXPECT_EQ(run.result, RC_OK) << run.messages;
    EXPECT_EQ(run.reported.size(), 2u);

    run = runEngine(dir.path);
    EXPECT_EQ(run.result, RC_NOARCHIVE);
    EXPECT_EQ(run.messages, "quenzip:  cannot find either " + dir.path + " or " + dir.path + ".zip.\n");
}

TEST(CoreArchive, BytesInFrontAreCountedAndCorrected) {
    TempDir dir;
    Layout stub;
    stub.prefix = Bytes(1801216, 'M');
    const std::string unadjusted = dir.write("unadjusted.exe", buildArchive(someEntries(), stub));
    EngineRun run = runEngine(unadjusted, detailedReport);
    EXPECT_EQ(run.result, RC_WARNING);
    EXPECT_TRUE(contains(run.messages, "warning [" + unadjusted +
                                           "]:  1801216 extra bytes at beginning or within zipfile\n"
                                           "  (attempting to process anyway)\n"))
        << run.messages;
    EXPECT_EQ(run.reported, (std::vector<std::string>{"readme.txt", "dir/data.bin"}));

    stub.adjustOffsets = true;
    const std::string adjusted = dir.write("adjusted.exe", buildArchive(someEntries(), stub));
    run = runEngine(adjusted, detailedReport);
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_FALSE(contains(run.messages, "extra byte")) << run.messages;
    EXPECT_EQ(run.reported.size(), 2u);

    Layout oneShort;
    oneShort.directoryOffsetDelta = -1;
    const std::string one = dir.write("one.zip", buildArchive(someEntries(), oneShort));
    run = runEngine(one, detailedReport);
    EXPECT_EQ(run.result, RC_WARNING);
    EXPECT_TRUE(contains(run.messages, "warning [" + one + "]:  1 extra byte at beginning or within zipfile\n"))
        << run.messages;
    EXPECT_EQ(run.reported.size(), 2u);
}

TEST(CoreArchive, DirectorySizeTooLargeIsCompensated) {
    TempDir dir;
    Layout layout;
    layout.directorySizeDelta = 10;
    const std::string path = dir.write("toolong.zip", buildArchive(someEntries(), layout));
    EngineRun run = runEngine(path, detailedReport);
    EXPECT_EQ(run.result, RC_ERROR);
    EXPECT_TRUE(contains(run.messages, "error [" + path +
                                           "]:  missing 10 bytes in zipfile\n  (attempting to process anyway)\n"));
    EXPECT_TRUE(contains(run.messages, "error [" + path +
                                           "]:  reported length of central directory is\n"
                                           "  10 bytes too long (Atari STZip zipfile?  Tarvik ZIPSPLIT 1.1\n"
                                           "  zipfile?).  Compensating...\n"));
    EXPECT_EQ(run.reported.size(), 2u);
}

TEST(CoreArchive, DirectoryNowhereIsFatal) {
    TempDir dir;
    Layout layout;
    layout.directoryOffsetDelta = 3;
    layout.directorySizeDelta = -3;
    const std::string path = dir.write("lost.zip", buildArchive(someEntries(), layout));
    EngineRun run = runEngine(path, detailedReport);
    EXPECT_EQ(run.result, RC_FATAL);
    EXPECT_TRUE(contains(run.messages, "error [" + path +
                                           "]:  start of central directory not found;\n  zipfile corrupt.\n"
                                           "  Please check"));
    EXPECT_TRUE(run.reported.empty());

    // A size so large that the corrected offset lies before the file start.
    Layout huge;
    huge.directorySizeDelta = 1 << 20;
    const std::string before = dir.write("before.zip", buildArchive(someEntries(), huge));
    run = runEngine(before, detailedReport);
    EXPECT_EQ(run.result, RC_FATAL);
    EXPECT_TRUE(contains(run.messages, "error [" + before +
                                           "]:  attempt to seek before beginning of zipfile\n  Please check"));
}

TEST(CoreArchive, Zip64EndRecordWhereTheLocatorSaysOrJustBeforeIt) {
    TempDir dir;
    Layout zip64;
    zip64.zip64 = true;
    const std::string exact = dir.write("zip64.zip", buildArchive(someEntries(), zip64));
    EngineRun run = runEngine(exact, detailedReport);
    EXPECT_EQ(run.result, RC_OK) << run.messages;
    EXPECT_EQ(run.reported.size(), 2u);
    EXPECT_FALSE(contains(run.messages, "centdir-64"));

    // Bytes in front, offsets (the locator's too) not adjusted: the locator points into
    // the data, and the record is found right before the locator instead.
    zip64.prefix = Bytes(5000, 'M');
    zip64.zip64LocatorRelative = true;
    const std::string shifted = dir.write("zip64-stub.exe", buildArchive(someEntries(), zip64));
    run = runEngine(shifted, detailedReport);
    EXPECT_EQ(run.result, RC_WARNING) << run.messages;
    EXPECT_TRUE(contains(run.messages,
                         "error: End-of-centdir-64 signature not where expected (prepended bytes?)\n"
                         "  (attempting to process anyway)\n"));
    EXPECT_TRUE(contains(run.messages, "5000 extra bytes at beginning"));
    EXPECT_EQ(run.reported.size(), 2u);
}

TEST(CoreArchive, DamagedZip64RecordsAreReported) {
    TempDir dir;
    Layout zip64;
    zip64.zip64 = true;
    Bytes bytes = buildArchive(someEntries(), zip64);
    // Spoil the Zip64 end record's signature: neither place holds one now.
    const std::size_t record = bytes.size() - 22 - 20 - 56;
    ASSERT_EQ(bytes.substr(record, 4), Bytes("PK\x06\x06"));
    bytes[record + 3] = 9;
    EngineRun run = runEngine(dir.write("bad64.zip", bytes), detailedReport);
    EXPECT_EQ(run.result, RC_NOARCHIVE);
    EXPECT_TRUE(contains(run.messages, "fatal error: read failure while seeking for End-of-centdir-64 signature.\n"
                                       "  This zipfile is corrupt.\n"));

    // A directory offset near the top of the 64-bit range must not overflow the
    // arithmetic of the correction.
    bytes = buildArchive(someEntries(), zip64);
    for (int i = 0; i < 8; ++i) bytes[record + 48 + i] = char(i == 7 ? 0x7F : 0xFF);
    run = runEngine(dir.write("huge64.zip", bytes), detailedReport);
    EXPECT_EQ(run.result, RC_ERROR);
    EXPECT_TRUE(contains(run.messages, "bytes in zipfile\n")) << run.messages;
}

TEST(CoreArchive, CommentIsShownAndItsLengthReported) {
    TempDir dir;
    Layout layout;
    layout.comment = "line one\r\nline two";
    const std::string path = dir.write("commented.zip", buildArchive(someEntries(), layout));
    uint16_t seenLength = 0;
    EngineRun run = runEngine(path, [&](UnzipOptions& o, UnzipCallbacks&) { o.showComment = 1; });
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_EQ(run.messages, "line one\nline two\n\n");

    UnzipOptions options = defaultOptions(path);
    options.showComment = 1;
    UnzipCallbacks callbacks = defaultCallbacks();
    EngineRun quiet;
    detail::current = &quiet;
    Qz_SingleEntryUnzip(0, nullptr, 0, nullptr, &options, &callbacks);
    detail::current = nullptr;
    seenLength = callbacks.commentLength;
    EXPECT_EQ(seenLength, layout.comment.size());

    // A comment that claims more bytes than the file holds.
    Bytes cut = buildArchive(someEntries(), layout);
    cut.resize(cut.size() - 5);
    run = runEngine(dir.write("cut.zip", cut), [&](UnzipOptions& o, UnzipCallbacks&) { o.showComment = 1; });
    EXPECT_EQ(run.result, RC_WARNING);
    EXPECT_TRUE(contains(run.messages, "\ncaution:  zipfile comment truncated\n"));
}

// A launcher saved as "setup[1].exe" must open itself, not "setup1.exe" beside it;
// a name that does not exist as given is still expanded as a pattern.
TEST(CoreArchive, ExistingNameIsNotExpandedAsAPattern) {
    TempDir dir;
    const std::string own = dir.write("setup[1].exe", buildArchive({{"own.txt", "mine"}}));
    dir.write("setup1.exe", buildArchive({{"other.txt", "not mine"}}));
    EngineRun run = runEngine(own, detailedReport);
    EXPECT_EQ(run.result, RC_OK) << run.messages;
    EXPECT_EQ(run.reported, std::vector<std::string>{"own.txt"});

    run = runEngine(dir.file("setup[12].exe"), detailedReport);
    EXPECT_EQ(run.result, RC_OK) << run.messages;
    EXPECT_EQ(run.reported, std::vector<std::string>{"other.txt"});
}

TEST(CoreArchive, WildcardNamesProcessEveryMatchWithASummary) {
    TempDir dir;
    dir.write("a.zip", buildArchive({{"a.txt", "a"}}));
    dir.write("b.zip", buildArchive({{"b.txt", "b"}}));
    dir.write("c.zip", Bytes(100, 'x'));
    EngineRun run = runEngine(dir.file("*.zip"), detailedReport);
    EXPECT_EQ(run.result, RC_NOARCHIVE);
    EXPECT_EQ(run.reported, (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_TRUE(contains(run.messages, "2 archives were successfully processed.\n"));
    EXPECT_TRUE(contains(run.messages, "1 file had no zipfile directory.\n"));

    run = runEngine(dir.file("*.none"));
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_EQ(run.messages, "quenzip:  cannot find any matches for wildcard specification \"" +
                                dir.file("*.none") + "\".\n\nNo zipfiles found.\n");
}
