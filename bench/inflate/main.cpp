// Decoder benchmark: our inflate plus CRC-32 against zlib's raw inflate plus its
// crc32 and against libdeflate, on the deflate entries of one archive, in one
// process. Ours runs the product's path: the block reader on the archive file, the
// window, and the output stage in test mode (CRC, progress event, no write). The
// peers get each entry's compressed bytes from memory and decode into a buffer; so
// does ours a second time ("from memory": the engine's memory input, without the
// reader's file reads), which sets decoder beside decoder.
// Each decoder's pass over the whole corpus is repeated, alternating, and the best
// pass counts (processor time). Prints MB/s of output (1 MB = 10^6 bytes) and the
// ratios.
//
// Mode "test": libdeflate alone over every entry (stored ones only checked), from
// memory and with the CRC-32, as `quenlow-unzip test` goes over the archive; prints the
// median wall and processor time of the passes, for bench/run.sh to set beside it.
#include <zlib.h>
#include <libdeflate.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/crc32.h"
#include "engine/inflate.h"
#include "engine/extract_entry.h"
#include "engine/reader.h"
#include "engine/state.h"

namespace {

struct Entry {
    uint64_t dataOffset;
    uint64_t compressedSize;
    uint64_t size;
    uint32_t crc;
    unsigned method;
};

uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }

std::vector<uint8_t> readWhole(const char* path) {
    std::vector<uint8_t> bytes;
    FILE* f = std::fopen(path, "rb");
    if (!f) return bytes;
    std::fseek(f, 0, SEEK_END);
    bytes.resize(size_t(std::ftell(f)));
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) bytes.clear();
    std::fclose(f);
    return bytes;
}

// The deflate entries, and the stored ones when asked, from the central directory (no
// Zip64: the corpus is smaller).
std::vector<Entry> deflateEntries(const std::vector<uint8_t>& zip, bool withStored = false) {
    std::vector<Entry> entries;
    size_t end = zip.size() - 22;
    while (end > 0 && le32(&zip[end]) != 0x06054b50) --end;
    size_t p = le32(&zip[end + 16]);
    for (unsigned i = 0, n = le16(&zip[end + 10]); i < n; ++i) {
        Entry e{};
        e.method = le16(&zip[p + 10]);
        e.crc = le32(&zip[p + 16]);
        e.compressedSize = le32(&zip[p + 20]);
        e.size = le32(&zip[p + 24]);
        const size_t local = le32(&zip[p + 42]);
        e.dataOffset = local + 30 + le16(&zip[local + 26]) + le16(&zip[local + 28]);
        if (e.method == 8 || (withStored && e.method == 0)) entries.push_back(e);
        p += 46 + le16(&zip[p + 28]) + le16(&zip[p + 30]) + le16(&zip[p + 32]);
    }
    return entries;
}

int ignoreText(const char*, uint32_t length) { return int(length); }
int answerNo(char*, int) { return REPLACE_NO; }

// Processor time of this process: on a machine shared with other work, wall time
// would measure the neighbours as well.
double seconds(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

bool runOurs(EngineState* state, const std::vector<Entry>& entries) {
    for (const Entry& e : entries) {
        if (seekArchive(state, int64_t(e.dataOffset)) != RC_OK) return false;
        state->compressedLeft = int64_t(e.compressedSize);
        limitInputToEntry(state);
        state->runningCrc = 0;
        state->outputLeft = UINT64_MAX;
        const int r = inflateData(state, false);
        restoreInput(state);
        if (r != 0 || state->runningCrc != e.crc) return false;
    }
    return true;
}

bool runOursFromMemory(EngineState* state, const std::vector<uint8_t>& zip,
                       const std::vector<Entry>& entries) {
    bool ok = true;
    state->memoryInput = true;
    for (const Entry& e : entries) {
        state->inputPos = const_cast<uint8_t*>(&zip[e.dataOffset]);
        state->inputCount = int(e.compressedSize);
        state->compressedLeft = 0;
        state->runningCrc = 0;
        state->outputLeft = UINT64_MAX;
        if (inflateData(state, false) != 0 || state->runningCrc != e.crc) ok = false;
    }
    state->memoryInput = false;
    forgetInputBlock(state);
    return ok;
}

bool runZlib(const std::vector<uint8_t>& zip, const std::vector<Entry>& entries, std::vector<uint8_t>& out) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return false;
    bool ok = true;
    for (const Entry& e : entries) {
        inflateReset(&z);
        z.next_in = const_cast<uint8_t*>(&zip[e.dataOffset]);
        z.avail_in = uInt(e.compressedSize);
        uLong crc = crc32(0, nullptr, 0);
        int r;
        do {
            z.next_out = out.data();
            z.avail_out = uInt(65536);
            r = inflate(&z, Z_NO_FLUSH);
            crc = crc32(crc, out.data(), uInt(65536 - z.avail_out));
        } while (r == Z_OK);
        if (r != Z_STREAM_END || crc != e.crc) ok = false;
    }
    inflateEnd(&z);
    return ok;
}

