/*
 * The parts of a Windows program image (PE) that quenlow-pack changes when it brands the
 * Windows stub: the section table, the data directory and the checksum.
 *
 * Replacing the resource section is the one structural change. It keeps its place and its
 * address (the resource tree holds addresses relative to the image), so only what follows
 * it moves: the base relocations, which the linker places last and which nothing but the
 * data directory points at. A stub with any other section behind its resources is refused
 * rather than moved, since code may address such a section directly.
 */
#ifndef QUENLOW_PACK_PE_IMAGE_H
#define QUENLOW_PACK_PE_IMAGE_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Little-endian fields; the readers expect the caller to have checked the bounds.
inline uint32_t get16(const Bytes& data, size_t at) {
    return data[at] | (data[at + 1] << 8);
}
inline uint32_t get32(const Bytes& data, size_t at) {
    return get16(data, at) | (get16(data, at + 2) << 16);
}
inline void set16(Bytes* data, size_t at, uint32_t value) {
    (*data)[at] = static_cast<uint8_t>(value);
    (*data)[at + 1] = static_cast<uint8_t>(value >> 8);
}
inline void set32(Bytes* data, size_t at, uint32_t value) {
    set16(data, at, value & 0xFFFF);
    set16(data, at + 2, value >> 16);
}
inline void put16(Bytes* data, uint32_t value) {
    data->push_back(static_cast<uint8_t>(value));
    data->push_back(static_cast<uint8_t>(value >> 8));
}
inline void put32(Bytes* data, uint32_t value) {
    put16(data, value & 0xFFFF);
    put16(data, value >> 16);
}
inline void padTo(Bytes* data, size_t alignment) {
    while (data->size() % alignment != 0)
        data->push_back(0);
}

struct PeSection {
    std::string name;
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t rawSize = 0;
    uint32_t rawOffset = 0;
    size_t headerAt = 0; // file offset of the section's header
};

constexpr int kDirectoryResources = 2;
constexpr int kDirectorySecurity = 4;
constexpr int kDirectoryRelocations = 5;

struct PeLayout {
    size_t fileHeaderAt = 0;     // the COFF header, after "PE\0\0"
    size_t optionalHeaderAt = 0; // PE32 or PE32+
    size_t directoryAt = 0;      // the data directory: 8 bytes per entry
    uint32_t directoryCount = 0;
    uint32_t sectionAlignment = 0;
    uint32_t fileAlignment = 0;
    std::vector<PeSection> sections;

    uint32_t directoryAddress(const Bytes& image, int index) const;
    uint32_t directorySize(const Bytes& image, int index) const;
    // The file offset of `size` bytes at address `rva`, or SIZE_MAX when they lie outside
    // the file data of every section.
    size_t fileOffset(uint32_t rva, uint32_t size) const;
};

// True when the bytes start like a Windows program ("MZ" and a PE header).
bool isPeImage(const Bytes& image);

// Reads the headers; false with the reason when they are not those of a sound image.
bool readPeLayout(const Bytes& image, PeLayout* layout, std::string* error);

// Puts `resources` (built for the section's unchanged address) in place of the resource
// section, moving the base relocations behind it and fixing the section table, the data
// directory, the image and data sizes. The checksum is left for updatePeChecksum, since
// it covers the whole file, archive included.
bool replaceResourceSection(Bytes* image, const Bytes& resources, std::string* error);

// The address of the resource section (which must be a section of its own).
bool resourceSectionAddress(const Bytes& image, const PeLayout& layout, uint32_t* rva,
                            std::string* error);

// The image checksum of a whole file, as the system computes it: the sum of its 16-bit
// words with the carries folded back, the checksum field counted as zero, plus the length.
uint32_t peChecksum(FILE* file, size_t checksumAt, bool* ok);

// Recomputes the checksum of the finished file at `path` when it is a Windows program
// whose checksum field is set (a linker that fills it in promises it is right).
bool updatePeChecksum(const std::string& path, std::string* error);

#endif
