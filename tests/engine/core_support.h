// Helpers for the engine-core tests: archives written byte by byte (so that every
// offset, size and signature can be put exactly where a case needs it), a private
// temporary directory, and one engine call with its messages and results collected.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "quenlow/unzip.h"

namespace core_test {

using Bytes = std::string;

inline void put16(Bytes& b, uint32_t v) {
    b += char(v & 0xFF);
    b += char((v >> 8) & 0xFF);
}
inline void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
inline void put64(Bytes& b, uint64_t v) {
    put32(b, uint32_t(v));
    put32(b, uint32_t(v >> 32));
}

inline uint32_t crc32Of(const Bytes& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// One extra-field block.
inline Bytes extraBlock(uint16_t id, const Bytes& data) {
    Bytes b;
    put16(b, id);
    put16(b, uint32_t(data.size()));
    return b + data;
}

// A stored entry as the test wants it written.
// One entry with every header field under the test's control. `data` is what is stored
// (for method 0 the entry's bytes); `uncompressed` is the entry's bytes when they differ.
struct TestEntry {
    std::string name;
    Bytes data;
    std::optional<Bytes> uncompressed;
    uint16_t method = 0;
    uint16_t flags = 0;
    uint8_t hostSystem = 3;  // Unix: names taken as they are
    uint8_t hostVersion = 30;
    uint8_t neededVersion = 20;
    uint8_t neededHost = 0;
    uint32_t dosDateTime = 0x58A96000u;  // 2024-05-09 12:00:00
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    Bytes centralExtra;
    Bytes localExtra;
    std::optional<std::string> localName;       // a local name that differs
    std::optional<uint16_t> localMethod;        // a local method that differs
    std::optional<uint32_t> localUncompressed;  // a local size that differs
    std::optional<uint32_t> crc;                // a CRC that differs from the data's
};

// How the archive around the entries is laid out.
struct Layout {
    Bytes prefix;                // bytes in front of the archive (an executable)
    bool adjustOffsets = false;  // offsets count from the file start instead of the archive's
    Bytes comment;
    int64_t directoryOffsetDelta = 0;  // added to the recorded directory offset
    int64_t directorySizeDelta = 0;    // added to the recorded directory size
    bool zip64 = false;                // markers in the end record, Zip64 records before it
    bool zip64LocatorRelative = false; // locator's offset counts from the archive start
    Bytes trailer;                     // bytes after the end record and comment
    std::optional<uint16_t> countOverride;  // entries announced by the end record
};

// The one archive builder of the tests.
inline Bytes buildArchive(const std::vector<TestEntry>& entries, const Layout& layout = {}) {
    const uint64_t base = layout.adjustOffsets ? layout.prefix.size() : 0;
    Bytes body, directory;
    for (const TestEntry& e : entries) {
        const Bytes& content = e.uncompressed ? *e.uncompressed : e.data;
        const uint32_t crc = e.crc ? *e.crc : crc32Of(content);
        const uint64_t localOffset = body.size() + base;
        const std::string& localName = e.localName ? *e.localName : e.name;
        body += "PK\x03\x04";
        body += char(e.neededVersion);
        body += char(e.neededHost);
        put16(body, e.flags);
        put16(body, e.localMethod ? *e.localMethod : e.method);
        put32(body, e.dosDateTime);
        put32(body, crc);
        put32(body, uint32_t(e.data.size()));
        put32(body, e.localUncompressed ? *e.localUncompressed : uint32_t(content.size()));
        put16(body, uint32_t(localName.size()));
        put16(body, uint32_t(e.localExtra.size()));
        body += localName + e.localExtra + e.data;

        directory += "PK\x01\x02";
        directory += char(e.hostVersion);
        directory += char(e.hostSystem);
        directory += char(e.neededVersion);
        directory += char(e.neededHost);
        put16(directory, e.flags);
        put16(directory, e.method);
        put32(directory, e.dosDateTime);
        put32(directory, crc);
        put32(directory, uint32_t(e.data.size()));
        put32(directory, uint32_t(content.size()));
        put16(directory, uint32_t(e.name.size()));
        put16(directory, uint32_t(e.centralExtra.size()));
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, e.internalAttributes);
        put32(directory, e.externalAttributes);
        put32(directory, uint32_t(localOffset));
        directory += e.name + e.centralExtra;
    }
    const uint64_t directoryOffset = body.size() + base + uint64_t(layout.directoryOffsetDelta);
    const uint64_t directorySize = directory.size() + uint64_t(layout.directorySizeDelta);
    const uint32_t count = layout.countOverride ? *layout.countOverride : uint32_t(entries.size());
    Bytes archive = layout.prefix + body + directory;
    if (layout.zip64) {
        const uint64_t recordAt = archive.size();
        archive += "PK\x06\x06";
        put64(archive, 44);
        put16(archive, 45);
        put16(archive, 45);
        put32(archive, 0);
        put32(archive, 0);
        put64(archive, count);
        put64(archive, count);
        put64(archive, directorySize);
        put64(archive, directoryOffset);
        archive += "PK\x06\x07";
        put32(archive, 0);
        put64(archive, layout.zip64LocatorRelative ? recordAt - layout.prefix.size() : recordAt);
        put32(archive, 1);
    }
    archive += "PK\x05\x06";
    put16(archive, 0);
    put16(archive, 0);
    put16(archive, layout.zip64 ? 0xFFFF : count & 0xFFFF);
    put16(archive, layout.zip64 ? 0xFFFF : count & 0xFFFF);
    put32(archive, layout.zip64 ? 0xFFFFFFFFu : uint32_t(directorySize));
    put32(archive, layout.zip64 ? 0xFFFFFFFFu : uint32_t(directoryOffset));
    put16(archive, uint32_t(layout.comment.size()));
    return archive + layout.comment + layout.trailer;
}

inline std::vector<TestEntry> someEntries() {
    return {{"readme.txt", "hello, archive\n"}, {"dir/data.bin", Bytes(300, 'x')}};
}

// A directory of its own under the temporary directory, removed with everything in it.
struct TempDir {
    std::string path;
    TempDir() {
        namespace fs = std::filesystem;
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path.empty(); ++attempt) {
            fs::path candidate = fs::temp_directory_path() / ("quenlow-core-" + std::to_string(random()));
            std::error_code error;
            if (fs::create_directory(candidate, error)) path = candidate.string();
        }
    }
    ~TempDir() {
        std::error_code error;
        if (path.find("quenlow-core-") != std::string::npos) std::filesystem::remove_all(path, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string write(const std::string& name, const Bytes& bytes) const {
        const std::string target = file(name);
        FILE* f = std::fopen(target.c_str(), "wb");
        if (f != nullptr) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return target;
    }
};

inline std::string readFileBytes(const std::string& path) {
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[65536];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, got);
        std::fclose(f);
    }
    return bytes;
}

