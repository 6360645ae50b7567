/*
 * Finding, measuring and unpacking the runtime components' jars. The jar list is one
 * text that grows as components are added, so any number of jars with names of any
 * length fits. Enumeration order is the platform's (sorted by name on Linux), so the
 * list is the same on every run. The results of unpacking are not looked at: a jar
 * that cannot be unpacked shows up as a missing Java program at the launch.
 */
#include "launcher/launch/java_runtime.h"

#include <vector>

#include "launcher/app/reporting.h"
#include "launcher/launch/engine_calls.h"
#include "launcher/launch/versions.h"
#include "launcher/state/run_state.h"
#include "platform/filesystem.h"
#include "platform/paths.h"

namespace {

constexpr const char* kComponentsDirectory = "Disk1" PATH_SEP "stage" PATH_SEP "Components";

void appendToList(std::string* list, const std::string& more) {
    if (more.empty())
        return;
    if (!list->empty())
        list->push_back(',');
    *list += more;
}

std::vector<std::string> splitList(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos)
            end = text.size();
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

} // namespace

std::string listJars(const std::string& dataFilesDirectory) {
    std::vector<platform::DirectoryEntry> entries;
    std::string list;
    if (!platform::listDirectory(dataFilesDirectory.c_str(), "*.jar", entries))
        return list;
    for (const platform::DirectoryEntry& entry : entries) {
        if (entry.attributes.isDirectory)
            continue;
        appendToList(&list, dataFilesDirectory + PATH_SEP + entry.name);
    }
    debugLog("Jar list: %s", list.c_str());
    return list;
}

std::string buildJarList(const char* componentText) {
    std::string jars;
    for (const std::string& component : splitList(componentText, ',')) {
        // "rt," or "a,,b": an empty piece names no component (and not the Components
        // directory itself).
        if (component.empty())
            continue;
        size_t colon = component.find(':');
        std::string name = component.substr(0, colon);
        std::string componentDirectory = std::string(kComponentsDirectory) + PATH_SEP + name;
        std::string version;
        if (colon != std::string::npos) {
            version = component.substr(colon + 1);
        } else {
            version = pickVersionDirectory(componentDirectory.c_str());
            if (version.empty()) {
                reportError("Cannot find version for component %s", name.c_str());
                return std::string();
            }
        }
        appendToList(&jars,
                     listJars(componentDirectory + PATH_SEP + version + PATH_SEP + "DataFiles"));
    }
    return jars;
}

bool prepareJavaRuntime(const std::string& jarList, const char* destination) {
    debugLog("Unzipping Java jars %s to %s", jarList.c_str(), destination);
    std::vector<std::string> jars = splitList(jarList, ',');
    for (const std::string& jar : jars)
        measureJar(jar.c_str());

    // A volume whose free space cannot be measured counts as full, as for the
    // extraction directory: unpacking blindly could fill the disk under the installer.
    uint64_t freeBytes = 0;
    bool known = platform::freeBytesAvailable(runPaths.m_szTempDirectory, &freeBytes);
    debugLog("Checking space for Java components in %s", runPaths.m_szTempDirectory);
    if (!known || freeBytes <= runState.javaJarBytes) {
        uint64_t required = saturatingAdd(runState.totalBytes, runState.javaJarBytes);
        unsigned long long megabytes = required / 1048576 + (required % 1048576 != 0 ? 1 : 0);
        reportError("The directory %s does not have enough free space. At %llu MB of free "
                    "space is required.",
                    runPaths.m_szTempDirectory, megabytes);
        return false;
    }
    debugLog("Unzipping Java jars: %s", jarList.c_str());
    for (const std::string& jar : jars)
        unzipJar(jar.c_str(), destination);
    return true;
}
