/*
 * ZIP writing for quenlow-pack. See zip_writer.h for the layout choices.
 *
 * Files the compression pool deflated in memory are written with complete local
 * headers. Streamed files (larger than the pool takes, in-memory entries, and entries to
 * store) get a provisional local header that is completed once their data is written.
 *
 * Sizes: an entry's local header carries a Zip64 extra block (with both sizes) when
 * its uncompressed size reaches 0xFFFFFFFF; since an entry is stored whenever deflate
 * would not shrink it, its compressed size never exceeds its uncompressed size, so
 * that decision can be taken before the data is written. The central directory adds
 * the Zip64 fields each entry needs, in the order the format fixes: uncompressed size,
 * compressed size, local header offset.
 */
#include "zip_writer.h"

#include "compression_pool.h"
#include "progress.h"
#include "zip_signatures.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>

namespace {

constexpr uint16_t kZip64ExtraTag = 0x0001;
constexpr uint32_t kMax32 = 0xFFFFFFFFu;
constexpr uint16_t kMax16 = 0xFFFFu;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kMadeByUnix = 3 << 8;
constexpr uint16_t kFlagUtf8Name = 1 << 11;
constexpr size_t kChunk = 1 << 16;

void put16(std::string* out, uint32_t value) {
    out->push_back(static_cast<char>(value & 0xFF));
    out->push_back(static_cast<char>((value >> 8) & 0xFF));
}
void put32(std::string* out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}
void put64(std::string* out, uint64_t value) {
    put32(out, static_cast<uint32_t>(value));
    put32(out, static_cast<uint32_t>(value >> 32));
}
uint32_t clamp32(uint64_t value, bool forced) {
    return (forced || value >= kMax32) ? kMax32 : static_cast<uint32_t>(value);
}

bool isAscii(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

void dosTime(std::time_t when, bool utc, uint16_t* time, uint16_t* date) {
    std::tm local{};
    if (utc)
        gmtime_r(&when, &local);
    else
        localtime_r(&when, &local);
    if (local.tm_year < 80) { // DOS dates start in 1980
        *time = 0;
        *date = (1 << 5) | 1;
        return;
    }
    *time = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    *date = static_cast<uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) |
                                  local.tm_mday);
}

bool writeAll(ZipWriter* zip, const void* data, size_t size) {
    if (size == 0 || std::fwrite(data, 1, size, zip->out) == size)
        return true;
    zip->error = "cannot write the output file";
    return false;
}
bool writeText(ZipWriter* zip, const std::string& bytes) {
    return writeAll(zip, bytes.data(), bytes.size());
}

std::string localHeader(const ZipEntryRecord& entry, bool utc) {
    uint16_t time, date;
    dosTime(entry.modified, utc, &time, &date);
    std::string header;
    put32(&header, kLocalHeaderSignature);
    put16(&header, entry.localZip64 ? 45 : 20);
    put16(&header, isAscii(entry.name) ? 0 : kFlagUtf8Name);
    put16(&header, entry.method);
    put16(&header, time);
    put16(&header, date);
    put32(&header, entry.crc);
    put32(&header, entry.localZip64 ? kMax32 : static_cast<uint32_t>(entry.compressedSize));
    put32(&header, entry.localZip64 ? kMax32 : static_cast<uint32_t>(entry.uncompressedSize));
    put16(&header, static_cast<uint32_t>(entry.name.size()));
    put16(&header, entry.localZip64 ? 20 : 0);
    header += entry.name;
    if (entry.localZip64) {
        put16(&header, kZip64ExtraTag);
        put16(&header, 16);
        put64(&header, entry.uncompressedSize);
        put64(&header, entry.compressedSize);
    }
    return header;
}

std::string centralHeader(const ZipEntryRecord& entry, bool forced, bool utc) {
    std::string extra;
    if (forced || entry.uncompressedSize >= kMax32)
        put64(&extra, entry.uncompressedSize);
    if (forced || entry.compressedSize >= kMax32)
        put64(&extra, entry.compressedSize);
    if (forced || entry.localHeaderOffset >= kMax32)
        put64(&extra, entry.localHeaderOffset);
    std::string block;
    if (!extra.empty()) {
        put16(&block, kZip64ExtraTag);
        put16(&block, static_cast<uint32_t>(extra.size()));
        block += extra;
    }
    bool isDirectory = (entry.unixMode & S_IFMT) == S_IFDIR;
    uint32_t attributes = (entry.unixMode << 16) | (isDirectory ? 0x10 : 0) |
                          ((entry.unixMode & 0200) == 0 ? 0x01 : 0);
    uint16_t time, date;
    dosTime(entry.modified, utc, &time, &date);
    uint16_t needed = block.empty() ? (entry.method == kMethodDeflated ? 20 : 10) : 45;
    std::string header;
    put32(&header, kCentralHeaderSignature);
    put16(&header, kMadeByUnix | 45);
    put16(&header, needed);
    put16(&header, isAscii(entry.name) ? 0 : kFlagUtf8Name);
    put16(&header, entry.method);
    put16(&header, time);
    put16(&header, date);
    put32(&header, entry.crc);
    put32(&header, clamp32(entry.compressedSize, forced));
    put32(&header, clamp32(entry.uncompressedSize, forced));
    put16(&header, static_cast<uint32_t>(entry.name.size()));
    put16(&header, static_cast<uint32_t>(block.size()));
    put16(&header, 0); // comment length
    put16(&header, 0); // disk number
    put16(&header, 0); // internal attributes
    put32(&header, attributes);
    put32(&header, clamp32(entry.localHeaderOffset, forced));
    return header + entry.name + block;
}

