// Inflate and CRC-32: hand-made streams for the rules at the edges of the format and
// of this decoder (end of input, window carried between entries, the variants' code
// sets), and round trips of real data made by Python's zipfile and 7-Zip.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "core_support.h"
#include "decoders_support.h"
#include "engine/crc32.h"
#include "engine/field_block.h"
#include "engine/inflate.h"
#include "engine/state.h"

using namespace decoders_test;

namespace {

// ----- fixed-code encoder -----------------------------------------------------------

void putFixedLiteral(BitWriter& w, unsigned symbol) {
    if (symbol < 144) w.putCode(0x30 + symbol, 8);
    else if (symbol < 256) w.putCode(0x190 + symbol - 144, 9);
    else if (symbol < 280) w.putCode(symbol - 256, 7);
    else w.putCode(0xC0 + symbol - 280, 8);
}

void fixedHeader(BitWriter& w, bool last = true) {
    w.put(last ? 1 : 0, 1);
    w.put(1, 2);
}

// A stored block with the given bytes.
void storedBlock(BitWriter& w, const std::vector<uint8_t>& data, bool last) {
    w.put(last ? 1 : 0, 1);
    w.put(0, 2);
    w.alignToByte();
    w.put(uint32_t(data.size()), 16);
    w.put(uint32_t(~data.size()) & 0xFFFF, 16);
    for (uint8_t b : data) w.putByte(b);
}

// ----- dynamic-block encoder --------------------------------------------------------
// The code-length code gives symbols 0..15 four bits each (a complete code), so every
// length is sent as itself, without repeats.
void dynamicHeader(BitWriter& w, const std::vector<uint8_t>& literals,
                   const std::vector<uint8_t>& distances, bool last = true) {
    static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    w.put(last ? 1 : 0, 1);
    w.put(2, 2);
    w.put(uint32_t(literals.size() - 257), 5);
    w.put(uint32_t(distances.size() - 1), 5);
    w.put(19 - 4, 4);
    std::vector<uint8_t> lengthLengths(19, 0);
    for (unsigned i = 0; i < 16; ++i) lengthLengths[i] = 4;
    for (uint8_t symbol : order) w.put(lengthLengths[symbol], 3);
    const auto codes = canonicalCodes(lengthLengths);
    for (uint8_t l : literals) w.putCode(codes[l], 4);
    for (uint8_t l : distances) w.putCode(codes[l], 4);
}

struct Code {
    std::vector<uint8_t> lengths;
    std::vector<uint32_t> codes;
    explicit Code(std::vector<uint8_t> l) : lengths(std::move(l)), codes(canonicalCodes(lengths)) {}
    void put(BitWriter& w, unsigned symbol) const { w.putCode(codes[symbol], lengths[symbol]); }
};

// 0..255 nine bits and 256..287 six bits: complete over all 288 codes.
std::vector<uint8_t> fullLiteralLengths() {
    std::vector<uint8_t> l(288, 9);
    for (unsigned i = 256; i < 288; ++i) l[i] = 6;
    return l;
}

// A dynamic block with the complete literal code and the distance code `dist`: one
// literal, a match of `lengthSymbol` at distance 1 (distance symbol 0), the end.
std::vector<uint8_t> literalThenRepeat(const Code& dist, unsigned literal, unsigned lengthSymbol) {
    const Code lit(fullLiteralLengths());
    BitWriter w;
    dynamicHeader(w, lit.lengths, dist.lengths);
    lit.put(w, literal);
    lit.put(w, lengthSymbol);
    dist.put(w, 0);
    lit.put(w, 256);
    return w.bytes;
}

std::string text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace

// ----- CRC-32 -------------------------------------------------------------------------

TEST(DecodersCrc32, CheckValueNullBufferAndEmptyUpdate) {
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(crc32Update(0, digits, 9), 0xCBF43926u);
    EXPECT_EQ(crc32Update(0x12345678u, nullptr, 100), 0u);
    EXPECT_EQ(crc32Update(0x12345678u, digits, 0), 0x12345678u);
    EXPECT_EQ(getCrcTable()[1], 0x77073096u);
    EXPECT_EQ(getCrcTable()[255], 0x2D02EF8Du);
}

TEST(DecodersCrc32, AgreesWithBitwiseCrcAtEveryAlignmentAndSplit) {
    std::mt19937 random(7);
    std::vector<uint8_t> data(1000);
    for (auto& b : data) b = uint8_t(random());
    for (size_t start = 0; start < 20; ++start) {
        for (size_t length : {size_t(0), size_t(1), size_t(15), size_t(16), size_t(17), size_t(333), size_t(900)}) {
            uint32_t reference = 0xFFFFFFFFu;
            for (size_t i = 0; i < length; ++i) {
                reference ^= data[start + i];
                for (int bit = 0; bit < 8; ++bit) reference = (reference >> 1) ^ (0xEDB88320u & (0u - (reference & 1)));
            }
            reference = ~reference;
            EXPECT_EQ(crc32Update(0, data.data() + start, length), reference) << start << " " << length;
            const size_t half = length / 3;
            EXPECT_EQ(crc32Update(crc32Update(0, data.data() + start, half), data.data() + start + half, length - half),
                      reference);
        }
    }
}

// The processor's folding path (where it has one) against the tables alone: random
// lengths around and well past the folding threshold, every alignment, a running value.
TEST(DecodersCrc32, FoldingAgreesWithTablesOnRandomLengthsAndAlignments) {
    std::mt19937 random(18);
    std::vector<uint8_t> data(70000);
    for (auto& b : data) b = uint8_t(random());
    for (int round = 0; round < 2000; ++round) {
        const size_t start = random() % 64;
        const size_t length = round % 2 ? random() % 300 : random() % (data.size() - 64);
        const uint32_t running = random();
        EXPECT_EQ(crc32Update(running, data.data() + start, length),
                  crc32UpdateByTable(running, data.data() + start, length))
            << start << " " << length;
    }
}

// ----- block types and stored blocks --------------------------------------------------

TEST(DecodersInflate, StoredBlocksAndTheirChecks) {
    {
        DecoderState d;
        BitWriter w;
        storedBlock(w, {}, true);
        EXPECT_EQ(d.inflate(w.bytes), 0);
        EXPECT_TRUE(d.output.empty());
    }
    {
        DecoderState d;
        BitWriter w;
        storedBlock(w, {'a', 'b'}, false);
        storedBlock(w, {'c'}, true);
        EXPECT_EQ(d.inflate(w.bytes), 0);
        EXPECT_EQ(text(d.output), "abc");
    }
    {
        DecoderState d;
        std::vector<uint8_t> bad = {0x01, 0x02, 0x00, 0xFC, 0xFF, 'a', 'b'};  // NLEN off by one
        EXPECT_EQ(d.inflate(bad), DECODE_INVALID);
    }
    {
        DecoderState d;
        EXPECT_EQ(d.inflate({0x07}), DECODE_BAD_CODES);  // final, type 3
    }
}

TEST(DecodersInflate, ExactlyOneWindowOfOutputAndMoreThanOne) {
    for (size_t size : {size_t(65536), size_t(65536 * 2 + 17)}) {
        DecoderState d;
        BitWriter w;
        std::vector<uint8_t> data(size);
        for (size_t i = 0; i < size; ++i) data[i] = uint8_t(i * 7 + i / 300);
        for (size_t at = 0; at < size; at += 65535) {
            const size_t n = std::min<size_t>(65535, size - at);
            storedBlock(w, std::vector<uint8_t>(data.begin() + long(at), data.begin() + long(at + n)), at + n == size);
        }
        ASSERT_EQ(d.inflate(w.bytes), 0);
        EXPECT_EQ(d.output, data);
    }
}

TEST(DecodersInflate, OutputThatDoesNotFitTheMemoryTargetIsRefused) {
    DecoderState d;
    BitWriter w;
    storedBlock(w, std::vector<uint8_t>(100, 'x'), true);
    EXPECT_EQ(d.inflate(w.bytes, false, 99), RC_DISKFULL);
}

// A full window goes out as soon as it is full: an invalid code that follows it, at
// whatever point of a fast-loop iteration the window filled, comes after it.
TEST(DecodersInflate, AWindowFilledBeforeAnInvalidCodeStillGoesOut) {
    for (size_t literals = 65533; literals <= 65539; ++literals) {
        BitWriter w;
        fixedHeader(w);
        for (size_t i = 0; i < literals; ++i) putFixedLiteral(w, 'a' + i % 3);
        putFixedLiteral(w, 257);  // length 3, then distance code 30: invalid in deflate
        w.putCode(30, 5);
        for (int i = 0; i < 32; ++i) w.putByte(0);  // input enough for the fast loop
        DecoderState d;
        EXPECT_EQ(d.inflate(w.bytes), DECODE_INVALID) << literals;
        ASSERT_EQ(d.output.size(), literals >= 65536 ? 65536u : 0u) << literals;
        if (literals >= 65536) {
            EXPECT_EQ(d.output[65535], 'a' + 65535 % 3);
        }
    }
}

// ----- the two variants' code sets ----------------------------------------------------

TEST(DecodersInflate, DistanceCodes30And31OnlyInEnhancedDeflate) {
    for (unsigned code : {30u, 31u}) {
        BitWriter w;
        fixedHeader(w);
        for (int i = 0; i < 3; ++i) putFixedLiteral(w, 'a' + i);
        putFixedLiteral(w, 257);  // length 3
        w.putCode(code, 5);
        w.put(0, 14);
        putFixedLiteral(w, 256);
        DecoderState deflate;
        EXPECT_EQ(deflate.inflate(w.bytes, false), DECODE_INVALID) << code;
        DecoderState enhanced;  // reaches back into the (zero) window: valid data
        EXPECT_EQ(enhanced.inflate(w.bytes, true), 0) << code;
        EXPECT_EQ(enhanced.output.size(), 6u);
    }
}

TEST(DecodersInflate, LengthCodes286And287AreInvalidInBothVariants) {
    for (unsigned code : {286u, 287u}) {
        for (bool enhanced : {false, true}) {
            BitWriter w;
            fixedHeader(w);
            putFixedLiteral(w, 'a');
            putFixedLiteral(w, code);
            w.putCode(0, 5);
            putFixedLiteral(w, 256);
            DecoderState d;
            EXPECT_EQ(d.inflate(w.bytes, enhanced), DECODE_INVALID) << code << enhanced;
        }
    }
}

TEST(DecodersInflate, LengthCode285DiffersBetweenVariants) {
    BitWriter w;
    fixedHeader(w);
    putFixedLiteral(w, 'x');
    putFixedLiteral(w, 285);
    w.put(0xFFFF, 16);  // enhanced: 16 extra bits, length 3 + 65535; deflate: none
    w.putCode(0, 5);    // distance 1
    putFixedLiteral(w, 256);
    DecoderState enhanced;
    ASSERT_EQ(enhanced.inflate(w.bytes, true), 0);
    EXPECT_EQ(enhanced.output, std::vector<uint8_t>(65539, 'x'));
    // Under deflate the same bits read 285 as length 258, then the 16 one bits as
    // further codes, which cannot make a valid end.
    DecoderState deflate;
    EXPECT_NE(deflate.inflate(w.bytes, false), 0);
}

TEST(DecodersInflate, EnhancedDistanceReachesBackTheWholeWindow) {
    std::vector<uint8_t> data(65536);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i ^ (i >> 8));
    BitWriter w;
    storedBlock(w, std::vector<uint8_t>(data.begin(), data.begin() + 65535), false);
    storedBlock(w, {data[65535]}, false);
    fixedHeader(w);
    putFixedLiteral(w, 265);  // length 11 + 1 extra bit
    w.put(1, 1);              // length 12
    w.putCode(31, 5);         // distance 49153 + 14 extra bits
    w.put(16383, 14);         // distance 65536
    putFixedLiteral(w, 256);
    DecoderState d;
    ASSERT_EQ(d.inflate(w.bytes, true), 0);
    ASSERT_EQ(d.output.size(), 65536u + 12);
    EXPECT_TRUE(std::equal(d.output.begin() + 65536, d.output.end(), data.begin()));
}

