/*
 * Writes a ZIP archive behind whatever is already in the output file (the stub). Every
 * offset written (local header offsets, the central directory's offset, the Zip64
 * records) is the position in that file, so a reader finds the archive without
 * correcting for the stub in front of it.
 *
 * Files are compressed on all cores, each file on its own (deflate with libdeflate, in
 * memory), and written in the order given, so the output does not depend on the number
 * of cores or on which worker finished first. A file is stored when deflate would not
 * shrink it. Memory stays bounded: a file is read only while the files read but not yet
 * written, with their compressed copies, stay under a budget; files too large for the
 * budget are streamed through zlib by the writing thread, one at a time.
 *
 * No data descriptors: a local header is written when its sizes and CRC are known, or
 * completed in place after a streamed file. Zip64 records are written where a size, an
 * offset or the entry count needs them, or everywhere when asked (to exercise readers).
 */
#ifndef QUENLOW_PACK_ZIP_WRITER_H
#define QUENLOW_PACK_ZIP_WRITER_H

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

struct PackProgress;

// One entry to write.
struct PackEntry {
    std::string name;        // "/" separators; directories end in "/"
    std::string path;        // the file to read; empty for directories and in-memory data
    std::string bytes;       // the content of an in-memory entry
    uint64_t size = 0;       // bytes expected from `path`
    uint32_t unixMode = 0;   // st_mode, type bits included
    std::time_t modified = 0;
    bool store = false;      // already compressed (a jar made here): store without trying
};

struct ZipEntryRecord {
    std::string name;
    uint32_t unixMode = 0;
    std::time_t modified = 0;
    uint16_t method = 0;
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint64_t localHeaderOffset = 0;
    bool localZip64 = false;
};

struct ZipWriter {
    FILE* out = nullptr;
    bool forceZip64 = false;
    bool utcTimes = false;              // DOS times in UTC, not the machine's zone
    PackProgress* progress = nullptr;   // told of every file written, when set
    std::vector<ZipEntryRecord> entries;
    std::string error;                  // why the last call failed
};

// Writes the entries in the order given.
bool writeEntries(ZipWriter* zip, const std::vector<PackEntry>& entries);

// Writes the central directory and the end records. The writer is done afterwards.
bool finishArchive(ZipWriter* zip);

#endif
