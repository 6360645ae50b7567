/*
 * The command-line splitter shared by both builds: Linux spawns with its result, and
 * the tests use it to check what an installer receives from a built command line.
 */
#include "platform/process.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The program name: no escapes, quotes only group.
const char* splitProgramName(const char* p, std::string* name) {
    bool quoted = false;
    for (; *p != '\0'; ++p) {
        if (*p == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && isBlank(*p))
            break;
        name->push_back(*p);
    }
    return p;
}

} // namespace

namespace platform {

std::vector<std::string> splitCommandLine(const char* commandLine) {
    std::vector<std::string> arguments;
    if (commandLine == nullptr)
        return arguments;
    const char* p = commandLine;
    std::string program;
    p = splitProgramName(p, &program);
    arguments.push_back(program);

    for (;;) {
        while (isBlank(*p))
            ++p;
        if (*p == '\0')
            break;
        std::string argument;
        bool quoted = false;
        while (*p != '\0' && (quoted || !isBlank(*p))) {
            size_t backslashes = 0;
            while (*p == '\\') {
                ++backslashes;
                ++p;
            }
            if (*p == '"') {
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    argument.push_back('"');
                    ++p;
                } else if (quoted && p[1] == '"') {
                    argument.push_back('"');
                    p += 2;
                } else {
                    quoted = !quoted;
                    ++p;
                }
                continue;
            }
            argument.append(backslashes, '\\');
            if (*p == '\0' || (!quoted && isBlank(*p)))
                break;
            argument.push_back(*p++);
        }
        arguments.push_back(argument);
    }
    return arguments;
}

} // namespace platform
