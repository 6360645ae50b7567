/*
 * Reading and rewriting the headers of a Windows program image. See pe_image.h.
 *
 * Every offset taken from the stub is checked against the file before use: a damaged or
 * foreign stub is reported, not followed out of bounds.
 */
#include "pe_image.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr uint32_t kPe32Magic = 0x10B;
constexpr uint32_t kPe32PlusMagic = 0x20B;
constexpr size_t kSectionHeaderSize = 40;

uint32_t alignUp(uint32_t value, uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

// The bytes of the image a section occupies in memory (its virtual size, or its file size
// when the linker left the former 0).
uint32_t memorySize(const PeSection& section) {
    return section.virtualSize != 0 ? section.virtualSize : section.rawSize;
}

bool fail(std::string* error, const std::string& why) {
    *error = why;
    return false;
}

} // namespace

uint32_t PeLayout::directoryAddress(const Bytes& image, int index) const {
    return static_cast<uint32_t>(index) < directoryCount ? get32(image, directoryAt + 8 * index)
                                                         : 0;
}

uint32_t PeLayout::directorySize(const Bytes& image, int index) const {
    return static_cast<uint32_t>(index) < directoryCount ? get32(image, directoryAt + 8 * index + 4)
                                                         : 0;
}

size_t PeLayout::fileOffset(uint32_t rva, uint32_t size) const {
    for (const PeSection& section : sections) {
        uint64_t start = section.virtualAddress;
        if (rva >= start && uint64_t{rva} + size <= start + section.rawSize)
            return section.rawOffset + (rva - start);
    }
    return SIZE_MAX;
}

bool isPeImage(const Bytes& image) {
    if (image.size() < 64 || image[0] != 'M' || image[1] != 'Z')
        return false;
    uint32_t at = get32(image, 60);
    return uint64_t{at} + 4 <= image.size() && std::memcmp(&image[at], "PE\0\0", 4) == 0;
}

bool readPeLayout(const Bytes& image, PeLayout* layout, std::string* error) {
    if (!isPeImage(image))
        return fail(error, "not a Windows program");
    layout->fileHeaderAt = get32(image, 60) + 4;
    if (layout->fileHeaderAt + 20 + 2 > image.size())
        return fail(error, "its headers are cut short");
    uint32_t sectionCount = get16(image, layout->fileHeaderAt + 2);
    uint32_t optionalSize = get16(image, layout->fileHeaderAt + 16);
    layout->optionalHeaderAt = layout->fileHeaderAt + 20;
    uint32_t magic = get16(image, layout->optionalHeaderAt);
    size_t directoryOffset = magic == kPe32Magic ? 96 : magic == kPe32PlusMagic ? 112 : 0;
    if (directoryOffset == 0)
        return fail(error, "its optional header is of an unknown kind");
    size_t sectionsAt = layout->optionalHeaderAt + optionalSize;
    if (optionalSize < directoryOffset ||
        sectionsAt + uint64_t{sectionCount} * kSectionHeaderSize > image.size())
        return fail(error, "its headers are cut short");
    layout->sectionAlignment = get32(image, layout->optionalHeaderAt + 32);
    layout->fileAlignment = get32(image, layout->optionalHeaderAt + 36);
    layout->directoryAt = layout->optionalHeaderAt + directoryOffset;
    layout->directoryCount =
        std::min<uint32_t>(get32(image, layout->directoryAt - 4),
                           static_cast<uint32_t>((optionalSize - directoryOffset) / 8));
    if (layout->sectionAlignment == 0 || layout->fileAlignment == 0)
        return fail(error, "its alignments are 0");
    layout->sections.clear();
    for (uint32_t i = 0; i < sectionCount; ++i) {
        size_t at = sectionsAt + i * kSectionHeaderSize;
        PeSection section;
        section.name.assign(reinterpret_cast<const char*>(&image[at]),
                            strnlen(reinterpret_cast<const char*>(&image[at]), 8));
        section.virtualSize = get32(image, at + 8);
        section.virtualAddress = get32(image, at + 12);
        section.rawSize = get32(image, at + 16);
        section.rawOffset = get32(image, at + 20);
        section.headerAt = at;
        if (uint64_t{section.rawOffset} + section.rawSize > image.size())
            return fail(error, "section " + section.name + " lies beyond the end of the file");
        layout->sections.push_back(section);
    }
    return true;
}

bool resourceSectionAddress(const Bytes& image, const PeLayout& layout, uint32_t* rva,
                            std::string* error) {
    *rva = layout.directoryAddress(image, kDirectoryResources);
    for (const PeSection& section : layout.sections) {
        if (*rva != 0 && section.virtualAddress == *rva)
            return true;
    }
    return fail(error, "it has no resource section of its own");
}

