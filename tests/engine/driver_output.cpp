// Output files: end-of-line and VMS record conversion, the CRC check, an entry whose
// method cannot be decoded, a full disk, console output, permissions and test mode.
#include <gtest/gtest.h>

#include <signal.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <sys/stat.h>

#include "driver_support.h"
#include "engine/system_blocks.h"

using namespace driver_test;

namespace {

auto convertAll = [](UnzipOptions& o, UnzipCallbacks&) { o.convertText = 2; };

#ifndef _WIN32
unsigned modeOf(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? unsigned(status.st_mode & 07777) : 0u;
}
#endif

// A PKWARE VMS extra block saying "variable-length records".
Bytes vmsVariableRecords() {
    Bytes attributes;
    put16(attributes, 4);  // record format attribute
    put16(attributes, 1);
    attributes += char(2);
    Bytes data;
    put32(data, crc32Of(attributes));
    return core_test::extraBlock(0x000C, data + attributes);
}

}  // namespace

TEST(DriverOutput, TextConversionMakesCrLfLineEnds) {
    Workspace w;
    Bytes across = Bytes(65535, 'x') + "\r\n" + "y\x1Az";  // CR LF split by the window
    TestEntry binary{"bin.dat", "a\nb"};
    TestEntry text{"text.txt", "t\n"};
    text.internalAttributes = 1;
    w.write(buildArchive({{"mixed.txt", "a\r\nb\rc\nd"}, {"across.txt", across}, binary, text}));
    EngineRun run = w.extract(convertAll);
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_EQ(readFile(w.out("mixed.txt")), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(readFile(w.out("across.txt")), Bytes(65535, 'x') + "\r\ny\x1Az");

    // Mode 1 converts only entries marked as text, and says which is which.
    Workspace marked;
    marked.write(buildArchive({binary, text, {"empty.txt", ""}}));
    run = marked.extract([](UnzipOptions& o, UnzipCallbacks&) { o.convertText = 1; });
    EXPECT_EQ(readFile(marked.out("bin.dat")), "a\nb");
    EXPECT_EQ(readFile(marked.out("text.txt")), "t\r\n");
    EXPECT_EQ(readFile(marked.out("empty.txt")), "");
    EXPECT_TRUE(contains(run.messages, "bin.dat  [binary]"));
    EXPECT_TRUE(contains(run.messages, "text.txt  [text]  "));
    EXPECT_TRUE(contains(run.messages, "empty.txt  [empty] "));
}

TEST(DriverOutput, VmsVariableLengthRecordsBecomeLines) {
    Workspace w;
    TestEntry vms{"records.txt", Bytes("\x03\x00" "abc\x00" "\x01\x00" "d\x00", 10)};
    vms.hostSystem = 2;
    vms.localExtra = vmsVariableRecords();
    TestEntry evenLast{"even.txt", Bytes("\x02\x00" "ab", 4)};  // no pad after the last record
    evenLast.hostSystem = 2;
    evenLast.localExtra = vmsVariableRecords();
    w.write(buildArchive({vms, evenLast}));
    EngineRun run = w.extract(convertAll);
    EXPECT_EQ(run.result, RC_OK) << run.messages;
    EXPECT_EQ(readFile(w.out("records.txt")), "abc\r\nd\r\n");
    EXPECT_EQ(readFile(w.out("even.txt")), "ab\r\n");

    uint8_t flagBits[] = {0x03, 0x01};  // bits 1, 10000001, 0: {0x81, 0x00}
    uint8_t expanded[2] = {9, 9};
    expandFlagBits(flagBits, sizeof flagBits, expanded, 2);
    EXPECT_EQ(expanded[0], 0x81);
    EXPECT_EQ(expanded[1], 0x00);
}

TEST(DriverOutput, BadCrcIsAnError) {
    Workspace w;
    TestEntry damaged{"damaged.txt", "some data"};
    damaged.crc = crc32Of("some dat4");
    w.write(buildArchive({damaged}));
    EngineRun run = w.extract();
    EXPECT_EQ(run.result, RC_ERROR);
    EXPECT_TRUE(contains(run.messages, " bad CRC "));
    EXPECT_TRUE(contains(run.messages, "  (should be "));

    run = core_test::runEngine(w.archive, [](UnzipOptions& o, UnzipCallbacks&) {
        o.testOnly = 1;
        o.quietLevel = 1;
    });
    EXPECT_EQ(run.result, RC_ERROR);
    // Quiet: no progress line, so the message names the entry itself.
    EXPECT_TRUE(contains(run.messages, "damaged.txt             bad CRC "));
}

TEST(DriverOutput, UndecodableLocalMethodLeavesNoFile) {
    Workspace w;
    TestEntry odd{"odd.bin", "payload"};
    odd.localMethod = 7;
    w.write(buildArchive({odd, {"fine.txt", "fine"}}));
    EngineRun run = w.extract();
    EXPECT_EQ(run.result, RC_WARNING);
    EXPECT_TRUE(contains(run.messages, "odd.bin:  unknown compression method\n"));
    EXPECT_EQ(tree(w.target), (std::vector<std::string>{"fine.txt"}));
}

#ifndef _WIN32  // a file size limit stands in for a full disk
TEST(DriverOutput, FullDiskStopsTheRun) {
    Workspace w;
    w.write(buildArchive({{"big.bin", Bytes(5000, 'b')}, {"after.txt", "a"}}));
    // A file size limit makes writes fail as on a full disk.
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit limit = saved;
    limit.rlim_cur = 1000;
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    makeDirectory(w.target);
    setrlimit(RLIMIT_FSIZE, &limit);
    EngineRun run = w.extract();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(run.result, RC_DISKFULL);
    EXPECT_TRUE(contains(run.messages, "big.bin:  write error (disk full?).\n"));
    EXPECT_TRUE(contains(run.messages, "big.bin is probably truncated\n"));
    EXPECT_FALSE(exists(w.out("after.txt")));
}
#endif

TEST(DriverOutput, ConsoleModeHandsTheDataToPrintText) {
    Workspace w;
    w.write(buildArchive({{"one.txt", "first line\n"}}));
    EngineRun run = core_test::runEngine(w.archive, [](UnzipOptions& o, UnzipCallbacks&) {
        o.writeToConsole = 1;
    });
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_TRUE(contains(run.messages, " extracting: one.txt                 \r\nfirst line\n"));

    // A console that takes less than it is given failed like a full disk.
    run = core_test::runEngine(w.archive, [](UnzipOptions& o, UnzipCallbacks& c) {
        o.writeToConsole = 1;
        o.quietLevel = 1;
        c.printText = [](const char*, uint32_t length) { return int(length) - 1; };
    });
    EXPECT_EQ(run.result, RC_DISKFULL);
}

#ifndef _WIN32  // POSIX permission bits
TEST(DriverOutput, PermissionsFollowTheEntry) {
    Workspace w;
    TestEntry script{"run.sh", "#!/bin/sh\n"};
    script.externalAttributes = 0100755u << 16;
    TestEntry setuid{"setuid", "x"};
    setuid.externalAttributes = 0104777u << 16;
    TestEntry readOnly{"ro.txt", "r"};
    readOnly.hostSystem = 0;
    readOnly.externalAttributes = 0x01;
    TestEntry privateDir{"private/", ""};
    privateDir.externalAttributes = (040700u << 16) | 0x10;
    TestEntry inside{"private/f.txt", "f"};
    w.write(buildArchive({script, setuid, readOnly, {"plain.txt", "p"}, privateDir, inside}));
    EngineRun run = w.extract();
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_EQ(modeOf(w.out("run.sh")), 0755u);
    EXPECT_EQ(modeOf(w.out("setuid")), 0777u);  // never set-id bits
    EXPECT_EQ(modeOf(w.out("ro.txt")), 0444u);
    EXPECT_EQ(modeOf(w.out("plain.txt")), 0644u);
    EXPECT_EQ(modeOf(w.out("private")), 0700u);
    EXPECT_TRUE(exists(w.out("private/f.txt")));
}
#endif

TEST(DriverOutput, TestModeWritesNothing) {
    Workspace w;
    w.write(buildArchive({{"a.txt", "a"}, {"d/", ""}}));
    EngineRun run = core_test::runEngine(w.archive, [](UnzipOptions& o, UnzipCallbacks&) {
        o.testOnly = 1;
    });
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_TRUE(contains(run.messages, "    testing: a.txt                    OK\n"));
    EXPECT_FALSE(exists(w.target));
}

namespace {

// A compressed system block of a local extra field: uncompressed size, the security
// descriptor's version byte, method, CRC of the unpacked bytes, packed bytes.
Bytes systemBlock(uint16_t id, uint32_t size, uint16_t method, uint32_t crc, const Bytes& packed) {
    Bytes data;
    put32(data, size);
    if (id == 0x4453) data += char(0);
    put16(data, method);
    put32(data, crc);
    return core_test::extraBlock(id, data + packed);
}

}  // namespace

TEST(DriverOutput, TestModeUnpacksTheSystemBlocksOfTheExtraField) {
    const Bytes abc = "abc";
    const Bytes abcDeflated("\x4b\x4c\x4a\x06\x00", 5);
    struct Case {
        Bytes field;
        int result;
        const char* message;  // after the progress line "    testing: e.txt  ..."
    } cases[] = {
        {systemBlock(0x4453, 3, 0, crc32Of(abc), abc), RC_OK, " OK\n"},
        {systemBlock(0x4453, 3, 8, crc32Of(abc), abcDeflated) + core_test::extraBlock(0x5455, "\x01"),
         RC_OK, " OK\n"},
        {systemBlock(0x0009, 3, 0, crc32Of(abc) ^ 1, abc), RC_ERROR,
         " bad extra field: OS/2 extended attributes block has a bad CRC\n"},
        {systemBlock(0x4C41, 3, 12, 0, abc), RC_ERROR,
         " bad extra field: access control list block uses an unknown compression method\n"},
        {systemBlock(0x4453, 5, 0, crc32Of(abc), abc), RC_ERROR,
         " bad extra field: Windows security descriptor block is shorter than its size says\n"},
        {systemBlock(0x4453, 2, 0, crc32Of(abc), abc), RC_ERROR,
         " bad extra field: Windows security descriptor block is longer than its size says\n"},
        {systemBlock(0x4453, 3, 8, crc32Of(abc), "\xff\xff"), RC_ERROR,
         " bad extra field: Windows security descriptor block holds invalid compressed data\n"},
        {core_test::extraBlock(0x4453, Bytes(10, '\0')), RC_ERROR,
         " bad extra field: Windows security descriptor block is truncated\n"},
        {systemBlock(0x4453, 0x7FFFFFFF, 8, 0, abcDeflated), RC_ERROR,
         " bad extra field: Windows security descriptor block claims an impossible size\n"},
        // A block that runs past the field is padding or foreign, not a fault.
        {Bytes("\x53\x44\x40\x00\x00", 5), RC_OK, " OK\n"},
    };
    for (const Case& c : cases) {
        TestEntry entry{"e.txt", "data"};
        entry.localExtra = c.field;
        Workspace w;
        w.write(buildArchive({entry}));
        EngineRun run = core_test::runEngine(w.archive, [](UnzipOptions& o, UnzipCallbacks&) {
            o.testOnly = 1;
        });
        EXPECT_EQ(run.result, c.result) << c.message;
        EXPECT_TRUE(contains(run.messages, "    testing: e.txt" + std::string(19, ' ') + c.message))
            << run.messages;
        // Extraction leaves the blocks to the systems that restore them.
        EXPECT_EQ(w.extract().result, RC_OK) << c.message;
    }
    // Without a progress line the fault names the entry.
    TestEntry entry{"e.txt", "data"};
    entry.localExtra = systemBlock(0x0009, 3, 0, 0, abc);
    Workspace w;
    w.write(buildArchive({entry}));
    EngineRun quiet = core_test::runEngine(w.archive, [](UnzipOptions& o, UnzipCallbacks&) {
        o.testOnly = 1;
        o.quietLevel = 1;
    });
    EXPECT_TRUE(contains(quiet.messages,
                         "e.txt                   bad extra field: OS/2 extended attributes block has a bad CRC\n"))
        << quiet.messages;
}
