// Record and header-field rules where a wrong offset or width would go unnoticed on
// ordinary archives: Zip64 values in their fixed order, the Unicode path block, the
// time blocks and their precedence, long names, code pages and printable names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "core_support.h"
#include "engine/engine.h"
#include "engine/fields.h"
#include "engine/messages.h"
#include "engine/records.h"
#include "engine/state.h"

using namespace core_test;

namespace {

// A bare engine state for calling record operations directly.
struct BareState {
    EngineState* state;
    UnzipCallbacks callbacks = defaultCallbacks();
    EngineRun run;
    BareState() {
        state = createEngineState();
        bindCallbacks(state, &callbacks);
        detail::current = &run;
        detail::insideCall = true;
    }
    ~BareState() {
        detail::insideCall = false;
        detail::current = nullptr;
        releaseEngineState(state);
        std::free(state);
    }
    BareState(const BareState&) = delete;
    BareState& operator=(const BareState&) = delete;
    void apply(const Bytes& extra) {
        applyZip64Extra(state, reinterpret_cast<const uint8_t*>(extra.data()), unsigned(extra.size()));
    }
};

Bytes le64(uint64_t v) {
    Bytes b;
    put64(b, v);
    return b;
}
Bytes le32(uint32_t v) {
    Bytes b;
    put32(b, v);
    return b;
}

unsigned scan(const Bytes& extra, bool central, uint32_t dos, EntryTimes* times) {
    return scanTimeFields(reinterpret_cast<const uint8_t*>(extra.data()), unsigned(extra.size()), central,
                          dos, times);
}

}  // namespace

TEST(CoreRecords, Zip64ValuesComeInTheirFixedOrder) {
    BareState s;
    CentralHeader& c = s.state->central;
    // Only the compressed size is marked: it is the first value of the block.
    c.uncompressedSize = 100;
    c.compressedSize = ZIP64_MARK32;
    c.localOffset = 7;
    c.diskStart = 0;
    s.apply(extraBlock(EXTRA_ZIP64, le64(0x123456789ull) + le64(0xAAAA)));
    EXPECT_EQ(c.compressedSize, 0x123456789ull);
    EXPECT_EQ(s.state->local.compressedSize, 0x123456789ull);
    EXPECT_EQ(s.state->compressedLeft, 0x123456789ll);
    EXPECT_EQ(c.uncompressedSize, 100u);
    EXPECT_EQ(c.localOffset, 7u);

    // Everything marked: uncompressed, compressed, offset, disk, in that order.
    c = CentralHeader{};
    s.state->local = LocalHeader{};
    c.uncompressedSize = c.compressedSize = c.localOffset = ZIP64_MARK32;
    c.diskStart = ZIP64_MARK16;
    s.apply(extraBlock(0x9999, "junk") + extraBlock(EXTRA_ZIP64, le64(1) + le64(2) + le64(3) + le32(4)));
    EXPECT_EQ(c.uncompressedSize, 1u);
    EXPECT_EQ(c.compressedSize, 2u);
    EXPECT_EQ(c.localOffset, 3u);
    EXPECT_EQ(c.diskStart, 4u);

    // Nothing marked: a block with data changes nothing.
    c = CentralHeader{};
    c.uncompressedSize = 5;
    s.apply(extraBlock(EXTRA_ZIP64, le64(99)));
    EXPECT_EQ(c.uncompressedSize, 5u);

    // Blocks too short for what they must supply, a field of 3 bytes, and a block that
    // claims more than the field holds, are not read past their end.
    c = CentralHeader{};
    c.uncompressedSize = c.compressedSize = ZIP64_MARK32;
    s.apply(extraBlock(EXTRA_ZIP64, le64(11) + "abc"));
    EXPECT_EQ(c.uncompressedSize, 11u);
    EXPECT_EQ(c.compressedSize, ZIP64_MARK32);
    s.apply(Bytes("\x01\x00\x08", 3));
    Bytes overlong = extraBlock(EXTRA_ZIP64, le64(12));
    overlong[2] = 9;
    s.apply(overlong);
    EXPECT_EQ(c.compressedSize, ZIP64_MARK32);
}

