/*
 * Path conventions shared by every layer. The program formats its paths with a separator
 * literal ("%s" PATH_SEP "%s") so that the same format strings serve both platforms: a
 * backslash on Windows, a slash on Linux.
 */
#pragma once

#include <cstddef>

#ifdef _WIN32
#define PATH_SEP "\\"
#else
#define PATH_SEP "/"
#endif

// Every path value of the launcher lives in a buffer of this size: at most 1024
// characters and the terminating zero.
inline constexpr std::size_t kPathBufferSize = 1025;
