// Round trips through real producers: Python's zipfile at three deflate levels and
// 7-Zip's deflate and Deflate64, on text, binary and highly repetitive data, decoded
// one entry after another through the same state (the window carries over), with the
// CRC of every entry checked. Also compressed extra-field blocks.
#include <gtest/gtest.h>

#include "decoders_support.h"
#include "engine/crc32.h"
#include "engine/field_block.h"
#include "engine/inflate.h"
#include "engine/state.h"

using namespace decoders_test;

namespace {

// Writes three kinds of data (text, pseudo-random bytes with repeats, long runs) and
// archives them with the given commands.
const char* makeData = R"(
import random
random.seed(5)
words = ['alpha', 'beta', 'gamma', 'delta', 'window', 'inflate', '\n', 'zip', ' ']
open('text.txt', 'w').write(''.join(random.choice(words) + ' ' for _ in range(120000)))
chunk = bytes(random.getrandbits(8) for _ in range(50000))
open('binary.bin', 'wb').write(chunk + chunk[1000:40000] + bytes(random.getrandbits(8) for _ in range(90000)) + chunk)
open('runs.bin', 'wb').write(b'a' * 70000 + b'ab' * 40000 + bytes(range(256)) * 600 + b'\0' * 200000)
open('empty.txt', 'w').write('')
open('tiny.txt', 'w').write('x')
)";

struct Archive {
    std::string directory = makeTempDirectory();
    ~Archive() { removeTree(directory); }
};

void expectRoundTrip(const std::vector<uint8_t>& zip, const std::string& directory, unsigned method) {
    const auto entries = readEntries(zip);
    ASSERT_GE(entries.size(), 5u);
    DecoderState d;  // one state for all entries, as in one engine call
    unsigned decoded = 0;
    for (const StoredEntry& e : entries) {
        SCOPED_TRACE(e.name);
        if (e.method == 0) continue;  // 7-Zip stores what does not compress
        EXPECT_EQ(e.method, method);
        ++decoded;
        ASSERT_EQ(d.inflate(e.data, e.method == 9, e.uncompressedSize + 1), 0);
        EXPECT_EQ(d.output, readFile(directory + "/" + e.name));
        EXPECT_EQ(crc32Update(0, d.output.data(), d.output.size()), e.crc);
    }
    EXPECT_GE(decoded, 2u);
}

}  // namespace

