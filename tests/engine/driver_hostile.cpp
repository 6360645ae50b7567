// Hostile archives: data that claims more than it holds, entries that share their data,
// archives cut short or with bytes changed at random. Each call must end with a
// result code, and nothing may be written outside the target directory.
// Linux only: the archives are made with python3 on Linux.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <malloc.h>

#include <random>
#include <set>

#include "driver_support.h"
#include "engine/reader.h"
#include "engine/state.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's count of live heap bytes (its header is not shipped with
// every compiler).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

using namespace driver_test;

namespace {

// A deflated archive made by Python's zipfile from varied data.
Bytes pythonDeflated(TempDir& dir) {
    std::string archive = dir.file("made.zip");
    std::string script =
        "import sys, zipfile, random\n"
        "random.seed(7)\n"
        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    z.writestr('a/text.txt', ''.join('line %d\\n' % i for i in range(3000)))\n"
        "    z.writestr('b.bin', bytes(random.getrandbits(8) for _ in range(5000)))\n"
        "    z.writestr('c/d/e.txt', 'x' * 70000)\n";
    EXPECT_TRUE(core_test::runCommand("python3 -c " + shellQuote(script) + " " + shellQuote(archive)));
    return readFile(archive).value_or("");
}

// One entry "zeros" of a million zero bytes, deflated by Python's zipfile.
Bytes pythonZeros(TempDir& dir) {
    std::string archive = dir.file("zeros.zip");
    EXPECT_TRUE(core_test::runCommand(
        "python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED);"
        " z.writestr('zeros', bytes(1000000)); z.close()\" " + shellQuote(archive)));
    return readFile(archive).value_or("");
}

// What damage to an archive can lead to: never a lack of memory (no claim may make the
// engine allocate by it), a write error (the target has room) or a stop.
bool damageResult(int result) {
    switch (result) {
    case RC_OK: case RC_WARNING: case RC_ERROR: case RC_FATAL:
    case RC_NOARCHIVE: case RC_NOMATCH: case RC_EOF: case RC_EFTRUNC: case RC_UNSUPPORTED:
        return true;
    default:
        return false;
    }
}

// Extracts into the workspace's target and checks that nothing landed beside it.
void expectContained(Workspace& w, const EngineRun& run, const std::string& label) {
    EXPECT_TRUE(damageResult(run.result)) << label << ": " << run.result;
    for (const std::string& path : tree(w.dir.path))
        EXPECT_TRUE(path.rfind("out/", 0) == 0 || path == "test.zip") << label << ": " << path;
}

uint32_t le16(const Bytes& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8;
}
uint32_t le32(const Bytes& b, size_t at) { return le16(b, at) | le16(b, at + 2) << 16; }

// Every offset where one record or field of a well-formed archive ends and the next
// begins: local header, name, extra field, data; central header and its variable
// fields; the end records.
std::set<size_t> recordBoundaries(const Bytes& archive) {
    std::set<size_t> cuts;
    const size_t end = archive.rfind("PK\x05\x06");
    const size_t central = le32(archive, end + 16);
    for (size_t at = central; at < end && archive.compare(at, 4, "PK\x01\x02") == 0;) {
        const size_t local = le32(archive, at + 42);
        const size_t name = local + 30, extra = name + le16(archive, local + 26);
        const size_t data = extra + le16(archive, local + 28);
        cuts.insert({local, local + 4, name, extra, data, data + le32(archive, at + 20)});
        const size_t next = at + 46 + le16(archive, at + 28) + le16(archive, at + 30) +
                            le16(archive, at + 32);
        cuts.insert({at, at + 4, at + 46, next});
        at = next;
    }
    const size_t zip64Locator = archive.rfind("PK\x06\x07", end);
    const size_t zip64End = archive.rfind("PK\x06\x06", end);
    for (size_t record : {zip64End, zip64Locator, end})
        if (record != std::string::npos) cuts.insert({record, record + 4, record + 20});
    cuts.insert(archive.size());
    return cuts;
}

// The engine's heap while a call runs, sampled at every message and every finished
// entry: nothing an archive claims may make it hold more than its fixed buffers.
size_t heapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

struct HeapWatch {
    static inline size_t peak = 0;
    static inline UnzipPrintText forwardText = nullptr;
    static inline UnzipEntryDone forwardDone = nullptr;
    static int printText(const char* text, uint32_t length) {
        peak = std::max(peak, heapInUse());
        return forwardText(text, length);
    }
    static int entryDone(const char* name, uint64_t size) {
        peak = std::max(peak, heapInUse());
        return forwardDone(name, size);
    }
};

// The state record, the read and output buffers, and room for the names, paths and
// extra fields of one entry.
constexpr size_t kFixedBuffers =
    sizeof(EngineState) + INPUT_BUFFER_SIZE + OUTPUT_BUFFER_SIZE + (size_t(256) << 10);

// Extracts `archive` with every message let through and checks what the hostile set
// asks of every input: a known result, nothing outside the target, the heap bounded
// while the call runs. (What a call fails to release, the sanitizer build's leak check
// reports at the end of the test program.)
EngineRun extractHostile(Workspace& w, const Bytes& archive, const std::string& label) {
    w.write(archive);
    const size_t before = heapInUse();
    HeapWatch::peak = before;
    EngineRun run = w.extract([](UnzipOptions&, UnzipCallbacks& c) {
        HeapWatch::forwardText = c.printText;
        HeapWatch::forwardDone = c.entryDone;
        c.printText = HeapWatch::printText;
        c.entryDone = HeapWatch::entryDone;
    });
    expectContained(w, run, label);
    EXPECT_LE(HeapWatch::peak - before, kFixedBuffers) << label;
    return run;
}

}  // namespace