// Where entry data comes from: an open file or a block of memory.
struct DataSource {
    FILE* file = nullptr;
    const std::string* bytes = nullptr;
    uint64_t position = 0;
};

size_t readSource(DataSource* source, unsigned char* buffer, size_t size) {
    if (source->file != nullptr)
        return std::fread(buffer, 1, size, source->file);
    size_t left = source->bytes->size() - static_cast<size_t>(source->position);
    size_t count = left < size ? left : size;
    std::memcpy(buffer, source->bytes->data() + source->position, count);
    source->position += count;
    return count;
}

bool rewindSource(DataSource* source) {
    source->position = 0;
    return source->file == nullptr || fseeko(source->file, 0, SEEK_SET) == 0;
}

// Deflates the source to the output; fills crc and both sizes.
bool writeDeflated(ZipWriter* zip, DataSource* source, ZipEntryRecord* entry) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        zip->error = "cannot start deflate";
        return false;
    }
    static unsigned char input[kChunk];
    static unsigned char output[kChunk];
    uLong crc = crc32(0, nullptr, 0);
    bool ok = true;
    int flush = Z_NO_FLUSH;
    while (ok && flush != Z_FINISH) {
        size_t got = readSource(source, input, sizeof input);
        if (got < sizeof input)
            flush = Z_FINISH;
        crc = crc32(crc, input, static_cast<uInt>(got));
        entry->uncompressedSize += got;
        stream.next_in = input;
        stream.avail_in = static_cast<uInt>(got);
        do {
            stream.next_out = output;
            stream.avail_out = sizeof output;
            deflate(&stream, flush);
            size_t produced = sizeof output - stream.avail_out;
            entry->compressedSize += produced;
            ok = writeAll(zip, output, produced);
        } while (ok && stream.avail_out == 0);
    }
    deflateEnd(&stream);
    entry->crc = static_cast<uint32_t>(crc);
    return ok;
}

bool writeStored(ZipWriter* zip, DataSource* source, ZipEntryRecord* entry) {
    static unsigned char buffer[kChunk];
    uLong crc = crc32(0, nullptr, 0);
    size_t got;
    entry->uncompressedSize = 0;
    while ((got = readSource(source, buffer, sizeof buffer)) > 0) {
        crc = crc32(crc, buffer, static_cast<uInt>(got));
        entry->uncompressedSize += got;
        if (!writeAll(zip, buffer, got))
            return false;
    }
    entry->crc = static_cast<uint32_t>(crc);
    entry->compressedSize = entry->uncompressedSize;
    return true;
}

bool completeLocalHeader(ZipWriter* zip, const ZipEntryRecord& entry) {
    off_t dataEnd = ftello(zip->out);
    if (fseeko(zip->out, static_cast<off_t>(entry.localHeaderOffset), SEEK_SET) != 0 ||
        !writeText(zip, localHeader(entry, zip->utcTimes)) ||
        fseeko(zip->out, dataEnd, SEEK_SET) != 0) {
        zip->error = "cannot complete a local header";
        return false;
    }
    return true;
}

// Writes an entry through a stream: directories, in-memory data, entries to store, and
// files too large for the compression pool.
bool writeStreamed(ZipWriter* zip, const PackEntry& item, ZipEntryRecord entry) {
    DataSource source;
    source.bytes = &item.bytes;
    uint64_t expectedSize = item.path.empty() ? item.bytes.size() : item.size;
    if (!item.path.empty()) {
        source.file = std::fopen(item.path.c_str(), "rb");
        if (source.file == nullptr) {
            zip->error = "cannot read " + item.path;
            return false;
        }
    }
    entry.localZip64 = zip->forceZip64 || expectedSize >= kMax32;
    entry.uncompressedSize = expectedSize;
    entry.compressedSize = expectedSize;
    bool ok = writeText(zip, localHeader(entry, zip->utcTimes));
    off_t dataStart = ftello(zip->out);
    entry.uncompressedSize = 0;
    entry.compressedSize = 0;
    bool isDirectory = (item.unixMode & S_IFMT) == S_IFDIR;
    if (ok && !isDirectory && expectedSize > 0) {
        if (!item.store) {
            entry.method = kMethodDeflated;
            ok = writeDeflated(zip, &source, &entry);
        }
        if (ok && (item.store || entry.compressedSize >= entry.uncompressedSize)) {
            // Deflate did not help (or was not wanted): store, over any deflated bytes.
            entry.method = kMethodStored;
            if (!rewindSource(&source) || fseeko(zip->out, dataStart, SEEK_SET) != 0 ||
                !writeStored(zip, &source, &entry)) {
                zip->error = "cannot write " + item.name;
                ok = false;
            }
        }
    }
    if (source.file != nullptr)
        std::fclose(source.file);
    if (ok && entry.uncompressedSize != expectedSize) {
        zip->error = item.path + " changed while it was packed";
        ok = false;
    }
    if (!ok || !completeLocalHeader(zip, entry))
        return false;
    zip->entries.push_back(entry);
    return true;
}

