/*
 * quenlow-pack: builds a self-extracting installer from a launcher stub and a source
 * folder. The output is the stub, byte for byte, followed by a ZIP archive that holds
 * the launch descriptor sfx.ini first (so the launcher's first, single-entry extraction
 * finds it at once) and then the rest of the source folder.
 *
 * The descriptor is always written anew from the source folder's sfx.ini (section
 * autorun) with the command-line options taking precedence; TEMP_SPACE_TOTAL_BYTES is
 * computed when it is not given, as the exact sum of the uncompressed sizes of all
 * entries, descriptor included, so that the launcher's progress ends at 100 %.
 *
 * The runtime components named by JRE_COMPONENT are checked before anything is
 * written: the launcher would otherwise fail only on the user's machine.
 */
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "branding.h"
#include "pe_image.h"
#include "platform/profile.h"
#include "zip_writer.h"

namespace {

const char* kUsage =
    "Usage: quenlow-pack --stub STUB --output FILE [options] SOURCE_DIR\n"
    "\n"
    "Builds a self-extracting installer: the launcher stub (quenlow-sfx or\n"
    "quenlow-sfx.exe) followed by a ZIP archive of SOURCE_DIR.\n"
    "\n"
    "SOURCE_DIR must hold a directory Disk1 (the installer and its staging tree) and\n"
    "may hold an sfx.ini with a section [autorun] whose keys CMD, JRE_COMPONENT,\n"
    "DISKCNT and TEMP_SPACE_TOTAL_BYTES are taken over; the options below override\n"
    "them. Everything else in SOURCE_DIR is packed as it is.\n"
    "\n"
    "Options:\n"
    "  --stub STUB             the launcher executable to put in front\n"
    "  --output FILE           the installer to write (made executable)\n"
    "  --cmd TEXT              CMD: the Java program, relative to the first runtime\n"
    "                          component's directory, a blank and its arguments\n"
    "                          (relative to Disk1), e.g. \"bin/java -jar setup.jar\"\n"
    "  --jre-component TEXT    JRE_COMPONENT: NAME[:VERSION][,NAME[:VERSION]...]; the\n"
    "                          jars under Disk1/stage/Components/NAME/VERSION/DataFiles\n"
    "                          are unpacked into NAME before the launch\n"
    "  --disk-count N          DISKCNT (default 1)\n"
    "\n"
    "Branding of the Windows installer (not for the Linux stub):\n"
    "  --icon FILE.ico         the program's icon (every image of the file)\n"
    "  --banner FILE.bmp       the dialog's picture, 190 x 131 pixels\n"
    "  --title TEXT            the dialog's caption (default: the product name)\n"
    "  --product-name TEXT     version information: the product's name\n"
    "  --product-version N.N.N.N  the product's and the file's version (up to four\n"
    "                          numbers)\n"
    "  --company TEXT          the vendor's name\n"
    "  --description TEXT      the file description, which Explorer and the elevation\n"
    "                          prompt show (default: the product name)\n"
    "  --copyright TEXT        the copyright notice\n"
    "\n"
    "  --zip64                 write Zip64 records for every entry (for testing readers)\n"
    "  --help                  show this text\n"
    "\n"
    "TEMP_SPACE_TOTAL_BYTES, when not given in sfx.ini, is the sum of the uncompressed\n"
    "sizes of all packed files. Unix permissions are stored, so executables stay\n"
    "executable when the installer unpacks them on Linux.\n";

struct Settings {
    std::string stub;
    std::string output;
    std::string source;
    std::string command;
    std::string component;
    std::string diskCount;
    std::string totalBytes;
    bool forceZip64 = false;
    Branding branding;
};

struct SourceItem {
    std::string name; // archive name, "/" separators, directories end in "/"
    std::string path; // path on disk
    struct stat status;
};

int fail(const std::string& message) {
    std::fprintf(stderr, "quenlow-pack: error: %s\n", message.c_str());
    return 1;
}

void warn(const std::string& message) {
    std::fprintf(stderr, "quenlow-pack: warning: %s\n", message.c_str());
}

bool isDirectory(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::vector<std::string> sortedNames(const std::string& directory) {
    std::vector<std::string> names;
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr)
        return names;
    while (dirent* item = readdir(dir)) {
        if (std::strcmp(item->d_name, ".") != 0 && std::strcmp(item->d_name, "..") != 0) {
            names.push_back(item->d_name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Collects the tree under `path` (archive prefix `prefix`) in sorted order.
bool collect(const std::string& path, const std::string& prefix, std::vector<SourceItem>* items) {
    for (const std::string& name : sortedNames(path)) {
        SourceItem item;
        item.path = path + "/" + name;
        item.name = prefix + name;
        if (stat(item.path.c_str(), &item.status) != 0) {
            std::fprintf(stderr, "quenlow-pack: error: cannot read %s\n", item.path.c_str());
            return false;
        }
        if (S_ISDIR(item.status.st_mode)) {
            item.name += "/";
            items->push_back(item);
            if (!collect(item.path, item.name, items))
                return false;
        } else if (S_ISREG(item.status.st_mode)) {
            items->push_back(item);
        } else {
            warn("skipping " + item.path + ": not a file or directory");
        }
    }
    return true;
}

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

bool hasJar(const std::string& directory) {
    for (const std::string& name : sortedNames(directory)) {
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".jar") == 0)
            return true;
    }
    return false;
}

// Every component must exist (with the version named, if any); a missing one is an
// error. No jars at all is only a warning: the launcher reports it clearly.
bool checkComponents(const Settings& settings) {
    std::string base = settings.source + "/Disk1/stage/Components/";
    bool anyJar = false;
    for (const std::string& component : splitAt(settings.component, ',')) {
        std::vector<std::string> nameAndVersion = splitAt(component, ':');
        const std::string& name = nameAndVersion[0];
        std::string directory = base + name;
        if (name.empty() || !isDirectory(directory)) {
            fail("runtime component \"" + name +
                 "\" named by JRE_COMPONENT not found: " + directory + " is not a directory");
            return false;
        }
        std::vector<std::string> versions;
        if (nameAndVersion.size() > 1) {
            versions.push_back(nameAndVersion[1]);
            if (!isDirectory(directory + "/" + nameAndVersion[1])) {
                fail("version " + nameAndVersion[1] + " of runtime component \"" + name +
                     "\" not found in " + directory);
                return false;
            }
        } else {
            versions = sortedNames(directory);
        }
        for (const std::string& version : versions) {
            anyJar = anyJar || hasJar(directory + "/" + version + "/DataFiles");
        }
    }
    if (!anyJar)
        warn("no .jar files in the runtime components " + settings.component);
    return true;
}

std::string descriptorText(const Settings& settings, const std::string& totalBytes) {
    std::string text = "[autorun]\n";
    if (!settings.command.empty())
        text += "CMD=" + settings.command + "\n";
    if (!settings.component.empty())
        text += "JRE_COMPONENT=" + settings.component + "\n";
    text += "DISKCNT=" + (settings.diskCount.empty() ? "1" : settings.diskCount) + "\n";
    text += "TEMP_SPACE_TOTAL_BYTES=" + totalBytes + "\n";
    return text;
}

// The descriptor, with the total computed as the sum of all entries including the
// descriptor itself (its length depends on the number it holds, hence the loop).
std::string makeDescriptor(const Settings& settings, const std::vector<SourceItem>& items) {
    if (!settings.totalBytes.empty())
        return descriptorText(settings, settings.totalBytes);
    uint64_t sum = 0;
    for (const SourceItem& item : items) {
        if (S_ISREG(item.status.st_mode))
            sum += static_cast<uint64_t>(item.status.st_size);
    }
    uint64_t total = sum;
    std::string text;
    for (;;) {
        text = descriptorText(settings, std::to_string(total));
        if (sum + text.size() == total)
            return text;
        total = sum + text.size();
    }
}

void readDescriptorKeys(Settings* settings) {
    std::string path = settings->source + "/sfx.ini";
    struct {
        const char* key;
        std::string* value;
    } keys[] = {{"CMD", &settings->command},
                {"JRE_COMPONENT", &settings->component},
                {"DISKCNT", &settings->diskCount},
                {"TEMP_SPACE_TOTAL_BYTES", &settings->totalBytes}};
    for (auto& key : keys) {
        if (!key.value->empty())
            continue; // given as an option
        char value[4096];
        if (platform::readProfileString("autorun", key.key, "", value, sizeof value, path.c_str()) >
            0) {
            *key.value = value;
        }
    }
}

bool parseArguments(int argc, char** argv, Settings* settings, int* status) {
    *status = 2;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        std::string* target = nullptr;
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            *status = 0;
            return false;
        }
        if (argument == "--zip64") {
            settings->forceZip64 = true;
            continue;
        }
        if (argument == "--stub")
            target = &settings->stub;
        if (argument == "--output")
            target = &settings->output;
        if (argument == "--cmd")
            target = &settings->command;
        if (argument == "--jre-component")
            target = &settings->component;
        if (argument == "--disk-count")
            target = &settings->diskCount;
        if (target == nullptr)
            target = brandingOption(&settings->branding, argument);
        if (target != nullptr) {
            if (i + 1 == argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "quenlow-pack: error: %s needs a value\n", argv[i]);
                return false;
            }
            *target = argv[++i];
        } else if (argument.starts_with("--") || !settings->source.empty()) {
            std::fprintf(stderr, "quenlow-pack: error: unexpected argument %s\n%s", argv[i],
                         kUsage);
            return false;
        } else {
            settings->source = argument;
        }
    }
    if (settings->stub.empty() || settings->output.empty() || settings->source.empty()) {
        std::fprintf(stderr,
                     "quenlow-pack: error: --stub, --output and SOURCE_DIR are "
                     "required\n%s",
                     kUsage);
        return false;
    }
    if (!settings->diskCount.empty() &&
        settings->diskCount.find_first_not_of("0123456789") != std::string::npos) {
        std::fprintf(stderr, "quenlow-pack: error: --disk-count needs a number\n");
        return false;
    }
    return true;
}

