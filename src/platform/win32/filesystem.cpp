/*
 * Files and directories on Windows: the Win32 calls themselves, with their results mapped
 * to what the launcher distinguishes. The only departure from the plain calls is that a
 * reparse point (junction, directory or file link) is reported as a link, so that the tree
 * removal deletes it instead of walking into its target.
 */
#include "platform/filesystem.h"

#include <aclapi.h>
#include <cstring>
#include <string>
#include <windows.h>

namespace platform {

bool currentDirectory(char* buffer, std::size_t size) {
    const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(size), buffer);
    return length > 0 && length < size;
}

bool changeDirectory(const char* path) {
    return SetCurrentDirectoryA(path) != FALSE;
}

unsigned long systemTempDirectory(char* buffer, std::size_t size) {
    return GetTempPathA(static_cast<DWORD>(size), buffer);
}

bool programFile(char* buffer, std::size_t size) {
    const DWORD length = GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(size));
    return length > 0 && length < size;
}

unsigned long fullPath(const char* path, char* buffer, std::size_t size) {
    return GetFullPathNameA(path, static_cast<DWORD>(size), buffer, nullptr);
}

bool programPathFromArgument(const char* argument0, char* buffer, std::size_t size) {
    // GetFullPathNameA refuses an empty name; its full path is the working directory.
    if (argument0[0] == '\0')
        return currentDirectory(buffer, size);
    const unsigned long length = fullPath(argument0, buffer, size);
    return length > 0 && length < size;
}

static FileAttributes attributesOf(DWORD bits) {
    FileAttributes attributes;
    attributes.exists = true;
    attributes.isDirectory = (bits & FILE_ATTRIBUTE_DIRECTORY) != 0;
    attributes.isReadOnly = (bits & FILE_ATTRIBUTE_READONLY) != 0;
    attributes.isLink = (bits & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    return attributes;
}

FileAttributes fileAttributes(const char* path) {
    const DWORD bits = GetFileAttributesA(path);
    if (bits == INVALID_FILE_ATTRIBUTES)
        return FileAttributes{};
    return attributesOf(bits);
}

bool isDirectoryFollowingLinks(const char* path) {
    // A directory link or junction carries the directory attribute itself.
    const DWORD bits = GetFileAttributesA(path);
    return bits != INVALID_FILE_ATTRIBUTES && (bits & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool clearReadOnly(const char* path) {
    const DWORD bits = GetFileAttributesA(path);
    if (bits == INVALID_FILE_ATTRIBUTES)
        return false;
    DWORD kept = bits & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (kept == 0)
        kept = FILE_ATTRIBUTE_NORMAL;
    return SetFileAttributesA(path, kept) != FALSE;
}

bool systemFreeBytesAvailable(const char* directory, uint64_t* bytes) {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(directory, &available, nullptr, nullptr))
        return false;
    *bytes = available.QuadPart;
    return true;
}

UniqueNameResult createUniqueFile(const char* directory, const char* prefix, char* buffer,
                                  std::size_t size) {
    // GetTempFileNameA writes up to MAX_PATH characters.
    if (size < MAX_PATH)
        return UniqueNameResult::failed;
    if (GetTempFileNameA(directory, prefix, 0, buffer) != 0)
        return UniqueNameResult::created;
    return GetLastError() == ERROR_ACCESS_DENIED ? UniqueNameResult::accessDenied
                                                 : UniqueNameResult::failed;
}

// One entry: all rights for the current user, inherited by files and subdirectories.
static DWORD buildOwnerOnlyList(PACL* list) {
    EXPLICIT_ACCESS_A access;
    std::memset(&access, 0, sizeof access);
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    access.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    access.Trustee.TrusteeType = TRUSTEE_IS_USER;
    access.Trustee.ptstrName = const_cast<char*>("CURRENT_USER");
    return SetEntriesInAclA(1, &access, nullptr, list);
}

PrivateDirectoryResult createPrivateDirectory(const char* path) {
    PrivateDirectoryResult result;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SECURITY_ATTRIBUTES* attributes = nullptr;

    const DWORD listError = buildOwnerOnlyList(&list);
    if (listError != ERROR_SUCCESS) {
        result.failedStep = PrivateDirectoryStep::accessList;
        result.error = listError;
        return result;
    }
    descriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (descriptor == nullptr) {
        result.failedStep = PrivateDirectoryStep::descriptorAlloc;
    } else if (!InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) ||
               !SetSecurityDescriptorDacl(descriptor, TRUE, list, FALSE)) {
        result.failedStep = PrivateDirectoryStep::descriptorInit;
    } else {
        attributes = static_cast<SECURITY_ATTRIBUTES*>(LocalAlloc(LPTR, sizeof *attributes));
        if (attributes == nullptr) {
            result.failedStep = PrivateDirectoryStep::attributesAlloc;
        } else {
            attributes->nLength = sizeof *attributes;
            attributes->lpSecurityDescriptor = descriptor;
            attributes->bInheritHandle = FALSE;
            if (!CreateDirectoryA(path, attributes))
                result.failedStep = PrivateDirectoryStep::createDirectory;
        }
    }
    if (result.failedStep != PrivateDirectoryStep::done)
        result.error = GetLastError();
    LocalFree(list);
    if (descriptor != nullptr)
        LocalFree(descriptor);
    if (attributes != nullptr)
        LocalFree(attributes);
    return result;
}

static RemoveResult removeResult(BOOL succeeded) {
    if (succeeded)
        return RemoveResult::removed;
    return GetLastError() == ERROR_SHARING_VIOLATION ? RemoveResult::sharingViolation
                                                     : RemoveResult::failed;
}

RemoveResult deleteFile(const char* path) {
    return removeResult(DeleteFileA(path));
}

RemoveResult removeDirectory(const char* path) {
    return removeResult(RemoveDirectoryA(path));
}

bool listDirectory(const char* directory, const char* pattern,
                   std::vector<DirectoryEntry>& entries) {
    const std::string search = std::string(directory) + "\\" + pattern;
    WIN32_FIND_DATAA found;
    HANDLE enumeration = FindFirstFileA(search.c_str(), &found);
    if (enumeration == INVALID_HANDLE_VALUE)
        return false;
    entries.clear();
    do {
        if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0)
            continue;
        DirectoryEntry entry;
        entry.name = found.cFileName;
        entry.attributes = attributesOf(found.dwFileAttributes);
        entries.push_back(std::move(entry));
    } while (FindNextFileA(enumeration, &found));
    FindClose(enumeration);
    return true;
}

} // namespace platform