bool replaceResourceSection(Bytes* image, const Bytes& resources, std::string* error) {
    PeLayout layout;
    uint32_t rva = 0;
    if (!readPeLayout(*image, &layout, error) ||
        !resourceSectionAddress(*image, layout, &rva, error))
        return false;
    // A signature covers the bytes being changed: it would no longer verify.
    if (layout.directorySize(*image, kDirectorySecurity) != 0)
        return fail(error, "it is signed (brand an unsigned stub, then sign the installer)");

    const PeSection* old = nullptr;
    for (const PeSection& section : layout.sections) {
        if (section.virtualAddress == rva)
            old = &section;
    }
    const uint32_t oldEnd = old->rawOffset + old->rawSize;
    const uint32_t newRawSize =
        alignUp(static_cast<uint32_t>(resources.size()), layout.fileAlignment);
    const uint32_t rawShift = newRawSize - old->rawSize; // modulo 2^32 when it shrinks
    const uint32_t addressShift =
        alignUp(static_cast<uint32_t>(resources.size()), layout.sectionAlignment) -
        alignUp(memorySize(*old), layout.sectionAlignment);
    const uint32_t relocations = layout.directoryAddress(*image, kDirectoryRelocations);

    // The sections behind the resources move; only the base relocations may.
    for (const PeSection& section : layout.sections) {
        if (section.virtualAddress <= rva)
            continue;
        bool holdsRelocations = relocations >= section.virtualAddress &&
                                relocations < section.virtualAddress + memorySize(section);
        if (!holdsRelocations || (section.rawSize != 0 && section.rawOffset < oldEnd))
            return fail(error, "its section " + section.name +
                                   " follows the resources and cannot be moved");
    }

    Bytes result(image->begin(), image->begin() + old->rawOffset);
    result.insert(result.end(), resources.begin(), resources.end());
    result.resize(old->rawOffset + newRawSize, 0);
    result.insert(result.end(), image->begin() + oldEnd, image->end());

    for (const PeSection& section : layout.sections) {
        if (section.virtualAddress == rva) {
            set32(&result, section.headerAt + 8, static_cast<uint32_t>(resources.size()));
            set32(&result, section.headerAt + 16, newRawSize);
        } else if (section.virtualAddress > rva) {
            set32(&result, section.headerAt + 12, section.virtualAddress + addressShift);
            if (section.rawSize != 0)
                set32(&result, section.headerAt + 20, section.rawOffset + rawShift);
        }
    }
    for (uint32_t index = 0; index < layout.directoryCount; ++index) {
        uint32_t address = layout.directoryAddress(*image, static_cast<int>(index));
        if (index == kDirectoryResources) {
            set32(&result, layout.directoryAt + 8 * index + 4,
                  static_cast<uint32_t>(resources.size()));
        } else if (index != kDirectorySecurity && address > rva) {
            set32(&result, layout.directoryAt + 8 * index, address + addressShift);
        }
    }
    // An unstripped stub keeps its symbol table behind the sections; it moves with them.
    uint32_t symbols = get32(*image, layout.fileHeaderAt + 8);
    if (symbols >= oldEnd)
        set32(&result, layout.fileHeaderAt + 8, symbols + rawShift);

    const size_t optional = layout.optionalHeaderAt;
    set32(&result, optional + 8, get32(*image, optional + 8) + rawShift); // initialised data
    uint32_t imageEnd = 0;
    for (const PeSection& section : layout.sections) {
        uint32_t address = section.virtualAddress;
        uint32_t size = memorySize(section);
        if (address == rva)
            size = static_cast<uint32_t>(resources.size());
        else if (address > rva)
            address += addressShift;
        imageEnd = std::max(imageEnd, alignUp(address + size, layout.sectionAlignment));
    }
    set32(&result, optional + 56, imageEnd);
    *image = std::move(result);
    return true;
}

uint32_t peChecksum(FILE* file, size_t checksumAt, bool* ok) {
    uint64_t sum = 0;
    uint64_t length = 0;
    uint8_t buffer[1 << 16]; // even, so that no 16-bit word straddles two reads
    size_t got;
    std::rewind(file);
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        if (got % 2 != 0)
            buffer[got] = 0; // the last odd byte counts as a word padded with zero
        for (size_t i = 0; i < got; i += 2) {
            uint64_t at = length + i;
            if (at < checksumAt || at >= checksumAt + 4)
                sum += buffer[i] | (buffer[i + 1] << 8);
            sum = (sum & 0xFFFF) + (sum >> 16);
        }
        length += got;
    }
    *ok = !std::ferror(file);
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + length);
}

bool updatePeChecksum(const std::string& path, std::string* error) {
    FILE* file = std::fopen(path.c_str(), "r+b");
    if (file == nullptr)
        return fail(error, "cannot open " + path);
    Bytes headers(4096);
    headers.resize(std::fread(headers.data(), 1, headers.size(), file));
    bool ok = true;
    if (isPeImage(headers)) {
        size_t checksumAt = get32(headers, 60) + 4 + 20 + 64;
        if (checksumAt + 4 <= headers.size() && get32(headers, checksumAt) != 0) {
            uint32_t checksum = peChecksum(file, checksumAt, &ok);
            Bytes field;
            put32(&field, checksum);
            ok = ok && std::fseek(file, static_cast<long>(checksumAt), SEEK_SET) == 0 &&
                 std::fwrite(field.data(), 1, 4, file) == 4;
        }
    }
    if (std::fclose(file) != 0)
        ok = false;
    return ok || fail(error, "cannot write the checksum of " + path);
}
