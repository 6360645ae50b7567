// The password question. Echo is switched off only for the one line read and switched
// back on before anything else is printed, so a terminal is never left silent; the
// typed newline is not echoed either, so the question prints one itself.
#include "password_question.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

static const char* givenPassword = nullptr;

void useGivenPassword(const char* text) { givenPassword = text; }

int answerGivenPassword(char* buffer, int bufferSize, const char*, const char*) {
    if (givenPassword == nullptr || int(std::strlen(givenPassword)) >= bufferSize) return -1;
    std::strcpy(buffer, givenPassword);
    return 0;
}

#ifdef _WIN32
bool inputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

// Console mode of standard input with echo off; answers whether it was changed.
static bool echoOff(DWORD* saved) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (!GetConsoleMode(input, saved)) return false;
    return SetConsoleMode(input, *saved & ~DWORD(ENABLE_ECHO_INPUT)) != 0;
}
static void echoBack(DWORD saved) { SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), saved); }
using EchoState = DWORD;
#else
bool inputIsTerminal() { return isatty(STDIN_FILENO) != 0; }

static bool echoOff(termios* saved) {
    if (tcgetattr(STDIN_FILENO, saved) != 0) return false;
    termios quiet = *saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    return tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
}
static void echoBack(const termios& saved) { tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved); }
using EchoState = termios;
#endif

int askPasswordOnTerminal(char* buffer, int bufferSize, const char* prompt, const char* entryName) {
    std::fprintf(stderr, "%s%s ", prompt, entryName != nullptr ? entryName : "");
    std::fflush(stderr);
    EchoState saved{};
    const bool silenced = echoOff(&saved);
    const bool answered = std::fgets(buffer, bufferSize, stdin) != nullptr;
    // The rest of a line too long for the buffer must not become the next answer.
    if (answered && std::strchr(buffer, '\n') == nullptr)
        for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
        }
    if (silenced) echoBack(saved);
    std::fputc('\n', stderr);
    if (!answered) return -1;
    buffer[std::strcspn(buffer, "\r\n")] = '\0';
    return 0;
}
