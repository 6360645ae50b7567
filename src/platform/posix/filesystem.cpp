/*
 * Files and directories on Linux, following the Windows behaviour the launcher was built
 * around: paths never resolve links (the tree removal must not follow them), the unique
 * name is GetTempFileNameA's "<prefix>XXXX.tmp" made with O_CREAT|O_EXCL, the owner-only
 * access list is mode 0700, "read-only" is a missing owner write bit, and a busy file
 * counts as a sharing violation. Directory listings are sorted by byte value so that every
 * run sees the same order, as NTFS gives on Windows.
 */
#include "platform/filesystem.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace platform {

// Copies text into buffer with the Get...PathA result convention.
static unsigned long copyResult(const std::string& text, char* buffer, std::size_t size) {
    if (text.size() + 1 > size)
        return static_cast<unsigned long>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<unsigned long>(text.size());
}

bool currentDirectory(char* buffer, std::size_t size) {
    return getcwd(buffer, size) != nullptr;
}

bool changeDirectory(const char* path) {
    return chdir(path) == 0;
}

unsigned long systemTempDirectory(char* buffer, std::size_t size) {
    const char* fromEnvironment = std::getenv("TMPDIR");
    const std::string directory =
        (fromEnvironment != nullptr && fromEnvironment[0] != '\0') ? fromEnvironment : "/tmp";
    return copyResult(directory, buffer, size);
}

// The kernel's link names the program's own file; where /proc is not mounted (a bare
// chroot, an early boot stage) the path it was started by, which the kernel keeps in the
// auxiliary vector, is the next best thing.
bool programFile(char* buffer, std::size_t size) {
    const ssize_t length = readlink("/proc/self/exe", buffer, size);
    if (length > 0 && static_cast<std::size_t>(length) < size) {
        buffer[length] = '\0';
        return true;
    }
    const char* started = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
    if (started == nullptr)
        return false;
    const unsigned long full = fullPath(started, buffer, size);
    return full > 0 && full < size;
}

unsigned long fullPath(const char* path, char* buffer, std::size_t size) {
    std::string start;
    if (path[0] != '/') {
        char working[4096];
        if (getcwd(working, sizeof working) == nullptr)
            return 0;
        start = working;
    }
    // Fold "." and ".." textually, as GetFullPathNameA does; links are not looked at.
    std::string result;
    const std::string joined = start + "/" + path;
    std::size_t position = 0;
    while (position <= joined.size()) {
        std::size_t next = joined.find('/', position);
        if (next == std::string::npos)
            next = joined.size();
        const std::string part = joined.substr(position, next - position);
        if (part == "..") {
            const std::size_t cut = result.rfind('/');
            result.erase(cut == std::string::npos ? 0 : cut);
        } else if (!part.empty() && part != ".") {
            result += "/" + part;
        }
        position = next + 1;
    }
    if (result.empty())
        result = "/";
    return copyResult(result, buffer, size);
}

bool programPathFromArgument(const char* argument0, char* buffer, std::size_t size) {
    if (std::strchr(argument0, '/') == nullptr)
        return programFile(buffer, size);
    const unsigned long length = fullPath(argument0, buffer, size);
    return length > 0 && length < size;
}

static FileAttributes attributesOf(const struct stat& status) {
    FileAttributes attributes;
    attributes.exists = true;
    attributes.isLink = S_ISLNK(status.st_mode);
    attributes.isDirectory = S_ISDIR(status.st_mode);
    attributes.isReadOnly = !attributes.isLink && (status.st_mode & S_IWUSR) == 0;
    return attributes;
}

FileAttributes fileAttributes(const char* path) {
    struct stat status{};
    if (lstat(path, &status) != 0)
        return FileAttributes{};
    return attributesOf(status);
}

