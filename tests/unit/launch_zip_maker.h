/*
 * A minimal writer of stored ZIP archives for the launch tests, so that runtime jars of
 * known content can be made without any outside tool.
 */
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace launch_test {

inline uint32_t crc32Of(const std::string& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline void put(std::string* out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Writes a stored archive with the given (name, content) entries; false on failure.
// With a Unix mode, the entries are marked as made on Unix with that mode.
inline bool writeStoredZip(const std::string& path,
                           const std::vector<std::pair<std::string, std::string>>& entries,
                           uint32_t unixMode = 0) {
    std::string archive, directory;
    for (const auto& [name, content] : entries) {
        uint32_t crc = crc32Of(content);
        auto size = static_cast<uint32_t>(content.size());
        auto offset = static_cast<uint32_t>(archive.size());
        put(&archive, 0x04034b50, 4);
        put(&archive, 10, 2);
        put(&archive, 0, 2);    // flags
        put(&archive, 0, 2);    // stored
        put(&archive, 0, 2);    // time
        put(&archive, 0x21, 2); // 1980-01-01
        put(&archive, crc, 4);
        put(&archive, size, 4);
        put(&archive, size, 4);
        put(&archive, static_cast<uint32_t>(name.size()), 2);
        put(&archive, 0, 2);
        archive += name + content;
        put(&directory, 0x02014b50, 4);
        put(&directory, unixMode != 0 ? (3u << 8) | 10u : 10u, 2);
        put(&directory, 10, 2);
        put(&directory, 0, 2);
        put(&directory, 0, 2);
        put(&directory, 0, 2);
        put(&directory, 0x21, 2);
        put(&directory, crc, 4);
        put(&directory, size, 4);
        put(&directory, size, 4);
        put(&directory, static_cast<uint32_t>(name.size()), 2);
        put(&directory, 0, 2);              // extra
        put(&directory, 0, 2);              // comment
        put(&directory, 0, 2);              // disk
        put(&directory, 0, 2);              // internal attributes
        put(&directory, unixMode << 16, 4); // external attributes
        put(&directory, offset, 4);
        directory += name;
    }
    auto directoryOffset = static_cast<uint32_t>(archive.size());
    archive += directory;
    put(&archive, 0x06054b50, 4);
    put(&archive, 0, 4);
    put(&archive, static_cast<uint32_t>(entries.size()), 2);
    put(&archive, static_cast<uint32_t>(entries.size()), 2);
    put(&archive, static_cast<uint32_t>(directory.size()), 4);
    put(&archive, directoryOffset, 4);
    put(&archive, 0, 2);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool written = std::fwrite(archive.data(), 1, archive.size(), file) == archive.size();
    return std::fclose(file) == 0 && written;
}

} // namespace launch_test
