// Helpers for the driver, output and listing tests: archives whose every header field
// a case can set (method, versions, sizes, local values that disagree with the
// central ones), extraction into a private directory, and a look at what landed on
// disk. Builds on the engine-core helpers (temporary directory, one engine call).
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "core_support.h"

namespace driver_test {

using core_test::Bytes;
using core_test::contains;
using core_test::crc32Of;
using core_test::EngineRun;
using core_test::put16;
using core_test::put32;
using core_test::TempDir;

// One entry with every field under the test's control. `data` is what is stored (for
// method 0 the entry's bytes); `uncompressed` is the entry's bytes when they differ.
struct RawEntry {
    std::string name;
    Bytes data;
    std::optional<Bytes> uncompressed;
    uint16_t method = 0;
    uint16_t flags = 0;
    uint8_t hostSystem = 3;
    uint8_t hostVersion = 30;
    uint8_t neededVersion = 20;
    uint8_t neededHost = 0;
    uint32_t dosDateTime = 0x58A96000u;  // 2024-05-09 12:00:00
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    Bytes centralExtra;
    Bytes localExtra;
    std::optional<std::string> localName;     // a local name that differs
    std::optional<uint16_t> localMethod;      // a local method that differs
    std::optional<uint32_t> localUncompressed;  // a local size that differs
    std::optional<uint32_t> crc;              // a CRC that differs from the data's
};

struct RawLayout {
    std::optional<uint16_t> countOverride;  // entries announced by the end record
};

inline Bytes buildRaw(const std::vector<RawEntry>& entries, const RawLayout& layout = {}) {
    Bytes body, directory;
    for (const RawEntry& e : entries) {
        const Bytes& content = e.uncompressed ? *e.uncompressed : e.data;
        const uint32_t crc = e.crc ? *e.crc : crc32Of(content);
        const uint32_t offset = uint32_t(body.size());
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
        put32(directory, offset);
        directory += e.name + e.centralExtra;
    }
    const uint32_t count = layout.countOverride ? *layout.countOverride : uint32_t(entries.size());
    Bytes archive = body + directory;
    archive += "PK\x05\x06";
    put16(archive, 0);
    put16(archive, 0);
    put16(archive, count & 0xFFFF);
    put16(archive, count & 0xFFFF);
    put32(archive, uint32_t(directory.size()));
    put32(archive, uint32_t(body.size()));
    put16(archive, 0);
    return archive;
}

inline std::optional<Bytes> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The status of the path itself, not of what a link points to (Windows has no links
// that these tests make).
inline int linkStatus(const std::string& path, struct stat* status) {
#ifdef _WIN32
    return stat(path.c_str(), status);
#else
    return lstat(path.c_str(), status);
#endif
}

inline bool exists(const std::string& path) {
    struct stat status;
    return linkStatus(path, &status) == 0;
}

inline bool isDirectory(const std::string& path) {
    struct stat status;
    return linkStatus(path, &status) == 0 && S_ISDIR(status.st_mode);
}

inline void makeDirectory(const std::string& path) {
#ifdef _WIN32
    mkdir(path.c_str());
#else
    mkdir(path.c_str(), 0755);
#endif
}

// Every path under `root`, relative to it, directories with a trailing "/", sorted.
inline std::vector<std::string> tree(const std::string& root, const std::string& prefix = "") {
    std::vector<std::string> found;
    DIR* directory = opendir((root + "/" + prefix).c_str());
    if (directory == nullptr) return found;
    while (dirent* item = readdir(directory)) {
        std::string name = item->d_name;
        if (name == "." || name == "..") continue;
        std::string relative = prefix + name;
        if (isDirectory(root + "/" + relative)) {
            found.push_back(relative + "/");
            for (auto& inner : tree(root, relative + "/")) found.push_back(inner);
        } else {
            found.push_back(relative);
        }
    }
    closedir(directory);
    std::sort(found.begin(), found.end());
    return found;
}

// Options for extraction into `target` that overwrite without asking.
inline auto extractTo(const std::string& target,
                      std::function<void(UnzipOptions&, UnzipCallbacks&)> more = {}) {
    return [target, more](UnzipOptions& o, UnzipCallbacks& c) {
        o.targetDirectory = target.c_str();
        o.overwriteAll = 1;
        if (more) more(o, c);
    };
}

// A private directory holding the archive and, beside it, the extraction target.
struct Workspace {
    TempDir dir;
    std::string archive;
    std::string target;
    Workspace() : target(dir.file("out")) {}
    const std::string& write(const Bytes& bytes, const std::string& name = "test.zip") {
        archive = dir.write(name, bytes);
        return archive;
    }
    std::string out(const std::string& relative) const { return target + "/" + relative; }
    EngineRun extract(std::function<void(UnzipOptions&, UnzipCallbacks&)> more = {},
                      std::vector<std::string> includes = {},
                      std::vector<std::string> excludes = {}) {
        return core_test::runEngine(archive, extractTo(target, more), includes, excludes);
    }
};

inline std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline bool haveTool(const std::string& tool) {
    return core_test::runCommand("command -v " + tool + " >/dev/null 2>&1");
}

}  // namespace driver_test
