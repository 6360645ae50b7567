// The password question. The line is read through the platform's no-echo read, which
// switches echo back on before anything else is printed; the typed newline is not echoed
// either, so the question prints one itself.
#include "password_question.h"

#include <cstdio>
#include <cstring>

#include "platform/console.h"

static const char* givenPassword = nullptr;

void useGivenPassword(const char* text) { givenPassword = text; }

int answerGivenPassword(char* buffer, int bufferSize, const char*, const char*) {
    if (givenPassword == nullptr || int(std::strlen(givenPassword)) >= bufferSize) return -1;
    std::strcpy(buffer, givenPassword);
    return 0;
}

bool inputIsTerminal() { return platform::inputIsTerminal(); }

int askPasswordOnTerminal(char* buffer, int bufferSize, const char* prompt, const char* entryName) {
    std::fprintf(stderr, "%s%s ", prompt, entryName != nullptr ? entryName : "");
    std::fflush(stderr);
    const bool answered = platform::readLineWithoutEcho(buffer, bufferSize);
    std::fputc('\n', stderr);
    if (!answered) return -1;
    buffer[std::strcspn(buffer, "\r\n")] = '\0';
    return 0;
}