// The fast loop copies a short match in whole words, writing a little past its end. A
// match decoded after it the careful way (near the end of the input) that reaches
// back almost the whole window must still read the bytes of a window ago.
TEST(DecodersInflate, EnhancedFarMatchAfterAFastMatchReadsTheBytesOfAWindowAgo) {
    std::vector<uint8_t> expected;
    BitWriter w;
    fixedHeader(w);
    auto literal = [&](uint8_t byte) {
        putFixedLiteral(w, byte);
        expected.push_back(byte);
    };
    auto match = [&](unsigned distanceCode, uint32_t extra, unsigned extraBits, uint32_t distance) {
        putFixedLiteral(w, 257);  // length 3
        w.putCode(distanceCode, 5);
        w.put(extra, extraBits);
        for (int i = 0; i < 3; ++i) expected.push_back(expected[expected.size() - distance]);
    };
    for (size_t i = 0; i < 65536 + 100; ++i) literal(uint8_t('a' + i % 26));
    literal('Z');
    match(0, 0, 0, 1);  // a run of 'Z', copied in words well past its end
    for (int i = 0; i < 20; ++i) literal(uint8_t('0' + i % 10));
    match(31, 65534 - 49153, 14, 65534);  // reads 2 bytes ahead in the window, a window ago
    putFixedLiteral(w, 256);
    DecoderState d;
    ASSERT_EQ(d.inflate(w.bytes, true), 0);
    EXPECT_EQ(d.output, expected);
}

