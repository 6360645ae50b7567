// Helpers for the driver, output and listing tests: extraction into a private
// directory, and a look at what landed on disk. Builds on the engine-core helpers
// (the archive builder, temporary directory, one engine call).
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
using core_test::buildArchive;
using core_test::Layout;
using core_test::TestEntry;

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