bool runLibdeflate(const std::vector<uint8_t>& zip, const std::vector<Entry>& entries, std::vector<uint8_t>& out) {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    bool ok = d != nullptr;
    for (const Entry& e : entries) {
        if (!ok) break;
        if (e.method == 0) {  // stored: nothing to decode, only the CRC to check
            if (libdeflate_crc32(0, &zip[e.dataOffset], e.size) != e.crc) ok = false;
            continue;
        }
        size_t got = 0;
        if (libdeflate_deflate_decompress(d, &zip[e.dataOffset], e.compressedSize, out.data(), e.size, &got) !=
                LIBDEFLATE_SUCCESS ||
            libdeflate_crc32(0, out.data(), got) != e.crc)
            ok = false;
    }
    libdeflate_free_decompressor(d);
    return ok;
}

// CRC-32 alone over the decoded corpus (one buffer in memory): ours, zlib's and
// libdeflate's, each the best of `passes` alternating passes. Prints MB/s and ratios.
void benchCrc(const std::vector<uint8_t>& data, int passes) {
    const uint8_t* p = data.data();
    const size_t n = data.size();
    double best[3] = {1e9, 1e9, 1e9};
    uint32_t results[3] = {};
    for (int pass = 0; pass < passes; ++pass) {
        double t = seconds();
        results[0] = crc32Update(0, p, n);
        best[0] = std::min(best[0], seconds() - t);
        t = seconds();
        results[1] = uint32_t(crc32_z(0, p, n));
        best[1] = std::min(best[1], seconds() - t);
        t = seconds();
        results[2] = libdeflate_crc32(0, p, n);
        best[2] = std::min(best[2], seconds() - t);
    }
    if (results[0] != results[1] || results[0] != results[2]) std::fprintf(stderr, "CRC-32 results differ\n");
    const double mb = double(n) / 1e6;
    std::printf("CRC-32 alone over %.1f MB in memory; best of %d passes\n", mb, passes);
    std::printf("  quenlow crc32Update              %8.1f MB/s\n", mb / best[0]);
    std::printf("  zlib crc32                       %8.1f MB/s\n", mb / best[1]);
    std::printf("  libdeflate crc32                 %8.1f MB/s\n", mb / best[2]);
    std::printf("  ratio quenlow/zlib %.2f, quenlow/libdeflate %.2f\n", best[1] / best[0], best[2] / best[0]);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[(values.size() - 1) / 2];
}

