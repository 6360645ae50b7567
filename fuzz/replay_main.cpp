// Replays saved inputs through the fuzz targets' entry functions in an ordinary build,
// so that every input a fuzzer once failed on (and every seed) stays a test.
//
// Usage: fuzz_replay TARGET PATH...   Each PATH is a file or a directory whose files
// are replayed in name order; a missing PATH is skipped, so that a target without saved
// crash inputs needs no empty directory. A failing input ends the process the way it
// ended the fuzzer (abort or sanitizer report), or after kSecondsPerInput when it hangs
// as it timed out there; the name is printed first so that the test log says which one.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#define QUENLOW_FUZZ_TARGET(name) \
    extern "C" int replay_##name(const uint8_t* data, size_t size);
#include "fuzz_targets.inc"
#undef QUENLOW_FUZZ_TARGET

namespace {

// Far above what any input needs, even in the sanitizer build (the fuzzers allow 10 s);
// an input that takes longer hangs.
constexpr unsigned kSecondsPerInput = 120;

using Entry = int (*)(const uint8_t*, size_t);

struct Target {
    const char* name;
    Entry entry;
};

const Target targets[] = {
#define QUENLOW_FUZZ_TARGET(name) {#name, replay_##name},
#include "fuzz_targets.inc"
#undef QUENLOW_FUZZ_TARGET
};

void replayFile(Entry entry, const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "replay %s (%zu bytes)\n", path.c_str(), bytes.size());
    // An input of its own size, so that a read past its end shows under the sanitizers.
    std::vector<uint8_t> input(bytes.begin(), bytes.end());
    input.shrink_to_fit();
    alarm(kSecondsPerInput);  // the default action of SIGALRM ends the process
    entry(input.data(), input.size());
    alarm(0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TARGET PATH...\n", argv[0]);
        return 2;
    }
    Entry entry = nullptr;
    for (const Target& target : targets)
        if (std::strcmp(target.name, argv[1]) == 0) entry = target.entry;
    if (entry == nullptr) {
        std::fprintf(stderr, "no fuzz target %s\n", argv[1]);
        return 2;
    }
    size_t count = 0;
    for (int i = 2; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            std::vector<std::filesystem::path> files;
            for (const auto& item : std::filesystem::directory_iterator(path, error))
                if (item.is_regular_file()) files.push_back(item.path());
            std::sort(files.begin(), files.end());
            for (const auto& file : files) replayFile(entry, file);
            count += files.size();
        } else if (std::filesystem::is_regular_file(path, error)) {
            replayFile(entry, path);
            ++count;
        }
    }
    std::printf("%s: %zu inputs replayed\n", argv[1], count);
    return 0;
}
