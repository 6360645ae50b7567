// inflateData on raw deflate streams (method 8), checked against zlib's raw inflate
// and against itself on the in-memory path.
//
// zlib starts with an empty history; our window starts as zeros and a distance reaching
// before the stream's start reads them. zlib is therefore given a dictionary of 32 KiB
// zeros, the farthest a deflate distance reaches, and the two must then agree:
//
// * When zlib decodes the stream to its end, ours succeeds with the same bytes, except
//   in one case where our decoder is deliberately stricter: a dynamic block that
//   declares length codes but gives no distance code a length (zlib accepts it as long
//   as no length code is used). Ours then fails with DECODE_NO_DISTANCES.
// * When zlib rejects the stream, ours may still succeed only where our decoder's rules
//   are deliberately more lenient, each recognised here:
//   - end of input: bits missing after the last byte read as zeros once. zlib is run
//     again on the stream followed by zero bytes and must then produce our bytes;
//   - an incomplete distance code set ("invalid distances set"), a code-length code of
//     a single one-bit code ("invalid code lengths set"), up to 288 literal/length and
//     32 distance codes declared ("too many length or distance symbols"), and a repeat
//     code at the start of the code lengths repeating length 0 ("invalid bit length
//     repeat"). zlib refuses these while building its tables, so there is no output
//     to compare; the decoder's own tests cover what they produce.
//   Anything else is a divergence and aborts.
//
// The in-memory run (the path of compressed extra-field blocks) must give the same
// result and bytes as the run through the archive reader, whatever the stream.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <zlib.h>

#include "decoder_harness.h"
#include "engine/inflate.h"

namespace {

struct ZlibOutcome {
    bool complete = false;   // reached the end of the final block
    std::string message;     // zlib's text when it rejected the stream
    std::vector<uint8_t> output;
};

ZlibOutcome zlibInflate(const std::vector<uint8_t>& stream) {
    ZlibOutcome outcome;
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) std::abort();
    static const std::vector<uint8_t> zeros(32768, 0);
    if (inflateSetDictionary(&z, zeros.data(), uInt(zeros.size())) != Z_OK) std::abort();
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = uInt(stream.size());
    uint8_t chunk[65536];
    int status;
    do {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        status = inflate(&z, Z_NO_FLUSH);
        outcome.output.insert(outcome.output.end(), chunk, chunk + (sizeof chunk - z.avail_out));
    } while (status == Z_OK && outcome.output.size() <= fuzz::kOutputLimit);
    outcome.complete = status == Z_STREAM_END;
    if (status == Z_DATA_ERROR && z.msg != nullptr) outcome.message = z.msg;
    inflateEnd(&z);
    return outcome;
}

bool lenientHeaderRule(const std::string& message) {
    return message == "invalid distances set" || message == "invalid code lengths set" ||
           message == "too many length or distance symbols" ||
           message == "invalid bit length repeat";
}

[[noreturn]] void divergence(const char* what, const std::string& detail) {
    std::fprintf(stderr, "inflate divergence: %s %s\n", what, detail.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> stream(data, data + size);
    const fuzz::DecoderOutcome ours = fuzz::runDecoder(data, size, {8});
    if (ours.output.size() >= fuzz::kOutputLimit) return 0;

    // Room for exactly what the reader path produced and one byte more: producing
    // more (or less) shows as a different result or different bytes.
    const fuzz::DecoderOutcome inMemory =
        fuzz::runInflateInMemory(data, size, false, ours.output.size() + 1);
    if (inMemory.result != ours.result || inMemory.output != ours.output)
        divergence("between the reader and the in-memory path,",
                   std::to_string(ours.result) + " against " + std::to_string(inMemory.result));

    const ZlibOutcome zlib = zlibInflate(stream);
    if (zlib.output.size() > fuzz::kOutputLimit) return 0;
    if (zlib.complete) {
        if (ours.result == DECODE_NO_DISTANCES) return 0;
        if (ours.result != DECODE_OK) divergence("zlib decodes, ours fails with", std::to_string(ours.result));
        if (ours.output != zlib.output) divergence("different bytes", "");
        return 0;
    }
    if (ours.result != DECODE_OK) return 0;
    std::vector<uint8_t> padded = stream;
    padded.insert(padded.end(), 16, 0);
    const ZlibOutcome again = zlibInflate(padded);
    if (again.complete) {
        if (again.output != ours.output) divergence("different bytes at the end of input", "");
        return 0;
    }
    if (!lenientHeaderRule(zlib.message) && !lenientHeaderRule(again.message))
        divergence("ours accepts what zlib rejects:", zlib.message);
    return 0;
}