TEST(CoreRecords, UnicodePathBlockIsCheckedBeforeItIsUsed) {
    TempDir dir;
    const std::string stored = "caf\x82.txt";  // as an old Windows tool would store it
    const std::string utf8 = "caf\xC3\xA9.txt";
    auto unicodeBlock = [&](uint8_t version, uint32_t crc) {
        Bytes data(1, char(version));
        put32(data, crc);
        return extraBlock(EXTRA_UNICODE_PATH, data + utf8);
    };
    auto entryWith = [&](const Bytes& extra) {
        TestEntry e{stored, "x"};
        e.centralExtra = extra;
        return std::vector<TestEntry>{e};
    };

    EngineRun run = runEngine(dir.write("good.zip", buildArchive(entryWith(unicodeBlock(1, crc32Of(stored))))),
                              detailedReport);
    EXPECT_EQ(run.result, RC_OK) << run.messages;
#ifdef _WIN32
    EXPECT_EQ(run.reported, std::vector<std::string>{"caf\xE9.txt"});
#else
    EXPECT_EQ(run.reported, std::vector<std::string>{utf8});
#endif

    run = runEngine(dir.write("v2.zip", buildArchive(entryWith(unicodeBlock(2, crc32Of(stored))))),
                    detailedReport);
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_TRUE(contains(run.messages, "\nwarning:  Unicode Path version > 1\n"));
    EXPECT_EQ(run.reported, std::vector<std::string>{stored});

    run = runEngine(dir.write("crc.zip", buildArchive(entryWith(unicodeBlock(1, crc32Of("other name"))))),
                    detailedReport);
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_TRUE(contains(run.messages, "\nwarning:  Unicode Path checksum invalid\n"));
    EXPECT_EQ(run.reported, std::vector<std::string>{stored});

    // Ignored altogether in the mode that ignores UTF-8 names.
    run = runEngine(dir.file("good.zip"), [](UnzipOptions& o, UnzipCallbacks& c) {
        detailedReport(o, c);
        o.unicodeMode = 2;
    });
    EXPECT_EQ(run.reported, std::vector<std::string>{stored});
}

TEST(CoreRecords, ExtendedTimeBlockPerField) {
    EntryTimes t{};
    Bytes allThree = Bytes(1, char(7)) + le32(1000) + le32(2000) + le32(3000);
    // A local block with all three times gives all three.
    EXPECT_EQ(scan(extraBlock(EXTRA_EXTENDED_TIME, allThree), false, 0, &t), 7u);
    EXPECT_EQ(t.modification, 1000);
    EXPECT_EQ(t.access, 2000);
    EXPECT_EQ(t.creation, 3000);
    // The central block holds the modification time only, whatever its flags say.
    t = EntryTimes{};
    EXPECT_EQ(scan(extraBlock(EXTRA_EXTENDED_TIME, Bytes(1, char(7)) + le32(1000)), true, 0, &t), 1u);
    EXPECT_EQ(t.modification, 1000);
    // A local block whose access time is cut short keeps only what lies inside it.
    EXPECT_EQ(scan(extraBlock(EXTRA_EXTENDED_TIME, Bytes(1, char(3)) + le32(1000) + "ab"), false, 0, &t), 1u);
    // No destination, no field: nothing is read.
    EXPECT_EQ(scan(extraBlock(EXTRA_EXTENDED_TIME, allThree), false, 0, nullptr), 0u);
    EXPECT_EQ(scan("", false, 0, &t), 0u);
}

TEST(CoreRecords, TimeBlockPrecedence) {
    EntryTimes t{};
    const Bytes newer = extraBlock(EXTRA_EXTENDED_TIME, Bytes(1, char(1)) + le32(5000));
    const Bytes older = extraBlock(EXTRA_UNIX_OLD, le32(111) + le32(222));
    // An old-form block after the extended one is ignored.
    EXPECT_EQ(scan(newer + older, false, 0, &t), 1u);
    EXPECT_EQ(t.modification, 5000);
    // The extended block after an old-form one discards the old-form times.
    t = EntryTimes{};
    EXPECT_EQ(scan(older + newer, false, 0, &t), 1u);
    EXPECT_EQ(t.modification, 5000);
    // The old form alone: modification at offset 4, access at offset 0.
    t = EntryTimes{};
    EXPECT_EQ(scan(older, false, 0, &t), 3u);
    EXPECT_EQ(t.modification, 222);
    EXPECT_EQ(t.access, 111);
    // The PKWARE Unix block reads the same way; shorter than 8 bytes it is not used.
    EXPECT_EQ(scan(extraBlock(EXTRA_PKWARE_UNIX, le32(1) + le32(2)), false, 0, &t), 3u);
    EXPECT_EQ(scan(extraBlock(EXTRA_PKWARE_UNIX, le32(1)), false, 0, &t), 0u);
    // The user/group blocks mark a newer producer: an old-form block after them is not used.
    EXPECT_EQ(scan(extraBlock(EXTRA_UNIX_IDS, "") + older, false, 0, &t), 0u);
    EXPECT_EQ(scan(extraBlock(EXTRA_UNIX_IDS_OLD, "") + older, false, 0, &t), 0u);
}

TEST(CoreRecords, TimesFrom2038OnNeedTheMsDosStampToAgree) {
    EntryTimes t{};
    const Bytes high = extraBlock(EXTRA_EXTENDED_TIME, Bytes(1, char(1)) + le32(0x80000000u));
    EXPECT_EQ(scan(high, false, DOS_DATE_2038 - 1, &t), 0u);
    EXPECT_EQ(scan(high, false, DOS_DATE_2038, &t), 1u);
    EXPECT_EQ(t.modification, 2147483648ll);  // 2038-01-19 03:14:08 UTC
    // An access time with the top bit set needs an accepted high modification time.
    const Bytes mixed = extraBlock(EXTRA_EXTENDED_TIME, Bytes(1, char(3)) + le32(1000) + le32(0x90000000u));
    EXPECT_EQ(scan(mixed, false, DOS_DATE_2038, &t), 1u);
    const Bytes bothHigh =
        extraBlock(EXTRA_EXTENDED_TIME, Bytes(1, char(3)) + le32(0x80000001u) + le32(0x90000000u));
    EXPECT_EQ(scan(bothHigh, false, DOS_DATE_2038, &t), 3u);
    EXPECT_EQ(t.access, 0x90000000ll);
    // A refused high time in a later old-form block leaves no times at all.
    EXPECT_EQ(scan(extraBlock(EXTRA_UNIX_OLD, le32(5) + le32(0xF0000000u)), false, 0, &t), 0u);
}

