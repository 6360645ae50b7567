// parseCommandLine on random argument vectors: the input's zero bytes separate the
// arguments, the first being argument 0. Whatever the arguments, parsing must either
// fail with an error text or leave lists that end in a null entry and point into the
// argument strings, and path values that fit their buffers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "launcher/app/command_line.h"
#include "launcher/state/run_records.h"
#include "platform/app_framework.h"
#include "text_pieces.h"

namespace {

bool pointsIntoArguments(const char* p, const std::vector<char*>& arguments) {
    for (char* argument : arguments)
        if (p >= argument && p <= argument + std::strlen(argument))
            return true;
    return false;
}

void checkList(char** list, const std::vector<char*>& arguments) {
    if (list == nullptr)
        return;
    size_t i = 0;
    for (; list[i] != nullptr; ++i) {
        if (i >= arguments.size() || !pointsIntoArguments(list[i], arguments))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536)
        return 0;
    std::vector<std::string> pieces = fuzz::splitAtZeros(data, size);
    // Each argument in an allocation of its own size, so that a read past its end shows.
    std::vector<char*> arguments;
    for (const std::string& piece : pieces) {
        char* copy = static_cast<char*>(std::malloc(piece.size() + 1));
        std::memcpy(copy, piece.c_str(), piece.size() + 1);
        arguments.push_back(copy);
    }
    std::vector<char*> vector = arguments;
    vector.push_back(nullptr);
    platform::setArgumentVector(int(arguments.size()), vector.data());

    parseCommandLine();
    if (commandLine.optionError == nullptr) {
        checkList(commandLine.javaOptions, arguments);
        checkList(commandLine.installerArgs, arguments);
    }
    for (const char* path :
         {commandLine.jreLocation, commandLine.programPath, runPaths.m_szTempDirectory})
        if (strnlen(path, kPathBufferSize) >= kPathBufferSize)
            std::abort();

    resetCommandLine();
    platform::setArgumentVector(0, nullptr);
    for (char* argument : arguments)
        std::free(argument);
    return 0;
}