// ----- dynamic blocks -----------------------------------------------------------------

TEST(DecodersInflate, DynamicBlockWithAll288And32CodesIsAccepted) {
    const Code lit(fullLiteralLengths());
    const Code dist(std::vector<uint8_t>(32, 5));
    BitWriter w;
    dynamicHeader(w, lit.lengths, dist.lengths);
    lit.put(w, 'h');
    lit.put(w, 'i');
    lit.put(w, 257);  // length 3
    dist.put(w, 1);   // distance 2
    lit.put(w, 256);
    DecoderState d;
    ASSERT_EQ(d.inflate(w.bytes), 0);
    EXPECT_EQ(text(d.output), "hihih");

    BitWriter bad;  // the same code set, now using a code deflate does not define
    dynamicHeader(bad, lit.lengths, dist.lengths);
    lit.put(bad, 'h');
    lit.put(bad, 286);
    dist.put(bad, 0);
    lit.put(bad, 256);
    DecoderState d2;
    EXPECT_EQ(d2.inflate(bad.bytes), DECODE_INVALID);
}

TEST(DecodersInflate, IncompleteCodeSetsAndTheirNotes) {
    {   // incomplete literal/length code: refused; the decoder says nothing, its caller
        // notes it before the error at message level 0
        std::vector<uint8_t> lengths(257, 9);
        BitWriter w;
        dynamicHeader(w, lengths, {1});
        DecoderState d;
        EXPECT_EQ(d.inflate(w.bytes), DECODE_INCOMPLETE_LITERALS);
        EXPECT_EQ(capturedText, "");
        std::vector<uint8_t> block = {8, 0, 0, 0, 0, 0};  // method, CRC
        block.insert(block.end(), w.bytes.begin(), w.bytes.end());
        uint8_t target[16];
        EXPECT_EQ(extractFieldBlock(d.state, target, sizeof target, block.data(), block.size()), RC_ERROR);
        EXPECT_EQ(capturedText, "(incomplete l-tree)  \n  error:  invalid compressed data to inflate\n");
        capturedText.clear();
        d.state->quietLevel = 1;
        EXPECT_EQ(extractFieldBlock(d.state, target, sizeof target, block.data(), block.size()), RC_ERROR);
        EXPECT_EQ(capturedText, "\n  error:  invalid compressed data to inflate\n");
    }
    {   // incomplete distance code: accepted
        const Code lit(fullLiteralLengths());
        const Code dist({2, 2, 0, 0});
        BitWriter w;
        dynamicHeader(w, lit.lengths, dist.lengths);
        lit.put(w, 'a');
        lit.put(w, 'b');
        lit.put(w, 257);
        dist.put(w, 1);  // distance 2
        lit.put(w, 256);
        DecoderState d;
        EXPECT_EQ(d.inflate(w.bytes), 0);
        EXPECT_EQ(text(d.output), "ababa");
        EXPECT_EQ(capturedText, "");
    }
    {   // length codes present, no distance code at all
        std::vector<uint8_t> lengths(258, 9);
        lengths[256] = 2;
        lengths[257] = 2;
        BitWriter w;
        dynamicHeader(w, lengths, {0});
        DecoderState d;
        EXPECT_EQ(d.inflate(w.bytes), DECODE_NO_DISTANCES);
        EXPECT_STREQ(incompleteCodeNote(DECODE_NO_DISTANCES), "(incomplete d-tree)  ");
    }
    {   // nothing shorter than 15 bits: the tables keep their usual first level (they
        // used to widen it to 15 bits, which the state's storage could not hold)
        const std::vector<uint8_t> stream = literalThenRepeat(Code({15, 15}), 'q', 257);  // length 3
        DecoderState d;
        EXPECT_EQ(d.inflate(stream), 0);
        EXPECT_EQ(text(d.output), "qqqq");
        // The same through the output stage, where the tables live in the state.
        DecoderState tested;
        tested.feed(stream);
        tested.state->testOnly = true;
        EXPECT_EQ(inflateData(tested.state, false), 0);
        const uint8_t expected[] = {'q', 'q', 'q', 'q'};
        EXPECT_EQ(tested.state->runningCrc, crc32Update(0, expected, 4));
        std::vector<uint8_t> longLiterals(257, 15);
        BitWriter l;
        dynamicHeader(l, longLiterals, {1});
        DecoderState e;
        EXPECT_EQ(e.inflate(l.bytes), DECODE_INCOMPLETE_LITERALS);
    }
    {   // a single distance code of one bit decodes normally
        DecoderState d;
        EXPECT_EQ(d.inflate(literalThenRepeat(Code({1}), 'z', 258)), 0);  // length 4
        EXPECT_EQ(text(d.output), "zzzzz");
    }
}