bool writeInstaller(const Settings& settings, const Bytes& stub,
                    const std::vector<SourceItem>& items, const std::string& descriptor,
                    std::string* error) {
    FILE* out = std::fopen(settings.output.c_str(), "wb");
    if (out == nullptr) {
        *error = "cannot create " + settings.output;
        return false;
    }
    if (std::fwrite(stub.data(), 1, stub.size(), out) != stub.size()) {
        std::fclose(out);
        *error = "cannot write " + settings.output;
        return false;
    }
    ZipWriter zip;
    zip.out = out;
    zip.forceZip64 = settings.forceZip64;
    bool ok = addBytes(&zip, "sfx.ini", descriptor, S_IFREG | 0644, std::time(nullptr));
    for (size_t i = 0; ok && i < items.size(); ++i) {
        const SourceItem& item = items[i];
        uint32_t mode = static_cast<uint32_t>(item.status.st_mode);
        if (S_ISDIR(item.status.st_mode)) {
            ok = addDirectory(&zip, item.name, mode, item.status.st_mtime);
        } else {
            ok = addFile(&zip, item.name, item.path.c_str(),
                         static_cast<uint64_t>(item.status.st_size), mode, item.status.st_mtime);
        }
    }
    ok = ok && finishArchive(&zip);
    if (std::fclose(out) != 0 && ok) {
        zip.error = "cannot write " + settings.output;
        ok = false;
    }
    if (!ok)
        *error = zip.error;
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    Settings settings;
    int status = 0;
    if (!parseArguments(argc, argv, &settings, &status))
        return status;

    if (!isDirectory(settings.source + "/Disk1")) {
        return fail("the source folder " + settings.source + " has no Disk1 directory");
    }
    readDescriptorKeys(&settings);
    if (settings.command.empty())
        warn("no CMD given: the installer will not start");
    if (settings.component.empty()) {
        warn("no JRE_COMPONENT given: the installer will not start");
    } else if (!checkComponents(settings)) {
        return 1;
    }

    std::vector<SourceItem> items;
    if (!collect(settings.source, "", &items))
        return 1;
    items.erase(std::remove_if(items.begin(), items.end(),
                               [](const SourceItem& item) { return item.name == "sfx.ini"; }),
                items.end());
    std::string descriptor = makeDescriptor(settings, items);

    std::string error;
    Bytes stub;
    if (!loadStub(settings.stub, settings.branding, settings.output, &stub, &error))
        return fail(error);
    if (!writeInstaller(settings, stub, items, descriptor, &error) ||
        !updatePeChecksum(settings.output, &error)) {
        std::remove(settings.output.c_str());
        return fail(error);
    }
    chmod(settings.output.c_str(), 0755);
    std::printf("%s: %zu entries\n", settings.output.c_str(), items.size() + 1);
    return 0;
}
