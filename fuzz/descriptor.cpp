// The descriptor reader on random sfx.ini files: the three reads of the launcher, and
// the profile reader itself with buffers of every small size, each buffer allocated to
// its exact size so that a value cut wrongly writes past it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "launcher/launch/descriptor.h"
#include "launcher/run/extraction_directory.h"
#include "launcher/state/run_records.h"
#include "platform/profile.h"

namespace {

void removeDescriptor() {
    unlink(runPaths.descriptorPath);
}

void writeDescriptor(const uint8_t* data, size_t size) {
    if (runPaths.descriptorPath[0] == '\0') {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/quenlow-fuzz-sfx-XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0)
            std::abort();
        close(fd);
        std::snprintf(runPaths.descriptorPath, sizeof runPaths.descriptorPath, "%s",
                      pattern.c_str());
        std::atexit(removeDescriptor);
    }
    FILE* file = std::fopen(runPaths.descriptorPath, "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size))
        std::abort();
    std::fclose(file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    writeDescriptor(data, size);
    readTotalBytes();
    readDiskCount();
    char* command = static_cast<char*>(std::malloc(kDescriptorCommandSize));
    char* component = static_cast<char*>(std::malloc(kDescriptorCommandSize));
    readLaunchSettings(command, component);
    std::free(command);
    std::free(component);

    const uint32_t bufferSize = uint32_t(size % 19);
    char* buffer = static_cast<char*>(std::malloc(bufferSize));
    for (const char* key : {"CMD", "JRE_COMPONENT", "TEMP_SPACE_TOTAL_BYTES", "DISKCNT"}) {
        const uint32_t copied = platform::readProfileString("autorun", key, "default", buffer,
                                                            bufferSize, runPaths.descriptorPath);
        if (bufferSize > 0 && (copied >= bufferSize || buffer[copied] != '\0'))
            std::abort();
        if (bufferSize == 0 && copied != 0)
            std::abort();
    }
    std::free(buffer);
    return 0;
}