// Runs a shell command (a real producer such as python3 or 7zz); true on success.
inline bool runCommand(const std::string& command) { return std::system(command.c_str()) == 0; }

// What one engine call produced.
struct EngineRun {
    int result = -1;
    std::string messages;
    std::vector<std::string> reported;  // names given to entryDone
    int callbacksOutsideCall = 0;
};

namespace detail {
inline EngineRun* current = nullptr;
inline bool insideCall = false;
inline void note() {
    if (!insideCall && current != nullptr) ++current->callbacksOutsideCall;
}
inline int printText(const char* text, uint32_t length) {
    note();
    if (current != nullptr) current->messages.append(text, length);
    return int(length);
}
inline int askReplace(char*, int) {
    note();
    return REPLACE_NO;
}
inline int entryDone(const char* name, uint64_t) {
    note();
    if (current != nullptr) current->reported.emplace_back(name);
    return 0;
}
}  // namespace detail

inline UnzipOptions defaultOptions(const std::string& archive) {
    UnzipOptions o{};
    o.recordVersion = UNZIP_RECORD_VERSION;
    o.directoryMode = 1;
    o.archivePath = archive.c_str();
    return o;
}

inline UnzipCallbacks defaultCallbacks() {
    UnzipCallbacks c{};
    c.printText = detail::printText;
    c.askReplace = detail::askReplace;
    c.entryDone = detail::entryDone;
    return c;
}

// One call; `adjust` may change the options and callbacks before it.
inline EngineRun runEngine(const std::string& archive,
                           const std::function<void(UnzipOptions&, UnzipCallbacks&)>& adjust = {},
                           std::vector<std::string> includes = {},
                           std::vector<std::string> excludes = {}) {
    EngineRun run;
    UnzipOptions options = defaultOptions(archive);
    UnzipCallbacks callbacks = defaultCallbacks();
    if (adjust) adjust(options, callbacks);
    std::vector<char*> in, ex;
    for (auto& s : includes) in.push_back(s.data());
    for (auto& s : excludes) ex.push_back(s.data());
    detail::current = &run;
    detail::insideCall = true;
    run.result = Qz_SingleEntryUnzip(int(in.size()), in.empty() ? nullptr : in.data(), int(ex.size()),
                                     ex.empty() ? nullptr : ex.data(), &options, &callbacks);
    detail::insideCall = false;
    detail::current = nullptr;
    return run;
}

// The detailed report walks the whole directory without needing the extraction stages,
// so it shows whether the engine found every entry where the archive says.
inline void detailedReport(UnzipOptions& o, UnzipCallbacks&) { o.detailedInfo = 1; }

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace core_test
