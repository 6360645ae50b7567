// The part of the console shared by both builds.
#include "platform/console.h"

#include <cstdio>
#include <cstring>

namespace platform {

bool readWholeLine(char* buffer, int size) {
    const bool answered = std::fgets(buffer, size, stdin) != nullptr;
    // The rest of a line too long for the buffer must not become the next answer.
    if (answered && std::strchr(buffer, '\n') == nullptr)
        for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
        }
    return answered;
}

} // namespace platform