bool writeCompressed(ZipWriter* zip, const CompressedFile& file, ZipEntryRecord entry) {
    if (file.failed) {
        zip->error = file.error;
        return false;
    }
    entry.method = file.deflated ? kMethodDeflated : kMethodStored;
    entry.crc = file.crc;
    entry.uncompressedSize = file.size;
    entry.compressedSize = file.data.size();
    entry.localZip64 = zip->forceZip64 || file.size >= kMax32;
    if (!writeText(zip, localHeader(entry, zip->utcTimes)) ||
        !writeAll(zip, file.data.data(), file.data.size()))
        return false;
    zip->entries.push_back(entry);
    return true;
}

bool takesPool(const PackEntry& item) {
    return !item.path.empty() && !item.store && item.size <= kWholeFileLimit;
}

} // namespace

bool writeEntries(ZipWriter* zip, const std::vector<PackEntry>& items) {
    std::vector<CompressionJob> jobs;
    for (const PackEntry& item : items) {
        if (takesPool(item))
            jobs.push_back({item.path, item.size});
    }
    CompressionPool* pool = startCompression(std::move(jobs));
    size_t job = 0;
    bool ok = true;
    for (size_t i = 0; ok && i < items.size(); ++i) {
        const PackEntry& item = items[i];
        ZipEntryRecord entry;
        entry.name = item.name;
        entry.unixMode = item.unixMode;
        entry.modified = item.modified;
        entry.localHeaderOffset = static_cast<uint64_t>(ftello(zip->out));
        if (takesPool(item)) {
            ok = writeCompressed(zip, awaitCompressed(pool, job), entry);
            releaseCompressed(pool, job++);
        } else {
            ok = writeStreamed(zip, item, entry);
        }
        if (ok && zip->progress != nullptr && !item.path.empty() && !item.store)
            advanceProgress(zip->progress, item.size);
    }
    stopCompression(pool);
    return ok;
}

bool finishArchive(ZipWriter* zip) {
    uint64_t directoryOffset = static_cast<uint64_t>(ftello(zip->out));
    for (const ZipEntryRecord& entry : zip->entries) {
        if (!writeText(zip, centralHeader(entry, zip->forceZip64, zip->utcTimes)))
            return false;
    }
    uint64_t endOffset = static_cast<uint64_t>(ftello(zip->out));
    uint64_t directorySize = endOffset - directoryOffset;
    uint64_t count = zip->entries.size();
    bool zip64 =
        zip->forceZip64 || count >= kMax16 || directorySize >= kMax32 || directoryOffset >= kMax32;
    std::string end;
    if (zip64) {
        put32(&end, kZip64EndSignature);
        put64(&end, 44); // size of the rest of this record
        put16(&end, kMadeByUnix | 45);
        put16(&end, 45);
        put32(&end, 0); // this disk
        put32(&end, 0); // disk of the central directory
        put64(&end, count);
        put64(&end, count);
        put64(&end, directorySize);
        put64(&end, directoryOffset);
        put32(&end, kZip64LocatorSignature);
        put32(&end, 0);
        put64(&end, endOffset);
        put32(&end, 1); // total number of disks
    }
    put32(&end, kEndSignature);
    put16(&end, 0);
    put16(&end, 0);
    uint16_t shortCount =
        (zip64 && (zip->forceZip64 || count >= kMax16)) ? kMax16 : static_cast<uint16_t>(count);
    put16(&end, shortCount);
    put16(&end, shortCount);
    put32(&end, clamp32(directorySize, zip->forceZip64));
    put32(&end, clamp32(directoryOffset, zip->forceZip64));
    put16(&end, 0); // comment length
    if (!writeText(zip, end))
        return false;
    if (std::fflush(zip->out) != 0 || ftruncate(fileno(zip->out), ftello(zip->out)) != 0) {
        zip->error = "cannot finish the output file";
        return false;
    }
    return true;
}
