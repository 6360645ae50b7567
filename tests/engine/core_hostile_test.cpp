// Untrusted bytes: damaged copies of real archives must end in one of the engine's
// result codes, never in a crash, a hang, or (under the sanitizer build) a read or write
// outside a buffer. The damage is deterministic, so a failure can be replayed.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>

#include "core_support.h"

using namespace core_test;

namespace {

// What damage to an archive can lead to when nothing is written: never a lack of memory
// (no claim may make the engine allocate by it), a write error, a stop, or a parameter
// or archive-name error.
const std::set<int> damageResults = {RC_OK,      RC_WARNING, RC_ERROR, RC_FATAL,
                                     RC_NOARCHIVE, RC_NOMATCH, RC_EOF,  RC_EFTRUNC,
                                     RC_UNSUPPORTED};

// One kind of damage, chosen and placed by the generator.
Bytes damage(Bytes bytes, std::mt19937& random) {
    auto position = [&](std::size_t tailBias) {
        // Most records sit near the end: aim there more often than not.
        if (random() % 3 != 0 && bytes.size() > tailBias) return bytes.size() - 1 - random() % tailBias;
        return std::size_t(random() % bytes.size());
    };
    switch (random() % 5) {
    case 0:  // a few random bytes
        for (int i = 0, n = 1 + int(random() % 4); i < n; ++i) bytes[position(300)] = char(random());
        break;
    case 1:  // cut short
        bytes.resize(position(400));
        break;
    case 2: {  // a field set to all ones, or to a huge claim
        std::size_t at = position(300);
        for (std::size_t i = at; i < at + 4 && i < bytes.size(); ++i) bytes[i] = char(0xFF);
        break;
    }
    case 3: {  // a 16-bit length made large
        std::size_t at = position(300);
        if (at + 1 < bytes.size()) bytes[at + 1] = char(0x80 | random());
        break;
    }
    default:  // a byte cleared
        bytes[position(300)] = 0;
        break;
    }
    return bytes;
}

void runDamaged(const TempDir& dir, const Bytes& original, unsigned seed, int rounds) {
    std::mt19937 random(seed);
    const std::string path = dir.file("damaged.zip");
    for (int round = 0; round < rounds; ++round) {
        dir.write("damaged.zip", damage(original, random));
        for (int mode = 0; mode < 3; ++mode) {
            EngineRun run = runEngine(path, [mode](UnzipOptions& o, UnzipCallbacks&) {
                o.quietLevel = 1;
                if (mode == 0) o.detailedInfo = 1;
                if (mode == 1) o.listMode = 1;
                if (mode == 2) o.testOnly = 1;
            });
            ASSERT_TRUE(damageResults.count(run.result)) << "seed " << seed << " round " << round << " mode " << mode
                                                          << " result " << run.result;
            ASSERT_EQ(run.callbacksOutsideCall, 0);
        }
    }
}

}  // namespace

TEST(CoreHostile, DamagedHandMadeArchivesEndInAResult) {
    TempDir dir;
    Layout layout;
    layout.comment = "a comment";
    std::vector<TestEntry> entries = someEntries();
    entries[0].centralExtra = extraBlock(0x5455, Bytes(1, char(1)) + "abcd") + extraBlock(0x0001, Bytes(8, '\0'));
    entries[1].flags = 0x0800;
    runDamaged(dir, buildArchive(entries, layout), 1, 300);
    layout.zip64 = true;
    runDamaged(dir, buildArchive(entries, layout), 2, 300);
}

TEST(CoreHostile, DamagedDeflatedArchivesEndInAResult) {
    TempDir dir;
    const std::string made = dir.file("made.zip");
    const bool produced = runCommand(
        "python3 -c \"import zipfile,sys\n"
        "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED)\n"
        "z.writestr('text.txt','hello deflate '*400)\n"
        "z.writestr('sub/\\u00e9t\\u00e9.bin',bytes(range(256))*20)\n"
        "z.writestr(zipfile.ZipInfo('dir/'),'')\n"
        "z.close()\" " + made);
    if (!produced) GTEST_SKIP() << "python3 is needed to make the archive";
    runDamaged(dir, readFileBytes(made), 3, 300);
}
