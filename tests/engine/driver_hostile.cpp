// Hostile archives: data that claims more than it holds, entries that share their data,
// archives cut short or with bytes changed at random. Each call must end with a
// result code, and nothing may be written outside the target directory.
// Linux only: the archives are made with python3 on Linux.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <random>

#include "driver_support.h"

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

bool knownResult(int result) {
    switch (result) {
    case RC_OK: case RC_WARNING: case RC_ERROR: case RC_FATAL: case RC_NOMEM3:
    case RC_NOARCHIVE: case RC_NOMATCH: case RC_EOF: case RC_UNSUPPORTED: case RC_DISKFULL:
        return true;
    default:
        return false;
    }
}

// Extracts into the workspace's target and checks that nothing landed beside it.
void expectContained(Workspace& w, const EngineRun& run, const std::string& label) {
    EXPECT_TRUE(knownResult(run.result)) << label << ": " << run.result;
    for (const std::string& path : tree(w.dir.path))
        EXPECT_TRUE(path.rfind("out/", 0) == 0 || path == "test.zip") << label << ": " << path;
}

}  // namespace

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

TEST(DriverHostile, EntriesSharingOneLocalHeader) {
    // 300 central entries all pointing at the same deflated megabyte: each is decoded
    // on its own, the name of the local header is overruled by the central one.
    TempDir made;
    std::string source = made.file("one.zip");
    ASSERT_TRUE(core_test::runCommand(
        "python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED);"
        " z.writestr('zeros', bytes(1000000)); z.close()\" " + shellQuote(source)));
    Bytes one = *readFile(source);
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
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_EQ(run.reported.size(), 300u);
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
            RawEntry entry{"far.txt", "data"};
            entry.centralExtra = core_test::extraBlock(0x0001, zip64);
            Bytes archive = buildRaw({entry});
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