TEST(DecodersInflate, OverSubscribedAndOverrunningCodeLengths) {
    {   // three one-bit codes
        std::vector<uint8_t> lengths(257, 0);
        lengths[0] = lengths[1] = lengths[256] = 1;
        BitWriter w;
        dynamicHeader(w, lengths, {1});
        DecoderState d;
        EXPECT_EQ(d.inflate(w.bytes), DECODE_BAD_CODES);
    }
    {   // a repeat of zeros running past the last code length
        BitWriter w;
        w.put(1, 1);
        w.put(2, 2);
        w.put(0, 5);   // 257 literal/length codes
        w.put(0, 5);   // 1 distance code
        w.put(15, 4);  // 19 code-length lengths
        // code-length code: 18 and 1 get one bit each... 18 -> 1 bit, 1 -> 1 bit.
        static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        std::vector<uint8_t> ll(19, 0);
        ll[18] = 1;
        ll[1] = 1;
        for (uint8_t s : order) w.put(ll[s], 3);
        const auto codes = canonicalCodes(ll);
        for (int i = 0; i < 2; ++i) {  // 2 x 138 zeros: 276 > 258
            w.putCode(codes[18], 1);
            w.put(127, 7);
        }
        DecoderState d;
        EXPECT_EQ(d.inflate(w.bytes), DECODE_INVALID);
    }
}

