// buildLaunchCommand on random parts: the input's zero bytes separate the Java path,
// the temporary directory, the launcher's home, the extraction path, the program path,
// the descriptor's arguments and then the list arguments; the first byte says how many
// of those are Java options, the rest are pass-through arguments.
//
// The command buffer is allocated to its exact size, so that any write past it shows.
// A command that fitted must also come back unchanged through the Windows argument
// rules (platform::splitCommandLine), piece by piece, when the descriptor adds no
// arguments of its own and the Java path is a plain path.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "launcher/launch/launch_command.h"
#include "launcher/state/run_records.h"
#include "platform/process.h"
#include "text_pieces.h"

namespace {

std::vector<char*> nullTerminated(std::vector<std::string>& texts) {
    std::vector<char*> list;
    for (std::string& text : texts)
        list.push_back(text.data());
    list.push_back(nullptr);
    return list;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 65536)
        return 0;
    const unsigned javaCount = data[0];
    std::vector<std::string> pieces = fuzz::splitAtZeros(data + 1, size - 1);
    pieces.resize(pieces.size() < 6 ? 6 : pieces.size());
    std::vector<std::string> javaOptions, installerArgs;
    for (size_t i = 6; i < pieces.size(); ++i)
        (i - 6 < javaCount ? javaOptions : installerArgs).push_back(pieces[i]);
    std::vector<char*> javaList = nullTerminated(javaOptions);
    std::vector<char*> installerList = nullTerminated(installerArgs);

    LaunchCommandParts parts{};
    parts.javaPath = pieces[0].c_str();
    parts.tempDirectory = pieces[1].c_str();
    parts.launcherHome = pieces[2].c_str();
    parts.extractPath = pieces[3].c_str();
    parts.programPath = pieces[4].c_str();
    parts.descriptorArguments = pieces[5].c_str();
    parts.javaOptions = javaList.data();
    parts.installerArgs = installerList.data();

    char* command = static_cast<char*>(std::malloc(kLaunchCommandSize));
    const int length = buildLaunchCommand(parts, command);
    if (length < 0 || length >= kLaunchCommandSize || std::strlen(command) != size_t(length))
        std::abort();

    const bool plainJavaPath = pieces[0].find('"') == std::string::npos;
    if (!runState.commandOverflow && pieces[5].empty() && plainJavaPath) {
        std::vector<std::string> expected = {pieces[0], "-Djava.io.tmpdir=" + pieces[1],
                                             "-Dsfx.installer.launcher.home=" + pieces[2],
                                             "-Dsfx.extract.path=" + pieces[3],
                                             "-Dsfx.exe=" + pieces[4]};
        expected.insert(expected.end(), javaOptions.begin(), javaOptions.end());
        expected.insert(expected.end(), installerArgs.begin(), installerArgs.end());
        if (platform::splitCommandLine(command) != expected) {
            std::fprintf(stderr, "launch command does not split back into its parts: %s\n",
                         command);
            std::abort();
        }
    }
    std::free(command);
    return 0;
}