TEST(DriverHostile, CutAtEveryRecordBoundary) {
    TempDir made;
    Bytes archive = pythonDeflated(made);
    // A Zip64 archive too: its extra fields and end records have boundaries of their own.
    std::string zip64 = made.file("zip64.zip");
    ASSERT_TRUE(core_test::runCommand(
        "python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED);"
        " f=z.open('big/one.txt','w',force_zip64=True); f.write(b'zip64 ' * 999); f.close();"
        " z.writestr('two.txt', 'second'); z.close()\" " + shellQuote(zip64)));
    Workspace w;
    for (const Bytes& whole : {archive, *readFile(zip64)}) {
        for (size_t cut : recordBoundaries(whole)) {
            for (size_t length : {cut - 1, cut, cut + 1}) {
                if (length > whole.size()) continue;
                EngineRun run = extractHostile(w, whole.substr(0, length),
                                               "cut at " + std::to_string(length));
                if (length < whole.size()) {
                    EXPECT_NE(run.result, RC_OK) << length;
                }
            }
        }
    }
}

TEST(DriverHostile, LocalOffsetsIntoTheDirectoryOrPastTheEnd) {
    Bytes archive = buildArchive({TestEntry{"first.txt", "one"}, TestEntry{"second.txt", "two"}});
    const size_t end = archive.rfind("PK\x05\x06");
    const size_t central = le32(archive, end + 16);
    const size_t secondCentral = archive.find("PK\x01\x02", central + 4);
    for (uint32_t offset : {uint32_t(central), uint32_t(secondCentral), uint32_t(end), uint32_t(end + 10),
                            uint32_t(archive.size()), uint32_t(archive.size() + 4096), 0xFFFFFFFEu}) {
        Bytes changed = archive;
        for (size_t at : {central + 42, secondCentral + 42})
            changed.replace(at, 4, Bytes{char(offset), char(offset >> 8), char(offset >> 16),
                                         char(offset >> 24)});
        Workspace w;
        EngineRun run = extractHostile(w, changed, "offset " + std::to_string(offset));
        EXPECT_NE(run.result, RC_OK) << offset;
        EXPECT_FALSE(exists(w.out("first.txt"))) << offset;
    }
}