// ----- the window between entries -----------------------------------------------------

TEST(DecodersInflate, BackReferenceBeforeTheEntryReadsThePreviousEntrysWindow) {
    DecoderState d;
    BitWriter first;
    storedBlock(first, {'p', 'r', 'e', 'v'}, true);
    ASSERT_EQ(d.inflate(first.bytes), 0);

    BitWriter second;  // starts at window position 0: distance 3 reaches 65533..65535
    fixedHeader(second);
    putFixedLiteral(second, 257);  // length 3
    second.putCode(2, 5);          // distance 3
    putFixedLiteral(second, 256);
    ASSERT_EQ(d.inflate(second.bytes), 0);
    EXPECT_EQ(d.output, std::vector<uint8_t>(3, 0));  // zeros: nothing written there yet

    // Fill a whole window, then reach back from the start of the next entry.
    std::vector<uint8_t> data(65536);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 13);
    BitWriter full;
    storedBlock(full, std::vector<uint8_t>(data.begin(), data.begin() + 65535), false);
    storedBlock(full, {data.back()}, true);
    ASSERT_EQ(d.inflate(full.bytes), 0);
    ASSERT_EQ(d.inflate(second.bytes), 0);
    EXPECT_EQ(d.output, std::vector<uint8_t>(data.end() - 3, data.end()));
}

