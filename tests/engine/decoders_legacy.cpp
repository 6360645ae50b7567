// Unshrink and explode: streams from small encoders written here (LZW with widening
// and partial clears; implode items with fixed six-bit codes), the end-of-data rules
// of both, damaged input, and the peer archives of other tools through the engine.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "decoders_support.h"
#include "engine/explode.h"
#include "engine/reader.h"
#include "engine/state.h"
#include "engine/unshrink.h"

using namespace decoders_test;

namespace {

// An engine state whose byte reader serves a buffer as the entry's data (ending as the
// archive reader ends an entry) and whose output goes to printText as console output.
struct LegacyState : DecoderState {
    EntryInfo entry{};
    std::vector<uint8_t> outputBuffer = std::vector<uint8_t>(OUTPUT_BUFFER_SIZE);

    LegacyState() {
        state->writeToConsole = true;
        state->currentEntry = &entry;
        state->outputBuffer = outputBuffer.data();
    }
    void feedEntry(const std::vector<uint8_t>& bytes) {
        feed(bytes);
        state->memoryInput = false;
        state->compressedLeft = 0;  // as after limiting the reader to the entry
        state->local.compressedSize = bytes.size();
        capturedText.clear();
    }
};

// ----- shrink encoder -------------------------------------------------------------------
// Mirrors the decoder's bookkeeping: a code is assigned when the code after it is
// sent (parent: the previous code, value: the first byte of the new string), from the
// lowest free code above the last one assigned. A partial clear frees every code that
// is no other's parent. An assignment whose parent had just been freed gives a code
// the encoder never uses.
struct ShrinkEncoder {
    BitWriter out;
    unsigned width = 9;
    uint16_t parent[8192];
    uint8_t value[8192];
    bool assigned[8192] = {};
    std::map<uint32_t, unsigned> dictionary;  // parent << 8 | byte -> code
    unsigned lastAssigned = 256;
    int previous = -1;
    std::vector<unsigned> assignedAfterClear;  // codes assigned right after each clear

    ShrinkEncoder() {
        for (unsigned c = 0; c < 256; ++c) assigned[c] = true;
        assigned[256] = true;
    }
    uint8_t firstByte(unsigned code) const {
        while (code > 255) code = parent[code];
        return uint8_t(code);
    }
    void control(unsigned what) {
        out.put(256, width);
        out.put(what, width);
    }
    bool emit(unsigned code) {
        while (code >= (1u << width)) {
            control(1);
            ++width;
        }
        out.put(code, width);
        if (previous >= 0) {
            unsigned next = lastAssigned + 1;
            while (next < 8192 && assigned[next]) ++next;
            if (next == 8192) return false;
            if (lastAssigned == 256 && !assignedAfterClear.empty() && assignedAfterClear.back() == 0)
                assignedAfterClear.back() = next;
            const bool usable = assigned[previous];
            parent[next] = uint16_t(previous);
            value[next] = firstByte(code);
            assigned[next] = true;
            lastAssigned = next;
            if (usable) dictionary[uint32_t(previous) << 8 | value[next]] = next;
        }
        previous = int(code);
        return true;
    }
    bool nothingFreeAbove() const {
        for (unsigned c = lastAssigned + 1; c < 8192; ++c)
            if (!assigned[c]) return false;
        return true;
    }
    void partialClear() {
        control(2);
        bool isParent[8192] = {};
        for (unsigned c = 257; c <= lastAssigned; ++c)
            if (assigned[c] && parent[c] > 256 && parent[c] <= lastAssigned) isParent[parent[c]] = true;
        for (unsigned c = 257; c <= lastAssigned; ++c) {
            if (isParent[c] || !assigned[c]) continue;
            assigned[c] = false;
            dictionary.erase(uint32_t(parent[c]) << 8 | value[c]);
        }
        lastAssigned = 256;
        assignedAfterClear.push_back(0);
    }
    // Greedy longest match; a partial clear every `clearEvery` codes and whenever no
    // code is left to assign.
    std::vector<uint8_t> encode(const std::vector<uint8_t>& data, unsigned clearEvery) {
        if (data.empty()) return {};
        unsigned w = data[0];
        unsigned sent = 0;
        for (size_t i = 1; i <= data.size(); ++i) {
            if (i < data.size()) {
                auto found = dictionary.find(uint32_t(w) << 8 | data[i]);
                if (found != dictionary.end()) {
                    w = found->second;
                    continue;
                }
            }
            emit(w);
            if (++sent % clearEvery == 0 || nothingFreeAbove()) partialClear();
            if (i < data.size()) w = data[i];
        }
        return out.bytes;
    }
};

std::vector<uint8_t> sampleText(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    static const char* words[] = {"shrink", "code", "table", "clear", "width", "the", "a", "of", "LZW",
                                  "partial", "\r\n", "archive", "bytes", "0123", "zz"};
    std::vector<uint8_t> text;
    while (text.size() < size) {
        const char* w = words[random() % 15];
        text.insert(text.end(), w, w + std::strlen(w));
        text.push_back(random() % 7 == 0 ? uint8_t('A' + random() % 26) : ' ');
    }
    text.resize(size);
    return text;
}

}  // namespace

