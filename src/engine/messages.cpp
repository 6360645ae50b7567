// Message formatting and the caller-facing helpers of the engine's output.
#include "engine/messages.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "engine/known_folder.h"
#include "engine/state.h"
#include "platform/codepage.h"

const char engineName[] = "quenzip";
const char pleaseCheckNote[] =
    "  Please check that the archive was copied or downloaded in binary mode and is\n"
    "  complete, and that this program was built properly for this system.\n";

QZ_PRINTF(2, 0)
static int sendFormatted(EngineState* state, const char* format, va_list arguments) {
    int length = std::vsnprintf(state->messageBuffer, sizeof state->messageBuffer, format,
                                arguments);
    if (length < 0) return 0;
    if (length >= int(sizeof state->messageBuffer)) length = int(sizeof state->messageBuffer) - 1;
    return state->callbacks->printText(state->messageBuffer, uint32_t(length));
}

int sendMessage(EngineState* state, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int answer = sendFormatted(state, format, arguments);
    va_end(arguments);
    return answer;
}

int sendMessageUpTo(EngineState* state, int highestLevel, const char* format, ...) {
    if (state->quietLevel > highestLevel) return 0;
    va_list arguments;
    va_start(arguments, format);
    int answer = sendFormatted(state, format, arguments);
    va_end(arguments);
    return answer;
}

int sendText(EngineState* state, const char* text, std::size_t length) {
    return state->callbacks->printText(text, uint32_t(length));
}

int raiseStatus(EngineState* state, StatusEvent event, const char* name, uint64_t size) {
    UnzipCallbacks* callbacks = state->callbacks;
    switch (event) {
    case STATUS_ENTRY_START:
        callbacks->notifySound();
        return 0;
    case STATUS_PROGRESS:
        return 0;
    case STATUS_ENTRY_DONE: {
        if (callbacks->entryDone != nullptr && callbacks->entryDone(name, size) != 0) return 1;
        if (callbacks->entryDone32 != nullptr &&
            callbacks->entryDone32(name, uint32_t(size), uint32_t(size >> 32)) != 0)
            return 1;
        return 0;
    }
    }
    return 0;
}

int askForPassword(EngineState* state, char* buffer, int size, const char* entryName) {
    const char* prompt;
    if (state->passwordRetries == 0) {
        state->passwordRetries = 2;
        prompt = "Enter password for: ";
    } else {
        --state->passwordRetries;
        prompt = "Password incorrect--reenter: ";
    }
    if (state->callbacks->askPassword == nullptr) return -1;
    forgetKnownFolder(state);  // while the question waits, the user may change the tree
    return state->callbacks->askPassword(buffer, size, prompt, entryName);
}

char* printableName(const char* text, char* buffer, std::size_t size) {
    if (size == 0) return buffer;
    // Once the output reaches `cutAt`, "..." still fits there whatever follows.
    const std::size_t reserve = std::size_t(maxAnsiCharBytes()) + 3;
    const std::size_t cutAt = size > reserve ? size - reserve : 0;
    std::size_t out = 0;
    std::size_t ellipsisAt = SIZE_MAX;
    const char* p = text;
    while (*p != '\0') {
        if (out >= cutAt && ellipsisAt == SIZE_MAX) ellipsisAt = out;
        unsigned char byte = static_cast<unsigned char>(*p);
        bool printable = false;
        int length = byte < 0x20 ? 1 : ansiCharacter(p, &printable);
        std::size_t needed = byte < 0x20 ? 2 : printable ? std::size_t(length) : 1;
        if (out + needed >= size) {
            std::size_t at = ellipsisAt == SIZE_MAX ? out : ellipsisAt;
            if (at + 4 <= size) {
                std::memcpy(buffer + at, "...", 3);
                out = at + 3;
            } else {
                out = at;
            }
            break;
        }
        if (byte < 0x20) {
            buffer[out++] = '^';
            buffer[out++] = char(byte + 64);
        } else if (printable) {
            std::memcpy(buffer + out, p, std::size_t(length));
            out += std::size_t(length);
        } else {
            buffer[out++] = '?';
        }
        p += length;
    }
    buffer[out] = '\0';
    return buffer;
}

const char* formatNumber(EngineState* state, uint64_t value, bool isSigned) {
    char* buffer = state->numberBuffers[state->nextNumberBuffer];
    state->nextNumberBuffer = (state->nextNumberBuffer + 1) % 4;
    if (isSigned)
        std::snprintf(buffer, sizeof state->numberBuffers[0], "%" PRId64, int64_t(value));
    else
        std::snprintf(buffer, sizeof state->numberBuffers[0], "%" PRIu64, value);
    return buffer;
}