// Testing an archive whose large entries a second thread decodes ahead of the walk
// (where there are two processors) gives what decoding each in turn gives: the
// window a decoded-ahead entry leaves, a stream that needs the window before its own
// start, and a bad CRC found ahead.
TEST(DecodersInflate, EntriesDecodedAheadKeepTheWindowAndTheResults) {
    std::mt19937 random(7);
    auto noise = [&random](size_t size) {
        std::vector<uint8_t> bytes(size);
        for (uint8_t& b : bytes) b = uint8_t(random());
        return bytes;
    };
    auto storedStream = [](BitWriter& w, const std::vector<uint8_t>& data) {
        for (size_t at = 0; at < data.size(); at += 65535) {
            const size_t end = std::min(data.size(), at + 65535);
            storedBlock(w, std::vector<uint8_t>(data.begin() + long(at), data.begin() + long(end)),
                        end == data.size());
        }
    };
    auto asBytes = [](const std::vector<uint8_t>& v) { return core_test::Bytes(v.begin(), v.end()); };
    auto deflated = [&](const std::string& name, const BitWriter& w, const std::vector<uint8_t>& content) {
        core_test::TestEntry e{name, asBytes(w.bytes)};
        e.method = 8;
        e.uncompressed = asBytes(content);
        return e;
    };
    // Zeros, 258 at a time: much output from little input. The walk decodes these
    // itself (they are too small to decode ahead), which gives the second thread time
    // for the large entry after each.
    auto zeros = [&](const std::string& name, size_t size) {
        BitWriter w;
        fixedHeader(w);
        putFixedLiteral(w, 0);
        for (size_t left = size - 1; left > 0;) {
            if (left >= 258) {
                putFixedLiteral(w, 285);  // length 258, distance 1
                w.putCode(0, 5);
                left -= 258;
            } else {
                putFixedLiteral(w, 0);
                --left;
            }
        }
        putFixedLiteral(w, 256);
        return deflated(name, w, std::vector<uint8_t>(size, 0));
    };
    // Length 3 from 3 bytes back (the careful copy), or from 100 (the fast loop's).
    auto reachBack = [](BitWriter& w, bool last, bool far) {
        fixedHeader(w, last);
        putFixedLiteral(w, 257);
        w.putCode(far ? 13 : 2, 5);
        if (far) w.put(100 - 97, 5);
        putFixedLiteral(w, 256);
    };

    const std::vector<uint8_t> first = noise(24 * 65536);  // ends at window position 0
    const std::vector<uint8_t> lastOfFirst(first.end() - 3, first.end());
    BitWriter firstStream, tailStream, reachStream, badStream;
    storedStream(firstStream, first);
    reachBack(tailStream, true, false);
    reachBack(reachStream, false, true);
    // `reach` follows zeros the walk decoded; the second thread's window, if it were
    // used, would hold `first` there.
    std::vector<uint8_t> reached = noise(21 * 65536);
    storedStream(reachStream, reached);
    reached.insert(reached.begin(), 3, 0);
    const std::vector<uint8_t> bad = noise(19 * 65536);
    storedStream(badStream, bad);

    std::vector<core_test::TestEntry> entries = {
        {"a", "x"},
        zeros("pad1", 4 << 20),
        deflated("first", firstStream, first),
        deflated("tail", tailStream, lastOfFirst),
        zeros("pad2", 3 << 20),
        deflated("reach", reachStream, reached),
        {"b", "y"},
        deflated("bad", badStream, bad),
    };
    entries[7].crc = 0x12345678;
    core_test::TempDir dir;
    const std::string archive = dir.write("ahead.zip", core_test::buildArchive(entries));
    const auto run = core_test::runEngine(archive, [](UnzipOptions& o, UnzipCallbacks&) { o.testOnly = 1; });

    auto testLine = [](const char* name, const std::string& verdict) {
        char line[160];
        std::snprintf(line, sizeof line, "testing: %-22s   %s\n", name, verdict.c_str());
        return std::string(line);
    };
    EXPECT_EQ(run.result, RC_ERROR);
    for (const char* name : {"a", "pad1", "first", "tail", "pad2", "reach", "b"})
        EXPECT_TRUE(core_test::contains(run.messages, testLine(name, "OK"))) << run.messages;
    char badCrc[9];
    std::snprintf(badCrc, sizeof badCrc, "%08x", unsigned(core_test::crc32Of(asBytes(bad))));
    EXPECT_TRUE(core_test::contains(
        run.messages, testLine("bad", "bad CRC " + std::string(badCrc) + "  (should be 12345678)")))
        << run.messages;

    // A stop after the first entry, with the second thread at work on the next.
    const auto stopped = core_test::runEngine(archive, [](UnzipOptions& o, UnzipCallbacks& c) {
        o.testOnly = 1;
        c.entryDone = [](const char*, uint64_t) { return 1; };
    });
    EXPECT_EQ(stopped.result, RC_ABORT);
    EXPECT_FALSE(core_test::contains(stopped.messages, "first")) << stopped.messages;
}

