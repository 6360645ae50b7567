// quenlow-unzip: lists, tests and extracts any ZIP archive (an installer built with
// quenlow-pack included) with the same engine the launcher uses. The engine's messages
// go to standard error exactly as it formats them, and the exit status is the engine's
// result code, so a script sees what the launcher would see.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "listing_output.h"
#include "password_question.h"
#include "quenlow/unzip.h"
#include "replace_question.h"

namespace {

const char usage[] =
    "Usage:\n"
    "  quenlow-unzip list [--json] [--verbose] ARCHIVE [PATTERN]... [--exclude PATTERN]...\n"
    "  quenlow-unzip test [--password TEXT] ARCHIVE [PATTERN]...\n"
    "  quenlow-unzip extract [-d DIR] [--overwrite always|never|ask] [--junk-paths]\n"
    "                        [--keep-parent-dirs] [--ignore-case] [--exclude PATTERN]...\n"
    "                        [--password TEXT] ARCHIVE [PATTERN]...\n"
    "\n"
    "Lists, tests or extracts the entries of a ZIP archive. ARCHIVE may also be a\n"
    "self-extracting installer (setup.exe): its appended archive is found behind the\n"
    "program. PATTERNs select entries by name: * matches any run of characters\n"
    "(/ included), ? one character, [abc] or [a-z] one of a set; \\ makes the next\n"
    "character literal. Quote patterns so that the shell leaves them alone.\n"
    "\n"
    "Commands:\n"
    "  list       show name, sizes, method, date, time and CRC-32 of each entry\n"
    "  test       decompress every entry and check its CRC-32; write nothing\n"
    "  extract    write the entries into the current directory (or DIR)\n"
    "\n"
    "Options:\n"
    "  --json               (list) print one JSON object instead of a table\n"
    "  -v, --verbose        (list) also each entry's Unix mode as ls -l shows it, or\n"
    "                       the system that made the entry where it stores none\n"
    "  --exclude PATTERN    leave out entries matching PATTERN (may be repeated)\n"
    "  --ignore-case        match PATTERNs without regard to case\n"
    "  -d DIR               (extract) extract into DIR, creating it if needed\n"
    "  --overwrite MODE     (extract) when a file exists: always replace it, never\n"
    "                       replace it, or ask (the default) yes/no/all/none/rename\n"
    "  --junk-paths         (extract) drop the directories of entry names\n"
    "  --keep-parent-dirs   (extract) keep \"..\" in entry names (only for archives\n"
    "                       you trust: they can write outside DIR)\n"
    "  --password TEXT      (test, extract) the password of encrypted entries.\n"
    "                       Without it the password is asked for on the terminal\n"
    "                       (not shown as it is typed); when standard input is not\n"
    "                       a terminal, encrypted entries are skipped\n"
    "  -q                   fewer messages; repeat for fewer still\n"
    "  --help               show this help\n"
    "\n"
    "Exit status: the engine's result code. 0 success, 1 warnings, 2 errors in the\n"
    "archive, 3 severe error, 9 archive or its directory not found, 10 bad\n"
    "arguments, 11 no entry matched, 50 a file could not be written, 51 archive\n"
    "ended early, 80 stopped, 81 entries skipped (unsupported method or encryption,\n"
    "or no password to ask for), 82 entries skipped (wrong password).\n";

enum Command { LIST, TEST, EXTRACT };

struct Arguments {
    Command command = LIST;
    bool json = false;
    bool verbose = false;
    int quiet = 0;
    bool ignoreCase = false;
    const char* directory = nullptr;
    std::string overwrite = "ask";
    bool junkPaths = false;
    bool keepParentDirs = false;
    const char* password = nullptr;
    const char* archive = nullptr;
    std::vector<char*> includes;
    std::vector<char*> excludes;
};

int argumentError(const std::string& problem) {
    std::fprintf(stderr, "quenlow-unzip: %s\nTry 'quenlow-unzip --help' for more information.\n",
                 problem.c_str());
    return RC_PARAM;
}

int printToStandardError(const char* text, uint32_t length) {
    std::fwrite(text, 1, length, stderr);
    return int(length);
}

// Parses the command line; answers -1 when the run should go on, else the exit status.
int parseArguments(int argc, char** argv, Arguments& a) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
    if (argc < 2) return argumentError("a command is needed: list, test or extract");
    const std::string command = argv[1];
    if (command == "list") a.command = LIST;
    else if (command == "test") a.command = TEST;
    else if (command == "extract") a.command = EXTRACT;
    else return argumentError("unknown command '" + command + "' (use list, test or extract)");

    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* option) -> char* {
            if (i + 1 >= argc) return nullptr;
            (void)option;
            return argv[++i];
        };
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (a.archive == nullptr) a.archive = argv[i];
            else a.includes.push_back(argv[i]);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-q") {
            ++a.quiet;
        } else if (arg == "--ignore-case") {
            a.ignoreCase = true;
        } else if (arg == "--exclude") {
            char* pattern = value("--exclude");
            if (pattern == nullptr) return argumentError("--exclude needs a PATTERN");
            a.excludes.push_back(pattern);
        } else if (arg == "--json" && a.command == LIST) {
            a.json = true;
        } else if ((arg == "--verbose" || arg == "-v") && a.command == LIST) {
            a.verbose = true;
        } else if (arg == "-d" && a.command == EXTRACT) {
            a.directory = value("-d");
            if (a.directory == nullptr) return argumentError("-d needs a DIR");
        } else if (arg == "--overwrite" && a.command == EXTRACT) {
            const char* mode = value("--overwrite");
            if (mode == nullptr) return argumentError("--overwrite needs always, never or ask");
            a.overwrite = mode;
            if (a.overwrite != "always" && a.overwrite != "never" && a.overwrite != "ask")
                return argumentError("--overwrite takes always, never or ask, not '" + a.overwrite + "'");
        } else if (arg == "--password" && a.command != LIST) {
            a.password = value("--password");
            if (a.password == nullptr) return argumentError("--password needs a TEXT");
        } else if (arg == "--junk-paths" && a.command == EXTRACT) {
            a.junkPaths = true;
        } else if (arg == "--keep-parent-dirs" && a.command == EXTRACT) {
            a.keepParentDirs = true;
        } else {
            return argumentError("option '" + arg + "' is not known to '" + command + "'");
        }
    }
    if (a.archive == nullptr) return argumentError("which ARCHIVE? none was given");
    if (std::strlen(a.archive) >= 260) return argumentError("the ARCHIVE path is too long (at most 259 characters)");
    if (a.directory != nullptr && std::strlen(a.directory) >= 260)
        return argumentError("the DIR path is too long (at most 259 characters)");
    // The engine holds a password in 256 bytes, terminator included.
    if (a.password != nullptr && std::strlen(a.password) > 255)
        return argumentError("the password is too long (at most 255 characters)");
    if (a.junkPaths && a.keepParentDirs)
        return argumentError("--junk-paths and --keep-parent-dirs exclude each other");
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments a;
    const int early = parseArguments(argc, argv, a);
    if (early >= 0) return early;

    UnzipOptions options{};
    options.recordVersion = UNZIP_RECORD_VERSION;
    options.quietLevel = a.quiet;
    options.listMode = a.command == LIST;
    options.testOnly = a.command == TEST;
    options.caseInsensitive = a.ignoreCase;
    options.directoryMode = a.junkPaths ? 0 : a.keepParentDirs ? 2 : 1;
    options.overwriteAll = a.overwrite == "always";
    options.askBeforeOverwrite = a.overwrite == "ask";
    options.archivePath = a.archive;
    options.targetDirectory = a.directory;

    UnzipCallbacks callbacks{};
    callbacks.printText = printToStandardError;
    callbacks.askReplace = askOnTerminal;
    if (a.command == LIST) callbacks.listEntry = collectListedEntry;
    if (a.password != nullptr) {
        useGivenPassword(a.password);
        callbacks.askPassword = answerGivenPassword;
    } else if (inputIsTerminal()) {
        callbacks.askPassword = askPasswordOnTerminal;
    }

    const int result = Qz_SingleEntryUnzip(int(a.includes.size()), a.includes.data(), int(a.excludes.size()),
                                           a.excludes.data(), &options, &callbacks);
    if (a.command == LIST) {
        if (a.verbose) describeModes(a.archive);
        if (a.json)
            printJson(listedEntries(), result, a.verbose);
        else if (!listedEntries().empty() || result <= RC_WARNING)
            printTable(listedEntries(), a.verbose);
    }
    return result;
}
