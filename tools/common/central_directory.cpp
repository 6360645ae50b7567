#include "central_directory.h"

#include <cstdio>
#include <cstring>

#include "zip_signatures.h"

namespace {

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

// 64-bit positions on both platforms (off_t is 32 bits wide in the MinGW runtime).
bool seekTo(FILE* file, uint64_t offset, int origin) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<long long>(offset), origin) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), origin) == 0;
#endif
}

uint64_t position(FILE* file) {
#ifdef _WIN32
    return static_cast<uint64_t>(_ftelli64(file));
#else
    return static_cast<uint64_t>(ftello(file));
#endif
}

bool readAt(FILE* file, uint64_t offset, unsigned char* buffer, size_t size) {
    return seekTo(file, offset, SEEK_SET) &&
           std::fread(buffer, 1, size, file) == size;
}

// Where the central directory starts and how large it is: it ends where the Zip64 end
// record, or else the end record, begins.
bool locateDirectory(FILE* file, uint64_t* offset, uint64_t* size) {
    if (!seekTo(file, 0, SEEK_END))
        return false;
    uint64_t fileSize = position(file);
    size_t tail = fileSize < kEndSearch ? static_cast<size_t>(fileSize) : kEndSearch;
    std::vector<unsigned char> buffer(tail);
    if (tail < kEndRecordSize || !readAt(file, fileSize - tail, buffer.data(), tail))
        return false;
    for (size_t at = tail - kEndRecordSize + 1; at-- > 0;) {
        const unsigned char* end = buffer.data() + at;
        if (get32(end) != kEndSignature || at + kEndRecordSize + get16(end + 20) != tail)
            continue;
        uint64_t directoryEnd = fileSize - tail + at;
        *size = get32(end + 12);
        unsigned char locator[20];
        unsigned char record[56];
        if (directoryEnd >= 20 && readAt(file, directoryEnd - 20, locator, 20) &&
            get32(locator) == kZip64LocatorSignature) {
            // The Zip64 end record, of 56 bytes without extensible data, comes before.
            uint64_t recordAt = get64(locator + 8);
            if (recordAt + 56 <= directoryEnd && readAt(file, recordAt, record, 56) &&
                get32(record) == kZip64EndSignature) {
                *size = get64(record + 40);
                directoryEnd = recordAt;
            } else if (directoryEnd >= 76 && readAt(file, directoryEnd - 76, record, 56) &&
                       get32(record) == kZip64EndSignature) {
                *size = get64(record + 40); // offsets counted from the archive's start
                directoryEnd -= 76;
            }
        }
        if (*size > directoryEnd)
            return false;
        *offset = directoryEnd - *size;
        return true;
    }
    return false;
}

} // namespace

bool CentralEntry::hasUnixMode() const {
    // Unix, and macOS, which records the same.
    return (hostSystem == 3 || hostSystem == 19) && unixMode() != 0;
}

bool readCentralDirectory(const std::string& path, std::vector<CentralEntry>* entries,
                          std::string* error) {
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
        CentralEntry entry;
        entry.name.assign(reinterpret_cast<const char*>(header + kCentralHeaderSize), nameLength);
        entry.hostSystem = get16(header + 4) >> 8;
        entry.externalAttributes = get32(header + 38);
        entries->push_back(entry);
        at += recordSize;
    }
    if (!ok)
        *error = path + " is not a ZIP archive, or it is damaged";
    return ok;
}
