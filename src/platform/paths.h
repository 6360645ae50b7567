/*
 * Path conventions shared by every layer. The program formats its paths with a separator
 * literal ("%s" PATH_SEP "%s") so that the same format strings serve both platforms: a
 * backslash on Windows, a slash on Linux.
 */
#pragma once

#include <cstddef>

// kJavaProgramInRuntime: the Java program inside a runtime directory (-jreLoc), as a
// format for that directory.
#ifdef _WIN32
#define PATH_SEP "\\"
inline constexpr const char* kJavaProgramInRuntime = "%s\\bin\\java.exe";
#else
#define PATH_SEP "/"
inline constexpr const char* kJavaProgramInRuntime = "%s/bin/java";
#endif

// Every path value of the launcher lives in a buffer of this size: at most 1024
// characters and the terminating zero.
inline constexpr std::size_t kPathBufferSize = 1025;