bool isDirectoryFollowingLinks(const char* path) {
    struct stat status{};
    return stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

bool clearReadOnly(const char* path) {
    struct stat status{};
    if (lstat(path, &status) != 0 || S_ISLNK(status.st_mode))
        return false;
    return chmod(path, (status.st_mode & 07777) | S_IWUSR) == 0;
}

bool systemFreeBytesAvailable(const char* directory, uint64_t* bytes) {
    struct statvfs volume{};
    if (statvfs(directory, &volume) != 0)
        return false;
    *bytes = static_cast<uint64_t>(volume.f_bavail) * static_cast<uint64_t>(volume.f_frsize);
    return true;
}

UniqueNameResult createUniqueFile(const char* directory, const char* prefix, char* buffer,
                                  std::size_t size) {
    // Like GetTempFileNameA: up to four hexadecimal digits, starting from a clock-derived
    // number and counting on past names that exist.
    const std::size_t length = std::strlen(directory);
    const char* separator = (length > 0 && directory[length - 1] == '/') ? "" : "/";
    const unsigned start = static_cast<unsigned>(std::time(nullptr) ^ getpid()) & 0xFFFFu;
    for (unsigned step = 0; step < 0x10000u; ++step) {
        const unsigned number = (start + step) & 0xFFFFu;
        if (number == 0)
            continue;
        const int written =
            std::snprintf(buffer, size, "%s%s%s%X.tmp", directory, separator, prefix, number);
        if (written < 0 || static_cast<std::size_t>(written) >= size)
            return UniqueNameResult::failed;
        const int descriptor = open(buffer, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (descriptor >= 0) {
            close(descriptor);
            return UniqueNameResult::created;
        }
        if (errno == EACCES || errno == EPERM)
            return UniqueNameResult::accessDenied;
        if (errno != EEXIST)
            return UniqueNameResult::failed;
    }
    return UniqueNameResult::failed;
}

PrivateDirectoryResult createPrivateDirectory(const char* path) {
    PrivateDirectoryResult result;
    // chmod after mkdir: the umask may have taken bits from the mode; 0700 is wanted exactly.
    if (mkdir(path, 0700) != 0 || chmod(path, 0700) != 0) {
        result.failedStep = PrivateDirectoryStep::createDirectory;
        result.error = static_cast<unsigned long>(errno);
    }
    return result;
}

static RemoveResult removeResult(int status) {
    if (status == 0)
        return RemoveResult::removed;
    return (errno == EBUSY || errno == ETXTBSY) ? RemoveResult::sharingViolation
                                                : RemoveResult::failed;
}

RemoveResult deleteFile(const char* path) {
    return removeResult(unlink(path));
}

RemoveResult removeDirectory(const char* path) {
    // A link to a directory is removed as the link it is.
    if (fileAttributes(path).isLink)
        return removeResult(unlink(path));
    return removeResult(rmdir(path));
}

static char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// "*" matches every name; "*<suffix>" the names ending in suffix, ignoring case.
static bool matchesPattern(const char* name, const char* pattern) {
    const char* suffix = pattern[0] == '*' ? pattern + 1 : pattern;
    const std::size_t nameLength = std::strlen(name);
    const std::size_t suffixLength = std::strlen(suffix);
    if (suffixLength > nameLength)
        return false;
    const char* tail = name + nameLength - suffixLength;
    for (std::size_t index = 0; index < suffixLength; ++index) {
        if (asciiLower(tail[index]) != asciiLower(suffix[index]))
            return false;
    }
    return true;
}

bool listDirectory(const char* directory, const char* pattern,
                   std::vector<DirectoryEntry>& entries) {
    DIR* stream = opendir(directory);
    if (stream == nullptr)
        return false;
    entries.clear();
    while (const dirent* found = readdir(stream)) {
        const char* name = found->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        if (!matchesPattern(name, pattern))
            continue;
        struct stat status{};
        DirectoryEntry entry;
        entry.name = name;
        if (fstatat(dirfd(stream), name, &status, AT_SYMLINK_NOFOLLOW) == 0)
            entry.attributes = attributesOf(status);
        entries.push_back(std::move(entry));
    }
    closedir(stream);
    // std::string compares as unsigned bytes: the order of strcmp, whatever the locale.
    std::sort(entries.begin(), entries.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    return true;
}

} // namespace platform
