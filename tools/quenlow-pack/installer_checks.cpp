#include "installer_checks.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "central_directory.h"
#include "source_tree.h"

namespace {

const char* kModeAdvice =
    "make the runtime jar with quenlow-pack --runtime-image DIR, or with Python's zipfile, "
    "which keeps Unix modes (cd DIR && python3 -m zipfile -c ../runtime.jar ./*); the "
    "JDK's jar tool stores none";

// True when the file ends with a ZIP archive of at least one entry: an installer, not a
// bare stub.
bool carriesArchive(const std::string& path) {
    std::vector<CentralEntry> entries;
    std::string ignored;
    return readCentralDirectory(path, &entries, &ignored) && !entries.empty();
}

bool hasSuffix(const std::string& text, const char* suffix) {
    size_t length = std::strlen(suffix);
    return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

} // namespace

std::vector<std::string> splitAt(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

bool inspectStub(const std::string& path, StubKind* kind, std::string* error) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = "cannot read the stub " + path;
        return false;
    }
    unsigned char magic[4] = {};
    size_t got = std::fread(magic, 1, sizeof magic, file);
    std::fclose(file);
    if (got == 4 && std::memcmp(magic, "\177ELF", 4) == 0) {
        *kind = StubKind::Linux;
    } else if (got >= 2 && magic[0] == 'M' && magic[1] == 'Z') {
        *kind = StubKind::Windows;
    } else {
        *error = "the stub " + path + " is not a program: give quenlow-sfx or quenlow-sfx.exe";
        return false;
    }
    if (carriesArchive(path)) {
        *error = "the stub " + path + " already carries an archive (is it an installer?): "
                 "give the launcher as built, quenlow-sfx or quenlow-sfx.exe";
        return false;
    }
    return true;
}

bool readFirstComponent(const std::string& source, const std::string& components,
                        const std::string& packedName, std::vector<ComponentFile>* files,
                        std::string* error) {
    std::string base = source + "/Disk1/stage/Components/";
    bool first = true;
    for (const std::string& component : splitAt(components, ',')) {
        std::vector<std::string> nameAndVersion = splitAt(component, ':');
        const std::string& name = nameAndVersion[0];
        std::string directory = base + name;
        if (!packedName.empty() && name == packedName) {
            first = false;
            continue;
        }
        if (name.empty() || !isDirectory(directory)) {
            *error = "runtime component \"" + name + "\" named by JRE_COMPONENT not found: " +
                     directory + " is not a directory";
            return false;
        }
        std::vector<std::string> versions;
        if (nameAndVersion.size() > 1) {
            versions.push_back(nameAndVersion[1]);
            if (!isDirectory(directory + "/" + nameAndVersion[1])) {
                *error = "version " + nameAndVersion[1] + " of runtime component \"" + name +
                         "\" not found in " + directory;
                return false;
            }
        } else {
            versions = sortedNames(directory);
        }
        for (const std::string& version : versions) {
            std::string dataFiles = directory + "/" + version + "/DataFiles";
            for (const std::string& jar : first ? sortedNames(dataFiles)
                                                : std::vector<std::string>()) {
                if (!hasSuffix(jar, ".jar"))
                    continue;
                std::vector<CentralEntry> entries;
                if (!readCentralDirectory(dataFiles + "/" + jar, &entries, error))
                    return false;
                for (const CentralEntry& entry : entries) {
                    files->push_back({entry.name, name + "/" + version + "/DataFiles/" + jar,
                                      entry.hasUnixMode(), entry.unixMode()});
                }
            }
        }
        first = false;
    }
    return true;
}

bool checkLaunch(const std::string& command, const std::string& components, StubKind stub,
                 const std::vector<ComponentFile>& files, std::string* error) {
    if (command.empty()) {
        *error = "no CMD given, so the installer could not start: give --cmd \"bin/java -jar "
                 "install/installer.jar\" (the Java program in the runtime, then its arguments) "
                 "or CMD= in the [autorun] section of sfx.ini";
        return false;
    }
    if (components.empty()) {
        *error = "no JRE_COMPONENT given, so the installer could not start: give "
                 "--runtime-image DIR, --jre-component NAME or JRE_COMPONENT= in sfx.ini";
        return false;
    }
    std::string program = command.substr(0, command.find(' '));
    std::string first = splitAt(splitAt(components, ',')[0], ':')[0];
    if (stub == StubKind::Linux && program.find('\\') != std::string::npos) {
        *error = "CMD's program " + program + " is written with backslashes, which the Linux "
                 "stub takes as part of the name: write it with / (such as bin/java)";
        return false;
    }
    // The name in the jar: "/" separators, "." segments (".\\bin\\java.exe") left out.
    std::string path = program;
    if (stub == StubKind::Windows)
        std::replace(path.begin(), path.end(), '\\', '/');
    std::string name;
    for (const std::string& segment : splitAt(path, '/')) {
        if (segment != "." && !segment.empty())
            name += (name.empty() ? "" : "/") + segment;
    }
    for (const ComponentFile& file : files) {
        // Windows finds files whatever the case of their names.
        bool same = stub == StubKind::Windows ? strcasecmp(file.name.c_str(), name.c_str()) == 0
                                              : file.name == name;
        if (!same)
            continue;
        if (stub == StubKind::Linux && !(file.hasUnixMode && (file.unixMode & 0100) != 0)) {
            *error = "CMD's program " + program + " in " + file.where +
                     " has no execute mode, so the Linux installer could not start it: " +
                     kModeAdvice;
            return false;
        }
        return true;
    }
    *error = "CMD's program " + program + " is not in the jars of runtime component \"" + first +
             "\" (CMD names it relative to the unpacked runtime, such as " +
             (stub == StubKind::Linux ? "bin/java" : "bin\\java.exe") +
             "): fix CMD, or put the runtime's files at the top of its jar";
    return false;
}