TEST(DriverHostile, HugeClaimedSizesWithLittleData) {
    // A stored entry and a deflated one whose headers claim 4 GiB (and, through Zip64,
    // 2^62 bytes) where a few bytes follow: the output holds at most what the file
    // holds (a stored entry runs on into the directory, and fails), and the engine
    // allocates nothing by the claim.
    Bytes zip64Sizes;
    core_test::put64(zip64Sizes, uint64_t(1) << 62);
    core_test::put64(zip64Sizes, uint64_t(1) << 62);
    for (int variant = 0; variant < 4; ++variant) {
        TestEntry entry{"claim.bin", variant % 2 == 0 ? Bytes("tiny") : Bytes("\x03\x00", 2)};
        entry.method = variant % 2 == 0 ? 0 : 8;
        if (variant % 2 == 1) entry.uncompressed = Bytes();
        Bytes archive;
        if (variant < 2) {
            entry.localUncompressed = 0xFFFFFFF0u;
            archive = buildArchive({entry});
            const size_t central = archive.find("PK\x01\x02");
            archive.replace(central + 24, 4, "\xF0\xFF\xFF\xFF");
        } else {
            entry.centralExtra = core_test::extraBlock(0x0001, zip64Sizes);
            entry.localExtra = entry.centralExtra;
            archive = buildArchive({entry});
            for (size_t at : {archive.find("PK\x03\x04") + 18, archive.find("PK\x01\x02") + 20})
                archive.replace(at, 8, Bytes(8, '\xFF'));
        }
        Workspace w;
        EngineRun run = extractHostile(w, archive, "variant " + std::to_string(variant));
        struct stat status;
        if (entry.method == 0) {
            EXPECT_NE(run.result, RC_OK) << variant;
            if (linkStatus(w.out("claim.bin"), &status) == 0) {
                EXPECT_LE(size_t(status.st_size), archive.size()) << variant;
            }
        } else if (variant == 3) {
            // The claimed compressed size runs on over the central directory.
            EXPECT_EQ(run.result, RC_ERROR);
            EXPECT_FALSE(exists(w.out("claim.bin")));
        } else {
            // The deflate stream ends at once and its CRC matches: the claim alone is
            // no error, and nothing is produced for it.
            ASSERT_EQ(linkStatus(w.out("claim.bin"), &status), 0) << variant;
            EXPECT_EQ(status.st_size, 0) << variant;
        }
    }
}

TEST(DriverHostile, LongestNamesAndDeepestNesting) {
    // Names as long as the format allows, of one component, of 30000 components and of
    // traversal repeated throughout: cut or refused, never outside the target.
    std::string deep, climbing;
    for (int level = 0; level < 30000; ++level) deep += "a/";
    for (int level = 0; level < 16000; ++level) climbing += "../";
    Workspace w;
    EngineRun run = extractHostile(w,
                                   buildArchive({TestEntry{std::string(65535, 'n'), "long"},
                                             TestEntry{(deep + "deep.txt").substr(0, 65535), "deep"},
                                             TestEntry{(climbing + "up.txt").substr(0, 65535), "up"},
                                             TestEntry{std::string(65535, '/'), "slashes"}}),
                                   "longest names");
    EXPECT_EQ(run.result, RC_ERROR);
}

TEST(DriverHostile, DataThatClaimsMoreThanItHolds) {
    Workspace w;
    TempDir made;
    Bytes archive = pythonDeflated(made);
    // Cut the archive inside the first entry's data, keeping its directory: the
    // directory then promises data that is not there.
    size_t directory = archive.find("PK\x01\x02");
    ASSERT_NE(directory, std::string::npos);
    Bytes cut = archive.substr(0, 200) + archive.substr(directory);
    w.write(cut);
    EngineRun run = w.extract();
    expectContained(w, run, "cut");
    EXPECT_NE(run.result, RC_OK);
}

TEST(DriverHostile, OutputStopsAtTheDeclaredSize) {
    // A local header (then a central one) that declares 10 bytes for a megabyte of
    // data: extraction and test alike stop at 10 bytes, name the entry and end with an
    // error; the 10 bytes stay.
    TempDir made;
    const Bytes honest = pythonZeros(made);
    ASSERT_FALSE(honest.empty());
    Bytes archive = honest;
    archive.replace(22, 4, Bytes("\x0A\0\0\0", 4));
    Workspace w;
    w.write(archive);
    EngineRun run = w.extract();
    EXPECT_EQ(run.result, RC_ERROR);
    EXPECT_TRUE(contains(run.messages, "zeros:  data go on past the declared size of 10 bytes"))
        << run.messages;
    EXPECT_EQ(readFile(w.out("zeros")), Bytes(10, '\0'));
    EXPECT_EQ(tree(w.target), std::vector<std::string>{"zeros"});
    archive = honest;
    archive.replace(archive.find("PK\x01\x02") + 24, 4, Bytes("\x0A\0\0\0", 4));
    w.write(archive);
    run = core_test::runEngine(w.archive, [](UnzipOptions& o, UnzipCallbacks&) { o.testOnly = 1; });
    EXPECT_EQ(run.result, RC_ERROR);
    EXPECT_TRUE(contains(run.messages, "past the declared size")) << run.messages;
}