// ----- the end of the input -----------------------------------------------------------

TEST(DecodersInflate, MissingBitsReadAsZerosOnceThenFail) {
    BitWriter w;  // 3 + 8 + 7 bits: the end-of-block code (seven zeros) crosses into byte 3
    fixedHeader(w);
    putFixedLiteral(w, 'a');
    putFixedLiteral(w, 256);
    ASSERT_EQ(w.bytes.size(), 3u);
    DecoderState whole;
    EXPECT_EQ(whole.inflate(w.bytes), 0);
    DecoderState cut;  // two bits of the end code missing: read as zeros, once
    EXPECT_EQ(cut.inflate({w.bytes[0], w.bytes[1]}), 0);
    EXPECT_EQ(text(cut.output), "a");

    BitWriter two;  // 3 + 8 + 8 + 7 bits; cut to 16, the second literal owes bits
    fixedHeader(two);
    putFixedLiteral(two, 'a');
    putFixedLiteral(two, 'b');
    putFixedLiteral(two, 256);
    DecoderState owed;
    EXPECT_EQ(owed.inflate({two.bytes[0], two.bytes[1]}), DECODE_INVALID);

    DecoderState middle;  // input ends inside the final block
    BitWriter longer;
    fixedHeader(longer);
    for (int i = 0; i < 20; ++i) putFixedLiteral(longer, 'a' + i);
    putFixedLiteral(longer, 256);
    longer.bytes.resize(10);
    EXPECT_EQ(middle.inflate(longer.bytes), DECODE_INVALID);
    EXPECT_EQ(DecoderState().inflate({}), DECODE_INVALID);
}

TEST(DecodersInflate, ACodeCutBeforeItsSecondLookupLevelFails) {
    // Literals 0..253 get 8 bits, symbols 256..287 12 bits: a complete code whose
    // end-of-block code is the first 12-bit one, sent as seven ones and five zeros.
    // Cut after A of its bits, the rest reads as zeros and still spells end of block.
    // A two-level lookup with a first level of 9 bits reads those 9 bits first and then
    // owes bits for the second level unless all 9 were real: A < 9 fails, A >= 9 ends.
    std::vector<uint8_t> lengths(288, 0);
    for (unsigned i = 0; i < 254; ++i) lengths[i] = 8;
    for (unsigned i = 256; i < 288; ++i) lengths[i] = 12;
    const Code lit(lengths);
    const Code dist({1});
    bool sawFailure = false, sawSuccess = false;
    for (unsigned matches = 0; matches < 8; ++matches) {
        BitWriter w;
        dynamicHeader(w, lit.lengths, dist.lengths);
        lit.put(w, 'q');
        for (unsigned m = 0; m < matches; ++m) {
            lit.put(w, 257);  // length 3, distance 1: 13 bits, shifting the alignment
            dist.put(w, 0);
        }
        const size_t before = w.bytes.size() * 8 - (8 - w.used) % 8;
        lit.put(w, 256);
        for (size_t kept = (before + 7) / 8; kept <= w.bytes.size(); ++kept) {
            const size_t available = kept * 8 - before;
            if (available < 7 || available > 11) continue;
            DecoderState d;
            const int r = d.inflate(std::vector<uint8_t>(w.bytes.begin(), w.bytes.begin() + long(kept)));
            if (available < 9) {
                EXPECT_EQ(r, DECODE_INVALID) << matches << " " << available;
                sawFailure = true;
            } else {
                EXPECT_EQ(r, 0) << matches << " " << available;
                EXPECT_EQ(d.output.size(), 1 + 3 * matches);
                sawSuccess = true;
            }
        }
    }
    EXPECT_TRUE(sawFailure);
    EXPECT_TRUE(sawSuccess);
}