TEST(DecodersRoundTrip, PythonZipfileDeflateLevels) {
    Archive a;
    ASSERT_TRUE(runPython(std::string(makeData) + R"(
import zipfile
for level in (1, 6, 9):
    with zipfile.ZipFile('level%d.zip' % level, 'w', zipfile.ZIP_DEFLATED, compresslevel=level) as z:
        for name in ('text.txt', 'binary.bin', 'runs.bin', 'empty.txt', 'tiny.txt'):
            z.write(name)
)", a.directory));
    for (int level : {1, 6, 9}) {
        SCOPED_TRACE(level);
        expectRoundTrip(readFile(a.directory + "/level" + std::to_string(level) + ".zip"), a.directory, 8);
    }
}

TEST(DecodersRoundTrip, SevenZipDeflateAndDeflate64) {
    Archive a;
    ASSERT_TRUE(runPython(makeData, a.directory));
    for (const char* m : {"Deflate", "Deflate64"}) {
        SCOPED_TRACE(m);
        const std::string zip = a.directory + "/" + m + ".zip";
        const std::string command = "cd '" + a.directory + "' && 7zz a -tzip -mx=9 -mm=" + m + " '" + zip +
                                    "' text.txt binary.bin runs.bin empty.txt tiny.txt > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        expectRoundTrip(readFile(zip), a.directory, std::string(m) == "Deflate" ? 8 : 9);
    }
}

TEST(DecodersRoundTrip, ACorruptedStreamNeverReadsOrWritesOutOfBounds) {
    // Flipped bytes in a real stream: whatever the result, the sanitizers stay quiet
    // and the output never exceeds the room given.
    Archive a;
    ASSERT_TRUE(runPython(std::string(makeData) + R"(
import zipfile
with zipfile.ZipFile('t.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.write('binary.bin')
    z.write('text.txt')
)", a.directory));
    const auto entries = readEntries(readFile(a.directory + "/t.zip"));
    ASSERT_EQ(entries.size(), 2u);
    uint32_t seed = 1;
    for (const StoredEntry& e : entries) {
        for (int trial = 0; trial < 60; ++trial) {
            std::vector<uint8_t> damaged = e.data;
            for (int k = 0; k < 1 + trial % 4; ++k) {
                seed = seed * 1103515245u + 12345u;
                damaged[(seed >> 8) % damaged.size()] ^= uint8_t(1 + (seed >> 24) % 255);
            }
            if (trial % 5 == 0) damaged.resize(damaged.size() * size_t(trial % 7 + 1) / 8);
            DecoderState d;
            const int r = d.inflate(damaged, trial % 2 == 1, e.uncompressedSize + 100);
            EXPECT_TRUE((r >= DECODE_OK && r <= DECODE_NO_DISTANCES) || r == RC_DISKFULL) << r;
        }
    }
}

// ----- compressed extra-field blocks ------------------------------------------------------

namespace {

std::vector<uint8_t> fieldBlock(unsigned method, uint32_t crc, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> block(6 + data.size());
    block[0] = uint8_t(method);
    block[1] = uint8_t(method >> 8);
    for (int i = 0; i < 4; ++i) block[2 + i] = uint8_t(crc >> (8 * i));
    std::copy(data.begin(), data.end(), block.begin() + 6);
    return block;
}

// A raw deflate stream of `text` as fixed-code literals.
std::vector<uint8_t> deflateLiterals(const std::string& text) {
    BitWriter w;
    w.put(1, 1);
    w.put(1, 2);
    for (unsigned char c : text) {
        if (c < 144) w.putCode(0x30 + c, 8);
        else w.putCode(0x190 + c - 144, 9);
    }
    w.putCode(0, 7);
    return w.bytes;
}

}  // namespace

TEST(DecodersFieldBlock, InflatesChecksAndRestoresTheReader) {
    const std::string text = "security descriptor bytes";
    const uint32_t crc = crc32Update(0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    const auto block = fieldBlock(8, crc, deflateLiterals(text));
    DecoderState d;
    uint8_t readerBytes[4] = {1, 2, 3, 4};
    d.state->inputPos = readerBytes;
    d.state->inputCount = 4;
    d.state->compressedLeft = 1234;
    std::vector<uint8_t> target(text.size());
    EXPECT_EQ(extractFieldBlock(d.state, target.data(), target.size(), block.data(), block.size()), RC_OK);
    EXPECT_EQ(std::string(target.begin(), target.end()), text);
    EXPECT_EQ(d.state->inputPos, readerBytes);
    EXPECT_EQ(d.state->inputCount, 4);
    EXPECT_EQ(d.state->compressedLeft, 1234);
    EXPECT_FALSE(d.state->memoryInput);
    EXPECT_EQ(capturedText, "");

    std::vector<uint8_t> stored(3);
    const auto storedBlock = fieldBlock(0, crc32Update(0, reinterpret_cast<const uint8_t*>("abc"), 3),
                                        {'a', 'b', 'c'});
    EXPECT_EQ(extractFieldBlock(d.state, stored.data(), 3, storedBlock.data(), storedBlock.size()), RC_OK);
    EXPECT_EQ(extractFieldBlock(d.state, stored.data(), 2, storedBlock.data(), storedBlock.size()), RC_ERROR);
}

TEST(DecodersFieldBlock, FailuresAndTheirMessages) {
    const std::string text = "0123456789";
    const uint32_t crc = crc32Update(0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    std::vector<uint8_t> target(text.size() - 1);
    {   // does not fit the target: reported as invalid data
        DecoderState d;
        const auto block = fieldBlock(8, crc, deflateLiterals(text));
        EXPECT_EQ(extractFieldBlock(d.state, target.data(), target.size(), block.data(), block.size()), RC_ERROR);
        EXPECT_EQ(capturedText, "\n  error:  invalid compressed data to inflate\n");
    }
    {   // unknown method: silent code in test mode, a message otherwise
        DecoderState d;
        const auto block = fieldBlock(12, 0, {1, 2, 3});
        d.state->testOnly = true;
        EXPECT_EQ(extractFieldBlock(d.state, target.data(), target.size(), block.data(), block.size()), 3074);
        EXPECT_EQ(capturedText, "");
        d.state->testOnly = false;
        EXPECT_EQ(extractFieldBlock(d.state, target.data(), target.size(), block.data(), block.size()), RC_ERROR);
        EXPECT_EQ(capturedText, "\nerror:  unsupported extra-field compression type (12)--skipping\n");
    }
    {   // bad CRC
        DecoderState d;
        std::strcpy(d.state->currentArchive, "arc.zip");
        std::vector<uint8_t> room(text.size());
        const auto block = fieldBlock(8, crc ^ 1, deflateLiterals(text));
        EXPECT_EQ(extractFieldBlock(d.state, room.data(), room.size(), block.data(), block.size()), RC_ERROR);
        char expected[100];
        std::snprintf(expected, sizeof expected, "error [arc.zip]:  bad extra-field CRC %08x (should be %08x)\n",
                      crc, crc ^ 1);
        EXPECT_EQ(capturedText, expected);
        d.state->testOnly = true;
        EXPECT_EQ(extractFieldBlock(d.state, room.data(), room.size(), block.data(), block.size()), 2050);
    }
    {   // shorter than its own header
        DecoderState d;
        const uint8_t tiny[3] = {8, 0, 0};
        EXPECT_EQ(extractFieldBlock(d.state, target.data(), target.size(), tiny, 3), RC_EFTRUNC);
    }
}
