// How the engine speaks: every message is formatted into the state's messageBuffer and
// handed to the caller's printText in one piece, with its own line ends. Filtering is
// done by the message level (quietLevel) alone; the helpers here never decide on their
// own whether a message is wanted, except sendMessageUpTo, which states the level.
//
// Also the engine's status events and password prompt, which reach the caller through
// the same callback record.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineState;

// The short program name that opens some messages, and the note asked of the user when
// an archive looks damaged (two lines, each indented by two blanks).
extern const char engineName[];
extern const char pleaseCheckNote[];

constexpr std::size_t PRINTABLE_NAME_SIZE = 16384;  // buffers of printableName in messages
constexpr std::size_t LISTING_NAME_SIZE = 32768;    // the listing's buffer

#if defined(__GNUC__)
#define QZ_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define QZ_PRINTF(f, a)
#endif

// Formats and sends one message; answers what printText answered.
int sendMessage(EngineState* state, const char* format, ...) QZ_PRINTF(2, 3);
// The same, only when the message level is at most `highestLevel`.
int sendMessageUpTo(EngineState* state, int highestLevel, const char* format, ...) QZ_PRINTF(3, 4);
// Hands text as it is to printText (entry data, comments); answers printText's count.
int sendText(EngineState* state, const char* text, std::size_t length);

// Status events: answers 0 (go on) or 1 (stop).
enum StatusEvent { STATUS_ENTRY_START = 1, STATUS_PROGRESS = 2, STATUS_ENTRY_DONE = 3 };
int raiseStatus(EngineState* state, StatusEvent event, const char* name, uint64_t size);

// Asks the caller for a password (first "Enter password for: ", then "Password
// incorrect--reenter: "); answers what askPassword answered, or -1 without the callback.
int askForPassword(EngineState* state, char* buffer, int size, const char* entryName);

// A name with control characters shown as "^X" and unprintable bytes as "?", cut with
// "..." to fit `size`. Answers `buffer`.
char* printableName(const char* text, char* buffer, std::size_t size);
// printableName into a buffer of PRINTABLE_NAME_SIZE, the size every message uses.
inline const char* shownName(const char* name, char* buffer) {
    return printableName(name, buffer, PRINTABLE_NAME_SIZE);
}

// A 64-bit value in decimal; four rotating buffers, so a message can hold four numbers.
const char* formatNumber(EngineState* state, uint64_t value, bool isSigned);
