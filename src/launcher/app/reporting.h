/*
 * How the launcher talks to the user: the console of a GUI process, the debug log, the
 * two error reporters and the progress dots of the silent run. Every console line goes
 * to standard error; the engine's own messages never come here.
 */
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/windowing.h"

#define QUENLOW_PRINTF(formatIndex, firstArgument)                                         \
    __attribute__((format(printf, formatIndex, firstArgument)))

// Buffer of the general reporter's texts: at most 3199 characters and the zero.
inline constexpr std::size_t kReportTextSize = 3200;

// Opens a console for the log and binds the standard streams to it (start-up, once).
void openConsole();

// The exit epilogue: "Press any key to exit" and the key wait (unless -nowait or a failed
// launch), then the console is released.
void finishConsole();

// A line on standard error, only with -debug. Formats carry no trailing newline.
void debugLog(const char* format, ...) QUENLOW_PRINTF(1, 2);

// "ERROR: <text>" on standard error and, unless silent, a message box owned by the main
// window. Texts are cut to 3199 characters.
void reportError(const char* format, ...) QUENLOW_PRINTF(1, 2);

// As reportError, for the dialog run: the box is owned by the dialog and captioned
// "Error", and is shown whatever the mode. Texts are cut to 907 characters.
void reportDialogError(platform::WindowHandle dialog, const char* format, ...)
    QUENLOW_PRINTF(2, 3);

// A newly allocated copy of the formatted text (cut to 3199 characters), to be freed by
// the caller; null when it cannot be allocated.
char* formatOptionError(const char* format, ...) QUENLOW_PRINTF(1, 2);

// The silent run's progress sink: with -debug one " ." per percentage point gained since
// the last call, the percentages bounded to 0..100 so that a wild value prints at most 100
// dots. 100 starts the count again from zero.
void consoleProgressSink(const char* entryName, int32_t percent);
