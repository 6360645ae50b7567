/*
 * Console, debug log and error reporting. Every text is formatted into a fixed buffer
 * first (cut, never overrun) and then written with a single stream call, so that lines of
 * two threads never interleave within a line. Standard output only ever carries the notes
 * of failed stream bindings.
 */
#include "launcher/app/reporting.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "launcher/state/run_records.h"
#include "platform/console.h"

// Longest texts: 3199 characters for the general reporter and option errors, 907 for the
// dialog run's own messages.
static constexpr std::size_t kDialogReportBufferSize = 908;
static constexpr int kConsoleLines = 512;

static void appendNote(char* notes, std::size_t size, const char* note) {
    std::strncat(notes, note, size - std::strlen(notes) - 1);
}

// A binding that failed leaves the old stream in place; the note says which one.
static void bindOutputStream(platform::StandardStream which, const char* note, char* notes,
                             std::size_t size) {
    if (platform::bindStandardStream(which) != platform::StreamBinding::bound)
        appendNote(notes, size, note);
}

void openConsole() {
    platform::allocateConsole();
    runState.consoleAllocated = true;
    platform::setConsoleBufferHeight(kConsoleLines);
    char notes[64] = "";
    bindOutputStream(platform::StandardStream::output, "\nRedirect of stdout failed\n", notes,
                     sizeof notes);
    platform::bindStandardStream(platform::StandardStream::input);
    bindOutputStream(platform::StandardStream::error, "\nRedirect of stderr failed\n", notes,
                     sizeof notes);
    platform::setConsoleTitle("Quenlow");
    if (commandLine.debugMode && notes[0] != '\0') {
        std::fprintf(stdout, "%s", notes);
        std::fprintf(stderr, "%s", notes);
    }
}

void finishConsole() {
    if (!commandLine.noWait && !runState.launchFailed) {
        std::fputs("Press any key to exit\n", stderr);
        platform::waitForKeyPress();
    }
    platform::releaseConsole();
}

void debugLog(const char* format, ...) {
    if (!commandLine.debugMode)
        return;
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputs("\n", stderr);
}

// Formats the text into buffer (cut to its size) and writes its ERROR line.
QUENLOW_PRINTF(3, 0)
static void writeErrorLine(char* text, std::size_t size, const char* format, va_list arguments) {
    std::vsnprintf(text, size, format, arguments);
    std::fprintf(stderr, "ERROR: %s\n", text);
}

void reportError(const char* format, ...) {
    char text[kReportTextSize];
    va_list arguments;
    va_start(arguments, format);
    writeErrorLine(text, sizeof text, format, arguments);
    va_end(arguments);
    if (!commandLine.silentMode)
        platform::showMessageBox(platform::mainWindow(), text, nullptr);
}

void reportDialogError(platform::WindowHandle dialog, const char* format, ...) {
    char text[kDialogReportBufferSize];
    va_list arguments;
    va_start(arguments, format);
    writeErrorLine(text, sizeof text, format, arguments);
    va_end(arguments);
    platform::showMessageBox(dialog, text, "Error");
}

char* formatOptionError(const char* format, ...) {
    char text[kReportTextSize];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    const std::size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(size));
    if (copy != nullptr)
        std::memcpy(copy, text, size);
    return copy;
}

static int32_t boundPercent(int32_t percent) {
    return percent < 0 ? 0 : (percent > 100 ? 100 : percent);
}

void consoleProgressSink(const char*, int32_t percent) {
    if (commandLine.debugMode) {
        // Bounded to 0..100 on both ends, a run of dots is at most 100 " ." long.
        char dots[2 * 100 + 1];
        std::size_t length = 0;
        for (int32_t point = boundPercent(runState.lastPercent); point < boundPercent(percent);
             ++point) {
            dots[length++] = ' ';
            dots[length++] = '.';
        }
        dots[length] = '\0';
        if (length > 0)
            std::fputs(dots, stderr);
    }
    // 100 closes a run of dots, so that a later run starts again from zero.
    runState.lastPercent = percent == 100 ? 0 : percent;
}
