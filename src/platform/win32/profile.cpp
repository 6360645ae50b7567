/*
 * Profile reading on Windows: the system's reader is the reference behaviour, so this
 * is a plain pass-through.
 */
#include "platform/profile.h"

#include <windows.h>

namespace platform {

uint32_t readProfileString(const char* section, const char* key, const char* defaultValue,
                           char* buffer, uint32_t bufferSize, const char* path) {
    return GetPrivateProfileStringA(section, key, defaultValue, buffer, bufferSize, path);
}

bool profileTooLarge(const char*) {
    return false;
}

unsigned long lastProfileError() {
    return GetLastError();
}

} // namespace platform