TEST(DriverHostile, EntriesSharingOneLocalHeaderAreRefused) {
    // 300 central entries all pointing at the same deflated megabyte (an overlap bomb):
    // the first is decoded, every other one is refused as overlapping it.
    TempDir made;
    Bytes one = pythonZeros(made);
    size_t central = one.find("PK\x01\x02");
    size_t end = one.find("PK\x05\x06");
    Bytes header = one.substr(central, end - central);
    Bytes directory;
    for (int i = 0; i < 300; ++i) directory += header;
    Bytes archive = one.substr(0, central) + directory;
    archive += "PK\x05\x06";
    put16(archive, 0);
    put16(archive, 0);
    put16(archive, 300);
    put16(archive, 300);
    put32(archive, uint32_t(directory.size()));
    put32(archive, uint32_t(central));
    put16(archive, 0);
    Workspace w;
    w.write(archive);
    EngineRun run = core_test::runEngine(w.archive, [](UnzipOptions& o, UnzipCallbacks&) {
        o.testOnly = 1;
    });
    EXPECT_EQ(run.result, RC_ERROR);
    EXPECT_EQ(run.reported.size(), 1u);
    EXPECT_TRUE(contains(run.messages, "the data of zeros overlap data used before\n"
                                       "  (possibly a zip bomb)"))
        << run.messages.substr(0, 500);
}

TEST(DriverHostile, DataOverlappingAnotherEntryOrTheDirectoryAreRefused) {
    // The first entry's data hold a whole local record that the second central record
    // points at; the third entry's data run on into the central directory. Only the
    // first entry is written.
    const Bytes inner = buildArchive({TestEntry{"second.txt", "x"}});
    Bytes archive = buildArchive({TestEntry{"first.bin", inner.substr(0, inner.find("PK\x01\x02"))},
                              TestEntry{"second.txt", "x"}, TestEntry{"third.txt", "y"}});
    const size_t second = archive.find("PK\x01\x02", archive.find("PK\x01\x02") + 4);
    archive.replace(second + 42, 4, Bytes("\x27\0\0\0", 4));  // 30 + "first.bin"
    const Bytes claim("\x40\0\0\0\x40\0\0\0", 8);             // 64 bytes, stored
    archive.replace(archive.find("PK\x01\x02", second + 4) + 20, 8, claim);
    archive.replace(archive.rfind("PK\x03\x04") + 18, 8, claim);
    Workspace w;
    w.write(archive);
    EngineRun run = w.extract();
    EXPECT_EQ(run.result, RC_ERROR);
    EXPECT_EQ(tree(w.target), std::vector<std::string>{"first.bin"});
    EXPECT_TRUE(contains(run.messages, "the data of second.txt overlap")) << run.messages;
    EXPECT_TRUE(contains(run.messages, "the data of third.txt overlap")) << run.messages;
}

TEST(DriverHostile, TruncatedAndScrambledArchives) {
    TempDir made;
    Bytes archive = pythonDeflated(made);
    ASSERT_FALSE(archive.empty());
    Workspace w;
    for (size_t length = 0; length < archive.size(); length += 211) {
        w.write(archive.substr(0, length));
        EngineRun run = w.extract();
        expectContained(w, run, "cut at " + std::to_string(length));
    }
    std::mt19937 random(2024);
    for (int round = 0; round < 150; ++round) {
        Bytes changed = archive;
        for (int k = 0; k < 4; ++k) changed[random() % changed.size()] = char(random() & 0xFF);
        w.write(changed);
        EngineRun run = w.extract();
        expectContained(w, run, "round " + std::to_string(round));
    }
}

TEST(DriverHostile, LocalOffsetsNearTheTopOfSixtyFourBits) {
    // A Zip64 block may claim any 64-bit local offset; added to the correction for bytes
    // in front of the archive it must not overflow, only fail to find the header.
    for (uint64_t claimed : {uint64_t(0x7FFFFFFFFFFFFFF0u), uint64_t(0xFFFFFFFFFFFFFFF0u)}) {
        for (const Bytes& prefix : {Bytes(), Bytes(100, 'M')}) {
            Bytes zip64;
            core_test::put64(zip64, claimed);
            TestEntry entry{"far.txt", "data"};
            entry.centralExtra = core_test::extraBlock(0x0001, zip64);
            Bytes archive = buildArchive({entry});
            size_t central = archive.find("PK\x01\x02");
            ASSERT_NE(central, std::string::npos);
            archive.replace(central + 42, 4, "\xFF\xFF\xFF\xFF");
            Workspace w;
            w.write(prefix + archive);
            EngineRun run = w.extract();
            const std::string label = std::to_string(claimed) + "+" + std::to_string(prefix.size());
            expectContained(w, run, label);
            EXPECT_NE(run.result, RC_OK) << label;
            EXPECT_FALSE(exists(w.out("far.txt"))) << label;
        }
    }
}

#endif  // _WIN32
