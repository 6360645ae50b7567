/*
 * Writes a ZIP archive behind a stub that is already in the output file. Every offset
 * written (local header offsets, the central directory's offset, the Zip64 records) is
 * the absolute position in the output file, so a reader finds the archive without
 * correcting for the stub in front of it.
 *
 * Entries are deflated (stored when deflate does not make them smaller); each local
 * header is written first and completed once the sizes and CRC are known, so no data
 * descriptors are used. Zip64 records are written where a size, an offset or the entry
 * count needs them, or everywhere when asked (to exercise readers).
 */
#ifndef QUENLOW_PACK_ZIP_WRITER_H
#define QUENLOW_PACK_ZIP_WRITER_H

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

struct ZipEntryRecord {
    std::string name;      // with "/" separators; directories end in "/"
    uint32_t unixMode = 0; // st_mode, type bits included
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
    std::vector<ZipEntryRecord> entries;
    std::string error; // why the last call failed
};

// Adds a directory entry.
bool addDirectory(ZipWriter* zip, const std::string& name, uint32_t unixMode, std::time_t modified);

// Adds a file entry whose data is read from `sourcePath` (expected `size` bytes).
bool addFile(ZipWriter* zip, const std::string& name, const char* sourcePath, uint64_t size,
             uint32_t unixMode, std::time_t modified);

// Adds a file entry from memory.
bool addBytes(ZipWriter* zip, const std::string& name, const std::string& data, uint32_t unixMode,
              std::time_t modified);

// Writes the central directory and the end records. The writer is done afterwards.
bool finishArchive(ZipWriter* zip);

#endif
