/*
 * The console on Linux: the standard streams exist from the start and the terminal has
 * no title or buffer size of ours to set, so only the key wait at exit does real work. As
 * on Windows, where a GUI process has a console only after asking for one, the wait
 * happens only when a console was asked for, and only on a terminal.
 */
#include "platform/console.h"

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace platform {

static bool consoleRequested = false;

void allocateConsole() {
    consoleRequested = true;
}

void setConsoleBufferHeight(int) {}

StreamBinding bindStandardStream(StandardStream which) {
    // Unbuffered like the Windows console streams, so that a line is seen when written.
    if (which == StandardStream::output)
        std::setvbuf(stdout, nullptr, _IONBF, 0);
    return StreamBinding::bound;
}

void setConsoleTitle(const char*) {}

void waitForKeyPress() {
    // Without a terminal there is nobody to press a key: a pipe or file must not be read.
    if (!consoleRequested || !isatty(STDIN_FILENO))
        return;
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0)
        return;
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0)
        return;
    char key = 0;
    [[maybe_unused]] const ssize_t count = read(STDIN_FILENO, &key, 1);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

void releaseConsole() {
    consoleRequested = false;
}

bool inputIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}

bool readLineWithoutEcho(char* buffer, int size) {
    termios saved{};
    bool silenced = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (silenced) {
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        silenced = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    const bool answered = readWholeLine(buffer, size);
    if (silenced)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    return answered;
}

} // namespace platform
