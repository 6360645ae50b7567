/*
 * Files and directories as the launcher needs them: the working directory, the system's
 * temporary directory, free space, unique names, owner-only directories, attributes,
 * enumeration and deletion. The operations are named after what the program needs; the
 * Windows implementation calls the Win32 functions, the Linux one the POSIX equivalents.
 *
 * Results that callers must tell apart (a sharing violation is retried, access denied has
 * its own message) are enums rather than raw system error codes, so that shared code never
 * looks at platform numbers.
 */
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The process's working directory into buffer; false when it cannot be read or does not
// fit (buffer size includes the terminating zero).
bool currentDirectory(char* buffer, std::size_t size);

// Makes path the working directory.
bool changeDirectory(const char* path);

// The system's temporary directory into buffer, with the result convention of
// GetTempPathA: 0 on failure, the length copied (without the zero) on success, or the
// size needed (with the zero) when buffer is too small, in which case nothing is copied.
// Linux: $TMPDIR when set and not empty, else /tmp, with a trailing '/' removed.
unsigned long systemTempDirectory(char* buffer, std::size_t size);

// The full path of the running program file; false on failure or when it does not fit.
bool programFile(char* buffer, std::size_t size);

// programPath from argument 0 of the argument vector. Windows: as GetFullPathNameA makes
// it (an empty argument gives the working directory). Linux: argument 0 made absolute
// when it contains a '/', otherwise the program's own file. False on failure or when the
// result does not fit.
bool programPathFromArgument(const char* argument0, char* buffer, std::size_t size);

// Makes path absolute against the working directory, folding "." and ".." and without
// checking that it exists. Result convention of GetFullPathNameA: 0 on failure, the
// length (without the zero) on success, the size needed (with the zero) when it does not
// fit. Linux: an empty path gives the working directory; links are not resolved.
unsigned long fullPath(const char* path, char* buffer, std::size_t size);

struct FileAttributes {
    bool exists = false;
    bool isDirectory = false;
    bool isReadOnly = false; // Linux: the owner's write bit is missing
    bool isLink = false;     // symbolic link, or a Windows reparse point (junction, link)
};

// Attributes of path itself (a link is not followed).
FileAttributes fileAttributes(const char* path);

// True when path is a directory or a link to one: for a directory the user names, such as
// the temporary directory, never for entries of a tree being removed.
bool isDirectoryFollowingLinks(const char* path);

// Clears the read-only attribute of path, keeping its other attributes.
bool clearReadOnly(const char* path);

// Free bytes available to the calling user on the volume holding directory. Goes through
// the query installed with setFreeBytesQuery, by default the system's.
bool freeBytesAvailable(const char* directory, uint64_t* bytes);

// Replaces the free-bytes query (tests simulate nearly full volumes with it); null
// restores the system's. Returns the query that was installed before.
using FreeBytesQuery = bool (*)(const char* directory, uint64_t* bytes);
FreeBytesQuery setFreeBytesQuery(FreeBytesQuery query);

// The system's own query, what freeBytesAvailable uses unless replaced.
bool systemFreeBytesAvailable(const char* directory, uint64_t* bytes);

enum class UniqueNameResult { created, accessDenied, failed };

// Creates an empty file with a unique name "<prefix>XXXX.tmp" (up to four hexadecimal
// digits) in directory and writes its full path into buffer.
UniqueNameResult createUniqueFile(const char* directory, const char* prefix, char* buffer,
                                  std::size_t size);

// Where the creation of an owner-only directory stopped; the Windows build builds an
// access list, a security descriptor and security attributes before it creates anything.
enum class PrivateDirectoryStep {
    done,
    accessList,         // SetEntriesInAclA
    descriptorAlloc,    // LocalAlloc of the security descriptor
    descriptorInit,     // InitializeSecurityDescriptor or SetSecurityDescriptorDacl
    attributesAlloc,    // LocalAlloc of the security attributes
    createDirectory     // CreateDirectoryA / mkdir
};

struct PrivateDirectoryResult {
    PrivateDirectoryStep failedStep = PrivateDirectoryStep::done; // done: created
    unsigned long error = 0; // the system's error code of the failed step
};

// Creates directory path accessible to the current user only: one access entry for the
// current user with all rights, inherited by files and subdirectories (Windows), or mode
// 0700 whatever the umask (Linux).
PrivateDirectoryResult createPrivateDirectory(const char* path);

enum class RemoveResult { removed, sharingViolation, failed };

// Deletes a file (or a symbolic link, never its target).
RemoveResult deleteFile(const char* path);

// Removes an empty directory (or a directory link / junction, never its target).
RemoveResult removeDirectory(const char* path);

struct DirectoryEntry {
    std::string name;
    FileAttributes attributes;
};

// The entries of directory matching pattern, "." and ".." left out. Pattern is "*" or
// "*" followed by a suffix such as ".jar" (compared ignoring case, as Windows does).
// Windows gives the system's order (NTFS: by name); Linux sorts the names by byte value
// so that every run sees the same order. False when the enumeration cannot start.
bool listDirectory(const char* directory, const char* pattern,
                   std::vector<DirectoryEntry>& entries);

} // namespace platform
