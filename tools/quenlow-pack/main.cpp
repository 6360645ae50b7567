/*
 * quenlow-pack: builds a self-extracting installer from a launcher stub and a source
 * folder. The output is the stub, byte for byte, followed by a ZIP archive that holds
 * the launch descriptor sfx.ini first (so the launcher's first, single-entry extraction
 * finds it at once) and then the rest of the source folder, and with --runtime-image a
 * Java runtime packed as the runtime component's jar.
 *
 * The descriptor is always written anew from the source folder's sfx.ini (section
 * autorun) with the command-line options taking precedence; TEMP_SPACE_TOTAL_BYTES is
 * computed when it is not given, as the exact sum of the uncompressed sizes of all
 * entries, descriptor included, so that the launcher's progress ends at 100 %.
 *
 * Everything that would keep the installer from starting is checked before anything is
 * written (installer_checks.h). The installer is written under a temporary name and
 * renamed at the end, so that no output is left behind after an error. With
 * SOURCE_DATE_EPOCH set the output is reproducible: entry times are clamped to it and
 * written in UTC, and names are sorted, so nothing depends on the machine, the source's
 * path or the order the file system lists it in.
 */
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "branding.h"
#include "installer_checks.h"
#include "pe_image.h"
#include "platform/profile.h"
#include "progress.h"
#include "runtime_image.h"
#include "source_tree.h"
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
    "  --runtime-image DIR     pack the Java runtime folder DIR (such as jlink's output)\n"
    "                          as the runtime component: a jar that keeps Unix modes,\n"
    "                          Disk1/stage/Components/NAME/VERSION/DataFiles/runtime.jar;\n"
    "                          JRE_COMPONENT is NAME unless given\n"
    "  --runtime-name NAME     the component's name (default jre)\n"
    "  --runtime-version V     its version (default: JAVA_VERSION of DIR/release)\n"
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
    "executable when the installer unpacks them on Linux. Symbolic links are followed.\n"
    "Installers that could not start are refused. With SOURCE_DATE_EPOCH set, the\n"
    "installer is the same byte for byte from the same content.\n";

struct Settings {
    std::string stub;
    std::string output;
    std::string source;
    std::string command;
    std::string component;
    std::string diskCount;
    std::string totalBytes;
    std::string runtimeImage;
    std::string runtimeName = "jre";
    std::string runtimeVersion;
    bool forceZip64 = false;
    Branding branding;
};

// What goes into the installer, and how its times are written.
struct Plan {
    StubKind stub = StubKind::Linux;
    Bytes stubBytes; // as they go into the installer (branded, for a Windows stub)
    bool reproducible = false; // SOURCE_DATE_EPOCH is set
    std::time_t epoch = 0;     // its value, or the time of the run
    RuntimeImage runtime;
    std::vector<SourceItem> items;
};