TEST(DecodersUnshrink, RoundTripsThroughWideningAndPartialClears) {
    for (unsigned clearEvery : {100000u, 2500u}) {
        SCOPED_TRACE(clearEvery);
        const auto data = sampleText(400000, clearEvery);
        ShrinkEncoder encoder;
        const auto stream = encoder.encode(data, clearEvery);
        EXPECT_EQ(encoder.width, 13u);
        ASSERT_FALSE(encoder.assignedAfterClear.empty());
        // After a clear the first code assigned is the lowest one freed: 257 unless it
        // was some other code's parent.
        for (unsigned c : encoder.assignedAfterClear) EXPECT_GT(c, 256u);
        LegacyState d;
        d.feedEntry(stream);
        ASSERT_EQ(unshrinkData(d.state), 0);
        ASSERT_EQ(capturedText.size(), data.size());
        EXPECT_TRUE(capturedText == std::string(data.begin(), data.end()));
    }
}

TEST(DecodersUnshrink, UnassignedCodeRepeatsThePreviousStringAndItsFirstByte) {
    BitWriter w;
    w.put('a', 9);
    w.put(257, 9);  // not assigned yet: "a" + "a"
    w.put(258, 9);  // "aa" + "a"
    LegacyState d;
    d.feedEntry(w.bytes);
    EXPECT_EQ(unshrinkData(d.state), 0);
    EXPECT_EQ(capturedText, "aaaaaa");
}

TEST(DecodersUnshrink, EmptyStreamWideningPast13BitsAndDamagedInput) {
    {
        LegacyState d;
        d.feedEntry({});
        EXPECT_EQ(unshrinkData(d.state), 0);
        EXPECT_EQ(capturedText, "");
    }
    {
        BitWriter w;
        w.put('x', 9);
        for (unsigned width = 9; width <= 13; ++width) {
            w.put(256, width);
            w.put(1, width);
        }
        w.put('y', 14);
        LegacyState d;
        d.feedEntry(w.bytes);
        EXPECT_EQ(unshrinkData(d.state), DECODE_INVALID);
    }
    std::mt19937 random(3);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<uint8_t> noise(1 + random() % 3000);
        for (auto& b : noise) b = uint8_t(random());
        LegacyState d;
        d.feedEntry(noise);
        const int r = unshrinkData(d.state);
        EXPECT_TRUE(r == DECODE_OK || r == DECODE_INVALID) << r;
    }
}

// ----- implode -------------------------------------------------------------------------------

namespace {

// Items with every length and distance code six bits long (a complete code of 64),
// no literal code, 4 KiB dictionary: literals as 1 + 8 bits, copies as 0 + 6 low
// distance bits + distance code + length code (+ 8 bits for code 63), codes
// complemented.
struct ImplodeWriter {
    BitWriter out;
    ImplodeWriter() {
        for (int tree = 0; tree < 2; ++tree) {
            out.putByte(3);  // four runs
            for (int run = 0; run < 4; ++run) out.putByte(0xF5);  // 16 codes of 6 bits
        }
    }
    void literal(uint8_t b) {
        out.put(1, 1);
        out.put(b, 8);
    }
    void copy(unsigned distance, unsigned length) {  // distance 1..4096, length 2..
        out.put(0, 1);
        out.put((distance - 1) & 63, 6);
        out.putCode(~((distance - 1) >> 6) & 63, 6);
        const unsigned code = length - 2 < 63 ? length - 2 : 63;
        out.putCode(~code & 63, 6);
        if (code == 63) out.put(length - 2 - 63, 8);
    }
};

int explode(LegacyState& d, const std::vector<uint8_t>& stream, uint64_t size, uint16_t flags = 0) {
    d.feedEntry(stream);
    d.state->local.uncompressedSize = size;
    d.state->local.flags = flags;
    return explodeData(d.state);
}

}  // namespace