TEST(CoreRecords, LongNamesAreCutTo259Characters) {
    TempDir dir;
    const std::string longName(300, 'n');
    EngineRun run = runEngine(dir.write("long.zip", buildArchive({{longName, "x"}})), detailedReport);
    EXPECT_EQ(run.result, RC_WARNING);
    EXPECT_TRUE(contains(run.messages, "warning:  filename too long--truncating.\n"));
    EXPECT_EQ(run.reported, std::vector<std::string>{longName.substr(0, 259)});
}

TEST(CoreRecords, MsDosNamesAreConvertedFromTheOemCodePage) {
    TempDir dir;
    TestEntry fat{"\x81" "ber.txt", "x"};  // "über" in code page 437
    fat.hostSystem = HOST_FAT;
    fat.hostVersion = 20;
    TestEntry unix = fat;
    unix.hostSystem = HOST_UNIX;
    TestEntry nt = fat;
    nt.hostSystem = HOST_NTFS;
    nt.hostVersion = 50;
    EngineRun run = runEngine(dir.write("oem.zip", buildArchive({fat, unix, nt})), detailedReport);
#ifdef _WIN32
    const std::string converted = "\xFC" "ber.txt";
#else
    const std::string converted = "\xC3\xBC" "ber.txt";
#endif
    EXPECT_EQ(run.reported, (std::vector<std::string>{converted, fat.name, converted}));
}

TEST(CoreRecords, Utf8NamesInTheLocalCodePage) {
    char* kept = utf8ToLocal("caf\xC3\xA9");
    ASSERT_NE(kept, nullptr);
#ifdef _WIN32
    EXPECT_STREQ(kept, "caf\xE9");  // the ANSI page has the character
    char* foreign = utf8ToLocal("\xE4\xB8\xAD-\xF0\x9F\x98\x80");
    ASSERT_NE(foreign, nullptr);
    EXPECT_STREQ(foreign, "#U4e2d-_");
#else
    EXPECT_STREQ(kept, "caf\xC3\xA9");  // valid UTF-8 is the local form already
    char* foreign = utf8ToLocal("\xE4\xB8\xAD-\xF0\x9F\x98\x80");
    ASSERT_NE(foreign, nullptr);
    EXPECT_STREQ(foreign, "\xE4\xB8\xAD-\xF0\x9F\x98\x80");
#endif
    std::free(kept);
    std::free(foreign);
    // Bytes that are not UTF-8 give no converted name: the stored one stays.
    EXPECT_EQ(utf8ToLocal("bad\xC3("), nullptr);

    TempDir dir;
    TestEntry flagged{"\xE4\xB8\xAD.txt", "x"};
    flagged.flags = FLAG_UTF8;
    TestEntry broken{"br\xFFoken.txt", "x"};
    broken.flags = FLAG_UTF8;
    // Flagged UTF-8 from an MS-DOS host, without an extra field: the UTF-8 reading
    // wins over the OEM code page.
    TestEntry fromFat{"\xC3\xBC.txt", "x"};
    fromFat.flags = FLAG_UTF8;
    fromFat.hostSystem = HOST_FAT;
    EngineRun run = runEngine(dir.write("utf8.zip", buildArchive({flagged, broken, fromFat})), detailedReport);
#ifdef _WIN32
    EXPECT_EQ(run.reported, (std::vector<std::string>{"#U4e2d.txt", broken.name, "\xFC.txt"}));
#else
    EXPECT_EQ(run.reported, (std::vector<std::string>{flagged.name, broken.name, fromFat.name}));
#endif
}

TEST(CoreRecords, PrintableNamesShowControlCharacters) {
    char buffer[64];
    EXPECT_STREQ(printableName("a\x01z\x1F", buffer, sizeof buffer), "a^Az^_");
    EXPECT_STREQ(printableName("tab\there", buffer, sizeof buffer), "tab^Ihere");
    // Too long for the buffer: cut with "..." where room for it was still certain.
    const std::string longName(100, 'x');
    printableName(longName.c_str(), buffer, sizeof buffer);
    EXPECT_LT(std::strlen(buffer), sizeof buffer);
    EXPECT_EQ(std::string(buffer).substr(std::strlen(buffer) - 3), "...");
    // Names that fit exactly are not cut.
    const std::string fits(40, 'y');
    EXPECT_STREQ(printableName(fits.c_str(), buffer, sizeof buffer), fits.c_str());
#ifndef _WIN32
    EXPECT_STREQ(printableName("\xC3\xA9\xFF", buffer, sizeof buffer), "\xC3\xA9?");
#endif
}
