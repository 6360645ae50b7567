// The write guard (see write_guard.h). The replacements call the kernel through
// syscall() with the *at forms, so they need nothing from the C library's own
// definitions and behave the same on every architecture. Paths are compared after
// lexical normalisation against the working directory; the engine creates no links, so
// no component of a path it builds can lead out of the root by itself.
#include "write_guard.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

bool armed = false;
std::string allowedRoot;

// The absolute, normalised form of `path` as seen from directory `dirfd`.
std::string absolutePath(int dirfd, const char* path) {
    std::string whole;
    if (path[0] != '/') {
        char base[4096];
        if (dirfd == AT_FDCWD) {
            if (getcwd(base, sizeof base) == nullptr) return std::string();
        } else {
            char link[64];
            std::snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
            ssize_t n = readlink(link, base, sizeof base - 1);
            if (n <= 0) return std::string();
            base[n] = '\0';
        }
        whole = std::string(base) + "/";
    }
    whole += path;
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= whole.size()) {
        size_t end = whole.find('/', start);
        if (end == std::string::npos) end = whole.size();
        std::string part = whole.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string normal;
    for (const std::string& part : parts) normal += "/" + part;
    return normal.empty() ? "/" : normal;
}

void check(const char* call, int dirfd, const char* path) {
    if (!armed || path == nullptr) return;
    const std::string where = absolutePath(dirfd, path);
    const bool inside = !allowedRoot.empty() &&
                        (where == allowedRoot || where.rfind(allowedRoot + "/", 0) == 0);
    if (inside) return;
    std::fprintf(stderr, "write guard: %s(\"%s\") changes %s, outside %s\n", call, path,
                 where.c_str(), allowedRoot.empty() ? "(nothing may be changed)" : allowedRoot.c_str());
    std::abort();
}

bool changes(int flags) {
    return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND)) != 0;
}

mode_t modeArgument(int flags, va_list arguments) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

int openChecked(const char* call, int dirfd, const char* path, int flags, mode_t mode) {
    if (changes(flags)) check(call, dirfd, path);
    return static_cast<int>(syscall(SYS_openat, dirfd, path, flags, mode));
}

} // namespace

namespace fuzz {

void armWriteGuard(const std::string& root) {
    allowedRoot = root;
    armed = true;
}

void disarmWriteGuard() { armed = false; }

void removeTree(const std::string& path) {
    const bool wasArmed = armed;
    armed = false;
    // Directories first made open to us from the top down, then everything removed
    // from the bottom up.
    nftw(path.c_str(), [](const char* p, const struct stat* s, int type, FTW*) {
        if (type == FTW_D || type == FTW_DNR) chmod(p, (s->st_mode & 07777) | S_IRWXU);
        return 0;
    }, 16, FTW_PHYS);
    nftw(path.c_str(), [](const char* p, const struct stat*, int type, FTW*) {
        if (type == FTW_DP) rmdir(p);
        else unlink(p);
        return 0;
    }, 16, FTW_PHYS | FTW_DEPTH);
    armed = wasArmed;
}

} // namespace fuzz

extern "C" {

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    return openChecked("open", AT_FDCWD, path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    return openChecked("openat", dirfd, path, flags, mode);
}

int creat(const char* path, mode_t mode) {
    return openChecked("creat", AT_FDCWD, path, O_CREAT | O_WRONLY | O_TRUNC, mode);
}

// The large-file names are the same calls on 64-bit systems and ours take any size.
int open64(const char* path, int flags, ...) __attribute__((alias("open")));
int openat64(int dirfd, const char* path, int flags, ...) __attribute__((alias("openat")));
int creat64(const char* path, mode_t mode) __attribute__((alias("creat")));

int mkdir(const char* path, mode_t mode) {
    check("mkdir", AT_FDCWD, path);
    return static_cast<int>(syscall(SYS_mkdirat, AT_FDCWD, path, mode));
}

int mkdirat(int dirfd, const char* path, mode_t mode) {
    check("mkdirat", dirfd, path);
    return static_cast<int>(syscall(SYS_mkdirat, dirfd, path, mode));
}

int rename(const char* from, const char* to) {
    check("rename", AT_FDCWD, from);
    check("rename", AT_FDCWD, to);
    return static_cast<int>(syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
}

int renameat(int fromfd, const char* from, int tofd, const char* to) {
    check("renameat", fromfd, from);
    check("renameat", tofd, to);
    return static_cast<int>(syscall(SYS_renameat, fromfd, from, tofd, to));
}

int unlink(const char* path) {
    check("unlink", AT_FDCWD, path);
    return static_cast<int>(syscall(SYS_unlinkat, AT_FDCWD, path, 0));
}

int unlinkat(int dirfd, const char* path, int flags) {
    check("unlinkat", dirfd, path);
    return static_cast<int>(syscall(SYS_unlinkat, dirfd, path, flags));
}

int rmdir(const char* path) {
    check("rmdir", AT_FDCWD, path);
    return static_cast<int>(syscall(SYS_unlinkat, AT_FDCWD, path, AT_REMOVEDIR));
}

int chmod(const char* path, mode_t mode) {
    check("chmod", AT_FDCWD, path);
    return static_cast<int>(syscall(SYS_fchmodat, AT_FDCWD, path, mode));
}

int symlink(const char* target, const char* path) {
    check("symlink", AT_FDCWD, path);
    return static_cast<int>(syscall(SYS_symlinkat, target, AT_FDCWD, path));
}

int link(const char* from, const char* to) {
    check("link", AT_FDCWD, to);
    return static_cast<int>(syscall(SYS_linkat, AT_FDCWD, from, AT_FDCWD, to, 0));
}

int truncate(const char* path, off_t length) {
    check("truncate", AT_FDCWD, path);
    return static_cast<int>(syscall(SYS_truncate, path, length));
}

int utimensat(int dirfd, const char* path, const struct timespec times[2], int flags) {
    check("utimensat", dirfd, path);
    return static_cast<int>(syscall(SYS_utimensat, dirfd, path, times, flags));
}

} // extern "C"
