// The engine targets' common run. One private work directory per process holds the
// archive file and the extraction target; the target is made afresh for every run, so
// that no run sees what an earlier one extracted.
#include "engine_harness.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>

#include "quenlow/unzip.h"
#include "write_guard.h"

namespace fuzz {
namespace {

constexpr rlim_t kLargestOutputFile = rlim_t(128) << 20;

struct WorkDirectory {
    std::string root;     // private directory under the temporary directory
    std::string archive;  // root/archive.zip
    std::string target;   // root/out
};

void removeWorkDirectory();

const WorkDirectory& workDirectory() {
    static WorkDirectory work = [] {
        WorkDirectory w;
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                              "/quenlow-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        char resolved[4096];
        w.root = realpath(pattern.c_str(), resolved) != nullptr ? resolved : pattern;
        w.archive = w.root + "/archive.zip";
        w.target = w.root + "/out";
        // An archive may claim far more than it holds; no extracted file may grow
        // beyond what the largest input could honestly inflate to (64 KiB at the
        // deflate ratio of 1032 is 66 MiB). Beyond it a write fails like a full disk.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit fileSize{kLargestOutputFile, kLargestOutputFile};
        setrlimit(RLIMIT_FSIZE, &fileSize);
        return w;
    }();
    static bool registered = std::atexit(removeWorkDirectory) == 0;
    (void)registered;
    return work;
}

void removeWorkDirectory() { removeTree(workDirectory().root); }

void writeArchive(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size)) {
        std::perror(path.c_str());
        std::abort();
    }
    std::fclose(file);
}

// Everything the engine hands over is read in full, so that a text that is shorter than
// its length says, or a name without its terminating zero, shows under the sanitizers.
void readAll(const char* text, size_t length) {
    volatile char sink = 0;
    for (size_t i = 0; i < length; ++i) sink = text[i];
    (void)sink;
}

int takeText(const char* text, uint32_t length) {
    readAll(text, length);
    return static_cast<int>(length);
}

int answerYes(char* nameBuffer, int bufferSize) {
    if (strnlen(nameBuffer, size_t(bufferSize)) >= size_t(bufferSize)) std::abort();
    return REPLACE_YES;
}

// The password of the encrypted peer archive among the seeds, so that deciphering is
// reached; any other encrypted entry takes the wrong-password path.
int answerPassword(char* buffer, int bufferSize, const char* prompt, const char* entryName) {
    readAll(prompt, std::strlen(prompt));
    readAll(entryName, std::strlen(entryName));
    std::snprintf(buffer, size_t(bufferSize), "%s", "12345678");
    return 0;
}

// The declared sizes of the entries the listing reported, for the size property of
// extraction: no file may hold more than its entry declares.
struct DeclaredSizes {
    uint64_t largest = 0;
    uint64_t total = 0;
};
DeclaredSizes declared;

void takeEntry(uint64_t uncompressedSize, uint64_t, unsigned, int, int, int, int, int, char,
               const char* name, const char* methodName, uint32_t, char) {
    readAll(name, std::strlen(name));
    readAll(methodName, std::strlen(methodName));
    if (uncompressedSize > declared.largest) declared.largest = uncompressedSize;
    declared.total += uncompressedSize;
}

// Sizes of the regular files under `path`, as the largest and the sum.
void measureTree(const std::string& path, DeclaredSizes* found) {
    DIR* directory = opendir(path.c_str());
    if (directory == nullptr) return;
    while (const dirent* entry = readdir(directory)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        const std::string inner = path + "/" + entry->d_name;
        struct stat status;
        if (lstat(inner.c_str(), &status) != 0) continue;
        if (S_ISDIR(status.st_mode)) {
            measureTree(inner, found);
        } else if (S_ISREG(status.st_mode)) {
            const uint64_t size = uint64_t(status.st_size);
            if (size > found->largest) found->largest = size;
            found->total += size;
        }
    }
    closedir(directory);
}

// Every file extracted is one entry's output (both extractions write an entry to the
// same file), so neither the largest file nor all of them together may exceed what the
// entries declare.
void checkDeclaredSizes(const WorkDirectory& work) {
    DeclaredSizes written;
    measureTree(work.target, &written);
    if (written.largest > declared.largest || written.total > declared.total) {
        std::fprintf(stderr,
                     "extraction wrote more than declared: largest file %llu (declared %llu), "
                     "all files %llu (declared %llu)\n",
                     static_cast<unsigned long long>(written.largest),
                     static_cast<unsigned long long>(declared.largest),
                     static_cast<unsigned long long>(written.total),
                     static_cast<unsigned long long>(declared.total));
        std::abort();
    }
}

int takeDone(const char* name, uint64_t) {
    readAll(name, std::strlen(name));
    return 0;
}

int callEngine(UnzipOptions options, const char* onlyEntry = nullptr) {
    options.recordVersion = UNZIP_RECORD_VERSION;
    options.archivePath = workDirectory().archive.c_str();
    UnzipCallbacks callbacks{};
    callbacks.printText = takeText;
    callbacks.askReplace = answerYes;
    callbacks.askPassword = answerPassword;
    callbacks.listEntry = takeEntry;
    callbacks.entryDone = takeDone;
    char* include[] = {const_cast<char*>(onlyEntry)};
    return Qz_SingleEntryUnzip(onlyEntry != nullptr ? 1 : 0, onlyEntry != nullptr ? include : nullptr,
                               0, nullptr, &options, &callbacks);
}

// The work directory must hold the archive and the target and nothing else.
void checkNothingBesideTarget(const WorkDirectory& work) {
    const std::set<std::string> expected = {".", "..", "archive.zip", "out"};
    DIR* directory = opendir(work.root.c_str());
    if (directory == nullptr) std::abort();
    while (const dirent* entry = readdir(directory)) {
        if (expected.count(entry->d_name) == 0) {
            std::fprintf(stderr, "extraction left %s/%s outside its target\n", work.root.c_str(),
                         entry->d_name);
            std::abort();
        }
    }
    closedir(directory);
}

} // namespace

void runEngineOnArchive(const uint8_t* data, size_t size, EngineRun run) {
    const WorkDirectory& work = workDirectory();
    writeArchive(work.archive, data, size);
    UnzipOptions options{};
    switch (run) {
    case EngineRun::test:
        armWriteGuard(std::string());
        options.testOnly = 1;
        callEngine(options);
        options.testOnly = 0;
        options.writeToConsole = 1;
        options.convertText = 1;
        options.quietLevel = 1;
        callEngine(options);
        disarmWriteGuard();
        break;
    case EngineRun::list:
        armWriteGuard(std::string());
        options.listMode = 1;
        options.showComment = 1;
        callEngine(options);
        disarmWriteGuard();
        break;
    case EngineRun::extract:
        // As the launcher does: the descriptor alone, then everything, with paths kept
        // without "..", every file overwritten and every message let through.
        if (mkdir(work.target.c_str(), 0700) != 0) std::abort();
        declared = DeclaredSizes{};
        armWriteGuard(std::string());
        options.listMode = 1;
        callEngine(options);
        options.listMode = 0;
        disarmWriteGuard();
        options.directoryMode = 1;
        options.overwriteAll = 1;
        options.targetDirectory = work.target.c_str();
        armWriteGuard(work.target);
        callEngine(options, "sfx.ini");
        callEngine(options);
        disarmWriteGuard();
        checkNothingBesideTarget(work);
        checkDeclaredSizes(work);
        removeTree(work.target);
        break;
    }
}

} // namespace fuzz
