#include "jar_contents.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kCentralHeaderSize = 46;
// The end record sits within its own size plus the longest comment of the end.
constexpr size_t kEndSearch = kEndRecordSize + 0xFFFF;

uint32_t get16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}
uint32_t get32(const unsigned char* p) {
    return get16(p) | (get16(p + 2) << 16);
}
uint64_t get64(const unsigned char* p) {
    return get32(p) | (uint64_t(get32(p + 4)) << 32);
}

bool readAt(FILE* file, uint64_t offset, unsigned char* buffer, size_t size) {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0 &&
           std::fread(buffer, 1, size, file) == size;
}

// Where the central directory starts and how large it is.
bool locateDirectory(FILE* file, uint64_t* offset, uint64_t* size) {
    if (fseeko(file, 0, SEEK_END) != 0)
        return false;
    uint64_t fileSize = static_cast<uint64_t>(ftello(file));
    size_t tail = fileSize < kEndSearch ? static_cast<size_t>(fileSize) : kEndSearch;
    std::vector<unsigned char> buffer(tail);
    if (tail < kEndRecordSize || !readAt(file, fileSize - tail, buffer.data(), tail))
        return false;
    for (size_t at = tail - kEndRecordSize + 1; at-- > 0;) {
        const unsigned char* end = buffer.data() + at;
        if (get32(end) != kEndSignature || at + kEndRecordSize + get16(end + 20) != tail)
            continue;
        *size = get32(end + 12);
        *offset = get32(end + 16);
        uint64_t endOffset = fileSize - tail + at;
        unsigned char locator[20];
        unsigned char record[56];
        if (endOffset >= 20 && readAt(file, endOffset - 20, locator, 20) &&
            get32(locator) == kZip64LocatorSignature &&
            readAt(file, get64(locator + 8), record, 56) && get32(record) == kZip64EndSignature) {
            *size = get64(record + 40);
            *offset = get64(record + 48);
        }
        return *offset + *size <= fileSize;
    }
    return false;
}

} // namespace

bool readJarEntries(const std::string& path, std::vector<JarEntry>* entries, std::string* error) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = "cannot read " + path;
        return false;
    }
    uint64_t offset = 0;
    uint64_t size = 0;
    std::vector<unsigned char> directory;
    bool ok = locateDirectory(file, &offset, &size);
    if (ok) {
        directory.resize(static_cast<size_t>(size));
        ok = readAt(file, offset, directory.data(), directory.size());
    }
    std::fclose(file);
    for (size_t at = 0; ok && at < directory.size();) {
        const unsigned char* header = directory.data() + at;
        if (directory.size() - at < kCentralHeaderSize || get32(header) != kCentralHeaderSignature)
            break;
        size_t nameLength = get16(header + 28);
        size_t recordSize = kCentralHeaderSize + nameLength + get16(header + 30) + get16(header + 32);
        if (directory.size() - at < recordSize) {
            ok = false;
            break;
        }
        JarEntry entry;
        entry.name.assign(reinterpret_cast<const char*>(header + kCentralHeaderSize), nameLength);
        entry.unixMode = get32(header + 38) >> 16;
        entry.hasUnixMode = (get16(header + 4) >> 8) == 3 && entry.unixMode != 0;
        entries->push_back(entry);
        at += recordSize;
    }
    if (!ok)
        *error = path + " is not a ZIP archive (or is damaged)";
    return ok;
}
