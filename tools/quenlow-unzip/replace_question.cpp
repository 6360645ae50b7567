// Asks on standard error and reads the answer from standard input. Without an answer
// (input closed) nothing more is replaced: an unattended run never overwrites by
// accident.
#include "replace_question.h"

#include <cstdio>
#include <cstring>

#include "quenlow/unzip.h"

static bool readLine(char* line, int size) {
    if (std::fgets(line, size, stdin) == nullptr) return false;
    line[std::strcspn(line, "\r\n")] = '\0';
    return true;
}

int askOnTerminal(char* nameBuffer, int bufferSize) {
    char line[512];
    for (;;) {
        std::fprintf(stderr, "replace %s? [y]es, [n]o, [A]ll, [N]one, [r]ename: ", nameBuffer);
        std::fflush(stderr);
        if (!readLine(line, sizeof line)) {
            std::fprintf(stderr, "(no answer: not replaced)\n");
            return REPLACE_NONE;
        }
        switch (line[0]) {
        case 'y':
        case 'Y':
            return REPLACE_YES;
        case 'n':
            return REPLACE_NO;
        case 'A':
        case 'a':
            return REPLACE_ALL;
        case 'N':
            return REPLACE_NONE;
        case 'r':
        case 'R':
            std::fprintf(stderr, "new name: ");
            std::fflush(stderr);
            if (!readLine(line, sizeof line) || line[0] == '\0') return REPLACE_NO;
            if (int(std::strlen(line)) >= bufferSize) {
                std::fprintf(stderr, "name too long (at most %d characters)\n", bufferSize - 1);
                continue;
            }
            std::strcpy(nameBuffer, line);
            return REPLACE_RENAME;
        default:
            std::fprintf(stderr, "error:  invalid response [%s]\n", line);
        }
    }
}
