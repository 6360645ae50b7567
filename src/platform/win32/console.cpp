/*
 * The console of the Windows GUI program. A GUI process starts without one; after
 * AllocConsole the C runtime's streams still point at the handles of start-up, so each is
 * rebuilt on a descriptor of the new standard handle. The stream object is copied into the
 * runtime's own stdin/stdout/stderr slot, so that every piece of code that writes to
 * stderr, ours or the runtime's, reaches the console.
 */
#include "platform/console.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace platform {

void allocateConsole() {
    AllocConsole();
}

void setConsoleBufferHeight(int lines) {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(output, &info))
        return;
    info.dwSize.Y = static_cast<SHORT>(lines);
    SetConsoleScreenBufferSize(output, info.dwSize);
}

StreamBinding bindStandardStream(StandardStream which) {
    DWORD handleKind = STD_INPUT_HANDLE;
    FILE* target = stdin;
    const char* mode = "r";
    if (which == StandardStream::output) {
        handleKind = STD_OUTPUT_HANDLE;
        target = stdout;
        mode = "w";
    } else if (which == StandardStream::error) {
        handleKind = STD_ERROR_HANDLE;
        target = stderr;
        mode = "w";
    }
    HANDLE handle = GetStdHandle(handleKind);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return StreamBinding::noDescriptor;
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_TEXT);
    if (descriptor < 0)
        return StreamBinding::noDescriptor;
    FILE* opened = _fdopen(descriptor, mode);
    // The descriptor is left open on failure: closing it would close the standard handle.
    if (opened == nullptr)
        return StreamBinding::noStream;
    *target = *opened;
    std::setvbuf(target, nullptr, _IONBF, 0);
    return StreamBinding::bound;
}

void setConsoleTitle(const char* title) {
    SetConsoleTitleA(title);
}

void waitForKeyPress() {
    // The console's own input, whatever standard input was redirected to; a process
    // without a console cannot open it and does not wait.
    HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr);
    if (input == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    if (GetConsoleMode(input, &mode)) {
        for (;;) {
            INPUT_RECORD record;
            DWORD count = 0;
            if (!ReadConsoleInputA(input, &record, 1, &count) || count == 0)
                break;
            if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown)
                break;
        }
    }
    CloseHandle(input);
}

void releaseConsole() {
    FreeConsole();
}

bool inputIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}

bool readLineWithoutEcho(char* buffer, int size) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD saved = 0;
    const bool silenced = GetConsoleMode(input, &saved) &&
                          SetConsoleMode(input, saved & ~DWORD(ENABLE_ECHO_INPUT)) != 0;
    const bool answered = readWholeLine(buffer, size);
    if (silenced)
        SetConsoleMode(input, saved);
    return answered;
}

} // namespace platform