TEST(DecodersExplode, LiteralsCopiesAndTheExactEnd) {
    ImplodeWriter w;
    for (char c : std::string("abc")) w.literal(uint8_t(c));
    w.copy(3, 6);
    w.copy(1, 70);  // length code 63 and 8 more bits
    const std::string expected = "abcabcabc" + std::string(70, 'c');
    {
        LegacyState d;
        EXPECT_EQ(explode(d, w.out.bytes, expected.size()), 0);
        EXPECT_EQ(capturedText, expected);
    }
    {   // one byte more than the decoder consumed: a size mismatch, one byte short
        auto longer = w.out.bytes;
        longer.push_back(0);
        LegacyState d;
        EXPECT_EQ(explode(d, longer, expected.size()), DECODE_SIZE_MISMATCH);
        EXPECT_EQ(d.state->usedCompressed, int64_t(longer.size()) - 1);
        EXPECT_EQ(capturedText, expected);
    }
    {   // data that ends early: more consumed than there was
        auto shorter = w.out.bytes;
        shorter.pop_back();
        shorter.pop_back();
        LegacyState d;
        EXPECT_EQ(explode(d, shorter, expected.size()), DECODE_SIZE_MISMATCH);
        EXPECT_GT(d.state->usedCompressed, int64_t(shorter.size()));
    }
    {   // claims a terabyte: decoding stops soon after the data runs out
        LegacyState d;
        EXPECT_EQ(explode(d, w.out.bytes, uint64_t(1) << 40), DECODE_SIZE_MISMATCH);
        EXPECT_GT(d.state->usedCompressed, int64_t(w.out.bytes.size()));
        EXPECT_LT(capturedText.size(), 1000u);
    }
}

TEST(DecodersExplode, CopiesFromBeforeTheFirstByteGiveZeros) {
    LegacyState d;
    std::memset(d.state->window(), 'Z', WINDOW_SIZE);  // left by an earlier entry
    ImplodeWriter w;
    w.copy(5, 4);
    w.literal('q');
    w.copy(3, 3);  // two zeros and the q
    EXPECT_EQ(explode(d, w.out.bytes, 8), 0);
    EXPECT_EQ(capturedText, std::string("\0\0\0\0q\0\0q", 8));
}

TEST(DecodersExplode, BadTreeDescriptionsAndDamagedData) {
    {
        LegacyState d;  // runs giving 48 of the 64 length codes
        EXPECT_EQ(explode(d, {2, 0xF5, 0xF5, 0xF5}, 10), DECODE_BAD_CODES);
    }
    {
        LegacyState d;  // runs giving 80
        EXPECT_EQ(explode(d, {4, 0xF5, 0xF5, 0xF5, 0xF5, 0xF5}, 10), DECODE_BAD_CODES);
    }
    {
        LegacyState d;  // 64 codes of one bit: over-subscribed
        EXPECT_EQ(explode(d, {3, 0xF0, 0xF0, 0xF0, 0xF0}, 10), DECODE_BAD_CODES);
    }
    std::mt19937 random(11);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<uint8_t> noise(1 + random() % 2000);
        for (auto& b : noise) b = uint8_t(random());
        LegacyState d;
        const int r = explode(d, noise, random() % 100000, uint16_t(random() & 6));
        EXPECT_TRUE(r == DECODE_OK || r == DECODE_INVALID || r == DECODE_BAD_CODES || r == DECODE_SIZE_MISMATCH) << r;
    }
}

// ----- peer archives through the engine ------------------------------------------------------

TEST(DecodersPeers, ShrinkImplodeAndDeflate64ArchivesOfOtherToolsTestClean) {
    for (const char* name : {"shrink.zip", "implode.zip", "la_zip_implode.zip", "la_zip_implode_realloc.zip",
                             "deflate64.zip", "la_zip_high_compression.zip"}) {
        EXPECT_EQ(testArchiveQuietly(peer(name)), RC_OK) << name;
    }
    EXPECT_EQ(testArchiveQuietly(peer("reduce.zip")), RC_UNSUPPORTED);
}