// libdeflate over every entry, `passes` times: median wall and processor seconds.
int benchTestPeer(const std::vector<uint8_t>& zip, int passes) {
    const std::vector<Entry> entries = deflateEntries(zip, true);
    uint64_t largest = 65536;
    for (const Entry& e : entries) largest = std::max(largest, e.size);
    std::vector<uint8_t> out(largest);
    std::vector<double> wall, processor;
    for (int pass = 0; pass < passes; ++pass) {
        const double w = seconds(CLOCK_MONOTONIC), p = seconds();
        if (!runLibdeflate(zip, entries, out)) return std::fprintf(stderr, "libdeflate failed\n"), 1;
        processor.push_back(seconds() - p);
        wall.push_back(seconds(CLOCK_MONOTONIC) - w);
    }
    std::printf("libdeflate-test entries %zu wall %.3f processor %.3f\n", entries.size(),
                median(wall), median(processor));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ARCHIVE [PASSES [ours|memory|zlib|libdeflate|crc|test]]\n",
                     argv[0]);
        return 2;
    }
    const int passes = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string only = argc > 3 ? argv[3] : "";  // one of the rows only
    const std::vector<uint8_t> zip = readWhole(argv[1]);
    if (zip.size() < 22) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    if (only == "test") return benchTestPeer(zip, passes);
    const std::vector<Entry> entries = deflateEntries(zip);
    uint64_t total = 0, largest = 0;
    for (const Entry& e : entries) {
        total += e.size;
        largest = std::max(largest, e.size);
    }
    std::vector<uint8_t> out(std::max<uint64_t>(largest, 65536));

    UnzipCallbacks callbacks{};
    callbacks.printText = ignoreText;
    callbacks.askReplace = answerNo;
    auto* state = static_cast<EngineState*>(std::calloc(1, sizeof(EngineState)));
    state->callbacks = &callbacks;
    state->testOnly = true;
    state->inputBuffer = static_cast<uint8_t*>(std::malloc(INPUT_BUFFER_SIZE));
    state->archiveFile = std::fopen(argv[1], "rb");
    if (!state->archiveFile) return 2;
    forgetInputBlock(state);
    static EntryInfo entryInfo{};
    state->currentEntry = &entryInfo;

    double best[4] = {1e9, 1e9, 1e9, 1e9};
    for (int pass = 0; pass < passes; ++pass) {
        double t = seconds();
        if (only.empty() || only == "ours") {
            if (!runOurs(state, entries)) return std::fprintf(stderr, "ours failed\n"), 1;
            best[0] = std::min(best[0], seconds() - t);
        }
        t = seconds();
        if (only.empty() || only == "memory") {
            if (!runOursFromMemory(state, zip, entries)) return std::fprintf(stderr, "ours failed\n"), 1;
            best[3] = std::min(best[3], seconds() - t);
        }
        t = seconds();
        if (only.empty() || only == "zlib") {
            if (!runZlib(zip, entries, out)) return std::fprintf(stderr, "zlib failed\n"), 1;
            best[1] = std::min(best[1], seconds() - t);
        }
        t = seconds();
        if (only.empty() || only == "libdeflate") {
            if (!runLibdeflate(zip, entries, out)) return std::fprintf(stderr, "libdeflate failed\n"), 1;
            best[2] = std::min(best[2], seconds() - t);
        }
    }
    const double mb = double(total) / 1e6;
    if (only != "crc") {
        std::printf("corpus: %zu deflate entries, %.1f MB of output; best of %d passes\n", entries.size(), mb, passes);
        // A mode that runs one decoder prints its row alone.
        const char* names[4] = {"quenlow inflateData+crc32Update", "zlib inflate+crc32", "libdeflate",
                                "quenlow from memory"};
        for (int row : {0, 3, 1, 2})
            if (best[row] < 1e9) std::printf("  %-32s %8.1f MB/s\n", names[row], mb / best[row]);
        if (only.empty())
            std::printf("  ratio quenlow/zlib %.2f, quenlow/libdeflate %.2f\n", best[1] / best[0], best[2] / best[0]);
    }
    if (only.empty() || only == "crc") {
        // The decoded corpus, up to 256 MB, as the CRC's input.
        std::vector<uint8_t> decoded;
        libdeflate_decompressor* d = libdeflate_alloc_decompressor();
        for (const Entry& e : entries) {
            if (decoded.size() + e.size > (size_t(256) << 20)) break;
            const size_t at = decoded.size();
            decoded.resize(at + e.size);
            size_t got = 0;
            libdeflate_deflate_decompress(d, &zip[e.dataOffset], e.compressedSize, &decoded[at], e.size, &got);
        }
        libdeflate_free_decompressor(d);
        benchCrc(decoded, passes);
    }
    std::fclose(state->archiveFile);
    std::free(state->inputBuffer);
    std::free(state);
    return 0;
}
