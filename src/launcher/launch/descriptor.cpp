/*
 * Reads the launch descriptor through the platform's profile reader, one key per read.
 * A key written with an empty value reads as 0 characters, which counts as "not found"
 * for every key; an absent key gives its default.
 */
#include "launcher/launch/descriptor.h"

#include <climits>
#include <cstdlib>

#include "launcher/app/reporting.h"
#include "launcher/state/run_state.h"
#include "platform/profile.h"

namespace {

constexpr const char* kSection = "autorun";

uint32_t readKey(const char* key, const char* defaultValue, char* buffer, std::size_t size) {
    return platform::readProfileString(kSection, key, defaultValue, buffer,
                                       static_cast<uint32_t>(size), runPaths.descriptorPath);
}

} // namespace

uint64_t convertSizeText(const char* text) {
    return static_cast<uint64_t>(std::strtoll(text, nullptr, 0));
}

bool readTotalBytes() {
    char value[kDescriptorNumberSize];
    if (readKey("TEMP_SPACE_TOTAL_BYTES", "1", value, sizeof value) == 0) {
        debugLog("Cannot get total uncompressed size (%d)",
                 static_cast<int>(platform::lastProfileError()));
        return false;
    }
    runState.totalBytes = convertSizeText(value);
    debugLog("Total uncompressed size: %llu", static_cast<unsigned long long>(runState.totalBytes));
    return true;
}

bool readDiskCount() {
    char value[kDescriptorNumberSize];
    if (readKey("DISKCNT", "1", value, sizeof value) == 0) {
        reportError("Cannot get disk count from %s", runPaths.descriptorPath);
        return false;
    }
    // The decimal text-to-int rule, without the undefined overflow of atoi.
    long long count = std::strtoll(value, nullptr, 10);
    if (count > INT_MAX)
        count = INT_MAX;
    if (count < INT_MIN)
        count = INT_MIN;
    debugLog("Total disks: %s (%i)", value, static_cast<int>(count));
    debugLog("Finished extracting Disk1");
    return true;
}

bool readLaunchSettings(char* command, char* component) {
    if (readKey("CMD", "", command, kDescriptorCommandSize) == 0) {
        reportError("CMD property not found in %s (%d)\n", runPaths.descriptorPath,
                    static_cast<int>(platform::lastProfileError()));
        return false;
    }
    if (readKey("JRE_COMPONENT", "", component, kDescriptorCommandSize) == 0) {
        reportError("JRE_COMPONENT property not found in %s", runPaths.descriptorPath);
        return false;
    }
    return true;
}