int fail(const std::string& message) {
    std::fprintf(stderr, "quenlow-pack: error: %s\n", message.c_str());
    return 1;
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
std::string makeDescriptor(const Settings& settings, const std::vector<PackEntry>& entries) {
    if (!settings.totalBytes.empty())
        return descriptorText(settings, settings.totalBytes);
    uint64_t sum = 0;
    for (const PackEntry& entry : entries)
        sum += entry.size;
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
    const struct {
        const char* option;
        std::string* value;
    } valued[] = {{"--stub", &settings->stub},
                  {"--output", &settings->output},
                  {"--cmd", &settings->command},
                  {"--jre-component", &settings->component},
                  {"--disk-count", &settings->diskCount},
                  {"--runtime-image", &settings->runtimeImage},
                  {"--runtime-name", &settings->runtimeName},
                  {"--runtime-version", &settings->runtimeVersion}};
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
        for (const auto& option : valued) {
            if (argument == option.option)
                target = option.value;
        }
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

// SOURCE_DATE_EPOCH, the reproducible-builds convention: a count of seconds.
bool readEpoch(Plan* plan, std::string* error) {
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    plan->epoch = std::time(nullptr);
    if (text == nullptr || *text == '\0')
        return true;
    char* end = nullptr;
    long long value = std::strtoll(text, &end, 10);
    if (*end != '\0' || value < 0) {
        *error = std::string("SOURCE_DATE_EPOCH must be a number of seconds, not ") + text;
        return false;
    }
    plan->reproducible = true;
    plan->epoch = static_cast<std::time_t>(value);
    return true;
}

// Everything read and checked before a byte is written.
bool makePlan(Settings* settings, Plan* plan, std::string* error) {
    if (!isDirectory(settings->source + "/Disk1")) {
        *error = "the source folder " + settings->source + " has no Disk1 directory";
        return false;
    }
    readDescriptorKeys(settings);
    if (!readEpoch(plan, error) || !inspectStub(settings->stub, &plan->stub, error) ||
        !loadStub(settings->stub, settings->branding, settings->output, &plan->stubBytes, error))
        return false;
    std::string packedName;
    std::vector<ComponentFile> files;
    if (!settings->runtimeImage.empty()) {
        plan->runtime.directory = settings->runtimeImage;
        plan->runtime.name = packedName = settings->runtimeName;
        plan->runtime.version = settings->runtimeVersion;
        if (!readRuntimeImage(&plan->runtime, error))
            return false;
        if (isDirectory(settings->source + "/Disk1/stage/Components/" + packedName)) {
            *error = "the source folder already holds runtime component " + packedName +
                     ": give --runtime-image another --runtime-name, or leave it out";
            return false;
        }
        if (settings->component.empty())
            settings->component = packedName;
        if (splitAt(splitAt(settings->component, ',')[0], ':')[0] == packedName)
            files = runtimeFiles(plan->runtime);
    }
    if (!settings->component.empty() &&
        !readFirstComponent(settings->source, settings->component, packedName, &files, error))
        return false;
    if (!checkLaunch(settings->command, settings->component, plan->stub, files, error))
        return false;
    if (!collectTree(settings->source, "", &plan->items, error))
        return false;
    std::erase_if(plan->items, [](const SourceItem& item) { return item.name == "sfx.ini"; });
    return true;
}

PackEntry packEntry(const SourceItem& item, const Plan& plan) {
    PackEntry entry;
    entry.name = item.name;
    entry.unixMode = item.mode;
    entry.modified = plan.reproducible ? std::min(item.modified, plan.epoch) : item.modified;
    if (S_ISREG(item.mode)) {
        entry.path = item.path;
        entry.size = item.size;
    }
    return entry;
}

// The temporary files in use, for a signal handler to remove: a pack interrupted by the
// user (Ctrl-C) or stopped by the build leaves nothing behind either.
constexpr int kTemporarySlots = 2;
constexpr size_t kSlotSize = 4096;
char temporaryPaths[kTemporarySlots][kSlotSize];

void removeTemporariesAndStop(int signalNumber) {
    for (char* path : temporaryPaths) {
        if (path[0] != '\0')
            unlink(path); // async-signal-safe, unlike std::remove
    }
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

// A file beside `output` with a unique name, removed again unless kept.
struct TemporaryFile {
    std::string path;
    FILE* file = nullptr;
    bool keep = false;
    char* slot = nullptr; // its entry in temporaryPaths
    ~TemporaryFile() {
        if (file != nullptr)
            std::fclose(file);
        if (!keep && !path.empty())
            std::remove(path.c_str());
        if (slot != nullptr)
            slot[0] = '\0';
    }
};

bool createTemporary(const std::string& beside, const char* suffix, TemporaryFile* temporary,
                     std::string* error) {
    std::string pattern = beside + suffix + "XXXXXX";
    int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) {
        *error = "cannot create a file beside " + beside;
        return false;
    }
    temporary->path = pattern;
    for (char* slot : temporaryPaths) {
        if (slot[0] == '\0' && pattern.size() < kSlotSize) {
            // The first byte last: the handler never sees half a name.
            std::memcpy(slot + 1, pattern.c_str() + 1, pattern.size());
            slot[0] = pattern[0];
            temporary->slot = slot;
            break;
        }
    }
    temporary->file = fdopen(descriptor, "w+b");
    if (temporary->file == nullptr) {
        close(descriptor);
        *error = "cannot write " + pattern;
        return false;
    }
    return true;
}

uint64_t packedBytes(const ZipWriter& zip) {
    uint64_t sum = 0;
    for (const ZipEntryRecord& entry : zip.entries)
        sum += entry.compressedSize;
    return sum;
}

// Entries for the folders that lead to the runtime jar, where the source has none.
void addRuntimeFolders(const Plan& plan, std::vector<PackEntry>* entries) {
    std::string jar = runtimeJarName(plan.runtime);
    for (size_t slash = jar.find('/'); slash != std::string::npos;
         slash = jar.find('/', slash + 1)) {
        std::string folder = jar.substr(0, slash + 1);
        bool present = std::any_of(entries->begin(), entries->end(),
                                   [&](const PackEntry& entry) { return entry.name == folder; });
        if (!present) {
            PackEntry entry;
            entry.name = folder;
            entry.unixMode = S_IFDIR | 0755;
            entry.modified = plan.epoch;
            entries->push_back(entry);
        }
    }
}

bool writeInstaller(const Settings& settings, const Plan& plan, std::string* error) {
    PackProgress progress;
    uint64_t files = 0, bytes = 0;
    for (const std::vector<SourceItem>* items : {&plan.items, &plan.runtime.items}) {
        for (const SourceItem& item : *items) {
            files += S_ISREG(item.mode) ? 1 : 0;
            bytes += item.size;
        }
    }
    startProgress(&progress, files, bytes);

    std::vector<PackEntry> entries;
    for (const SourceItem& item : plan.items)
        entries.push_back(packEntry(item, plan));
    TemporaryFile jar;
    ZipWriter runtime;
    if (!plan.runtime.directory.empty()) {
        if (!createTemporary(settings.output, ".runtime-", &jar, error))
            return false;
        runtime.out = jar.file;
        runtime.utcTimes = plan.reproducible;
        runtime.progress = &progress;
        std::vector<PackEntry> runtimeEntries;
        for (const SourceItem& item : plan.runtime.items)
            runtimeEntries.push_back(packEntry(item, plan));
        if (!writeEntries(&runtime, runtimeEntries) || !finishArchive(&runtime) ||
            std::fflush(jar.file) != 0) {
            *error = runtime.error;
            return false;
        }
        PackEntry entry;
        entry.name = runtimeJarName(plan.runtime);
        entry.path = jar.path;
        entry.size = static_cast<uint64_t>(ftello(jar.file));
        entry.unixMode = S_IFREG | 0644;
        entry.modified = plan.epoch;
        entry.store = true;
        entries.push_back(entry);
        addRuntimeFolders(plan, &entries);
    }
    std::sort(entries.begin(), entries.end(),
              [](const PackEntry& a, const PackEntry& b) { return a.name < b.name; });
    PackEntry descriptor;
    descriptor.name = "sfx.ini";
    descriptor.bytes = makeDescriptor(settings, entries);
    descriptor.unixMode = S_IFREG | 0644;
    descriptor.modified = plan.epoch;
    entries.insert(entries.begin(), descriptor);

    TemporaryFile output;
    if (!createTemporary(settings.output, ".partial-", &output, error))
        return false;
    if (std::fwrite(plan.stubBytes.data(), 1, plan.stubBytes.size(), output.file) !=
        plan.stubBytes.size()) {
        *error = "cannot write " + output.path;
        return false;
    }
    ZipWriter zip;
    zip.out = output.file;
    zip.forceZip64 = settings.forceZip64;
    zip.utcTimes = plan.reproducible;
    zip.progress = &progress;
    bool ok = writeEntries(&zip, entries) && finishArchive(&zip);
    endProgress(&progress);
    if (!ok) {
        *error = zip.error;
        return false;
    }
    int closed = std::fclose(output.file);
    output.file = nullptr;
    if (closed != 0) {
        *error = "cannot write " + output.path;
        return false;
    }
    if (!updatePeChecksum(output.path, error))
        return false;
    if (chmod(output.path.c_str(), 0755) != 0 ||
        std::rename(output.path.c_str(), settings.output.c_str()) != 0) {
        *error = "cannot write " + settings.output;
        return false;
    }
    output.keep = true;

    uint64_t packed = packedBytes(zip);
    std::printf("%s: %zu entries", settings.output.c_str(), zip.entries.size());
    if (!runtime.entries.empty())
        std::printf(" (the runtime jar holds %zu)", runtime.entries.size());
    std::printf(", %.1f MB of files packed into %.1f MB (%.1f %%)\n", bytes / 1e6,
                packed / 1e6, bytes == 0 ? 100.0 : 100.0 * double(packed) / double(bytes));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Settings settings;
    int status = 0;
    if (!parseArguments(argc, argv, &settings, &status))
        return status;
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        signal(signalNumber, removeTemporariesAndStop);
    Plan plan;
    std::string error;
    if (!makePlan(&settings, &plan, &error) || !writeInstaller(settings, plan, &error))
        return fail(error);
    return 0;
}
