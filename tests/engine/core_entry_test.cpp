// The engine call itself: which option and callback records it refuses, what it reads
// of the pattern lists, that a callback may stop it, and that a failed read ends the
// data for good and, inside any decoder, the run (with nothing left allocated).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "core_support.h"
#include "decoders_support.h"
#include "engine/engine.h"
#include "engine/reader.h"
#include "engine/state.h"

using namespace core_test;

namespace {
int printCalls = 0;
int countingPrint(const char*, uint32_t length) {
    ++printCalls;
    return int(length);
}
}  // namespace

TEST(CoreEntry, RefusedRecordsCallNothing) {
    TempDir dir;
    const std::string archive = dir.write("a.zip", buildArchive(someEntries()));
    for (int version : {1535, 1537, 0}) {
        printCalls = 0;
        EngineRun run = runEngine(archive, [version](UnzipOptions& o, UnzipCallbacks& c) {
            o.recordVersion = version;
            c.printText = countingPrint;
        });
        EXPECT_EQ(run.result, RC_NOMEM) << version;
        EXPECT_EQ(printCalls, 0);
        EXPECT_TRUE(run.reported.empty());
    }

    EngineRun run = runEngine(archive, [](UnzipOptions&, UnzipCallbacks& c) { c.askReplace = nullptr; });
    EXPECT_EQ(run.result, RC_FATAL);
    EXPECT_TRUE(run.messages.empty());
    run = runEngine(archive, [](UnzipOptions&, UnzipCallbacks& c) { c.printText = nullptr; });
    EXPECT_EQ(run.result, RC_FATAL);
    run = runEngine(archive, [](UnzipOptions& o, UnzipCallbacks&) { o.archivePath = nullptr; });
    EXPECT_EQ(run.result, RC_NOARCHIVE);
    EXPECT_TRUE(run.messages.empty());
}

TEST(CoreEntry, EmptyNotifySlotIsFilledAndTheCallProceeds) {
    TempDir dir;
    const std::string archive = dir.write("a.zip", buildArchive(someEntries()));
    UnzipOptions options = defaultOptions(archive);
    options.detailedInfo = 1;
    UnzipCallbacks callbacks = defaultCallbacks();
    EngineRun run;
    detail::current = &run;
    detail::insideCall = true;
    EXPECT_EQ(Qz_SingleEntryUnzip(0, nullptr, 0, nullptr, &options, &callbacks), RC_OK);
    detail::insideCall = false;
    detail::current = nullptr;
    EXPECT_NE(callbacks.notifySound, nullptr);
    callbacks.notifySound();  // a function that does nothing
    EXPECT_EQ(run.reported.size(), 2u);
}

TEST(CoreEntry, PathLengthLimits) {
    TempDir dir;
    const std::string name259 = dir.path + "/" + std::string(259 - dir.path.size() - 1, 'a');
    ASSERT_EQ(name259.size(), 259u);
    EngineRun run = runEngine(name259);
    EXPECT_EQ(run.result, RC_NOARCHIVE);  // accepted, then not found
    EXPECT_FALSE(run.messages.empty());

    run = runEngine(name259 + "b");
    EXPECT_EQ(run.result, RC_NOMEM);
    EXPECT_TRUE(run.messages.empty());

    // The target directory is read only in extraction mode.
    const std::string archive = dir.write("a.zip", buildArchive(someEntries()));
    const std::string longTarget(300, 't');
    run = runEngine(archive, [&](UnzipOptions& o, UnzipCallbacks&) {
        o.detailedInfo = 1;
        o.targetDirectory = longTarget.c_str();
    });
    EXPECT_EQ(run.result, RC_OK);
    run = runEngine(archive, [&](UnzipOptions& o, UnzipCallbacks&) { o.targetDirectory = longTarget.c_str(); });
    EXPECT_EQ(run.result, RC_NOMEM);
}

TEST(CoreEntry, PatternListsAreCountedUpToTheirFirstEmptyElement) {
    auto patternsOf = [](int includeCount, char** includes, int excludeCount, char** excludes,
                         int* result) {
        EngineState* state = createEngineState();
        UnzipCallbacks callbacks = defaultCallbacks();
        bindCallbacks(state, &callbacks);
        const std::string archive = "/nonexistent/archive";
        UnzipOptions options = defaultOptions(archive);
        options.quietLevel = 3;
        applyOptions(state, &options);
        *result = runEngine(state, includeCount, includes, excludeCount, excludes);
        std::pair<int, int> counts{state->includeCount, state->excludeCount};
        const bool all = state->processAll;
        const std::string first = state->includePatterns[0];
        releaseEngineState(state);
        std::free(state);
        return std::make_tuple(counts, all, first);
    };
    char a[] = "a*", empty[] = "", c[] = "c";
    char* list[] = {a, empty, c};
    int result;
    auto [counts, all, first] = patternsOf(3, list, 0, nullptr, &result);
    EXPECT_EQ(counts, std::make_pair(1, 0));
    EXPECT_FALSE(all);
    EXPECT_EQ(first, "a*");
    EXPECT_EQ(result, RC_NOARCHIVE);

    // An absent list counts as no list, whatever its count; the default stays "*".
    std::tie(counts, all, first) = patternsOf(5, nullptr, 0, nullptr, &result);
    EXPECT_EQ(counts, std::make_pair(1, 0));
    EXPECT_TRUE(all);
    EXPECT_EQ(first, "*");

    std::string longest(16224, '?'), tooLong(16225, '?');
    char* accepted[] = {longest.data()};
    std::tie(counts, all, first) = patternsOf(1, accepted, 0, nullptr, &result);
    EXPECT_EQ(result, RC_NOARCHIVE);
    char* refused[] = {tooLong.data()};
    std::tie(counts, all, first) = patternsOf(0, nullptr, 1, refused, &result);
    EXPECT_EQ(result, RC_PARAM);
    EXPECT_EQ(counts.second, 0);
}

TEST(CoreEntry, EntryDoneCanStopTheCall) {
    TempDir dir;
    const std::string archive = dir.write("a.zip", buildArchive(someEntries()));
    static int calls;
    calls = 0;
    EngineRun run = runEngine(archive, [](UnzipOptions& o, UnzipCallbacks& c) {
        o.detailedInfo = 1;
        c.entryDone = nullptr;
        c.entryDone32 = [](const char*, uint32_t, uint32_t) { return ++calls; };
    });
    EXPECT_EQ(run.result, RC_ABORT);
    EXPECT_EQ(calls, 1);
}

#ifndef _WIN32
TEST(CoreEntry, ReadFailureEndsTheDataOnceAndForAll) {
    TempDir dir;
    EngineState* state = createEngineState();
    UnzipCallbacks callbacks = defaultCallbacks();
    bindCallbacks(state, &callbacks);
    EngineRun run;
    detail::current = &run;
    // A directory opens as a stream on Linux, and every read of it fails.
    state->archiveFile = std::fopen(dir.path.c_str(), "rb");
    ASSERT_NE(state->archiveFile, nullptr);
    state->inputBuffer = static_cast<uint8_t*>(std::malloc(INPUT_BUFFER_SIZE));
    state->compressedLeft = 100;
    EXPECT_EQ(readByte(state), END_OF_DATA);
    EXPECT_TRUE(state->readFailed);
    EXPECT_EQ(readByte(state), END_OF_DATA);  // without reading or reporting again
    EXPECT_EQ(run.messages, "error:  zipfile read error\n");
    detail::current = nullptr;
    releaseEngineState(state);
    std::free(state);
}

namespace {

// The archive of the running call, and a directory whose descriptor takes the place of
// the archive's when an entry starts: every later read of the archive fails.
std::filesystem::path failingArchive;
int directoryDescriptor = -1;
void breakArchiveReads() {
    for (const auto& link : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(link.path(), error) == failingArchive)
            dup2(directoryDescriptor, std::stoi(link.path().filename().string()));
    }
}

}  // namespace

TEST(CoreEntry, ReadFailureInsideEveryDecoderEndsTheRunWithEverythingReleased) {
    TempDir dir;
    directoryDescriptor = open(dir.path.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(directoryDescriptor, 0);
    std::vector<std::pair<std::string, Bytes>> archives = {
        {"stored", buildArchive({{"big.bin", Bytes(30000, 'x')}, {"after.txt", "after"}})}};
    // Shrink, implode (all three code tables), deflate, enhanced deflate, encrypted
    // deflate. Bytes in front of the archive, as of an installer's stub, put a block
    // boundary halfway into the first entry's data where it is shorter than a block.
    for (const char* peer : {"shrink.zip", "implode.zip", "chinese.zip", "deflate64.zip",
                             "la_zip_traditional_encryption_data.zip"}) {
        const std::vector<uint8_t> zip = decoders_test::readFile(decoders_test::peer(peer));
        ASSERT_GT(zip.size(), 30u) << peer;
        const size_t dataStart = 30 + decoders_test::le16(&zip[26]) + decoders_test::le16(&zip[28]);
        const size_t size = decoders_test::readEntries(zip).at(0).data.size();
        const size_t prefix = dataStart + size / 2 < READ_BLOCK ? READ_BLOCK - dataStart - size / 2 : 0;
        archives.push_back({peer, Bytes(prefix, '\0') + Bytes(zip.begin(), zip.end())});
    }
    for (const auto& [name, bytes] : archives) {
        const std::string archive = dir.write("a.zip", bytes);
        failingArchive = std::filesystem::canonical(archive);
        const std::string target = dir.file("out");
        EngineRun run = runEngine(archive, [&](UnzipOptions& o, UnzipCallbacks& c) {
            o.targetDirectory = target.c_str();
            o.overwriteAll = 1;
            c.notifySound = breakArchiveReads;
            c.askPassword = [](char* buffer, int size, const char*, const char*) {
                std::snprintf(buffer, size_t(size), "12345678");
                return 0;
            };
        });
        // Nothing after the failure: no verdict on the entry, no further entry.
        EXPECT_EQ(run.result, RC_FATAL) << name;
        EXPECT_TRUE(run.messages.ends_with("  error:  zipfile read error\n")) << name << run.messages;
        EXPECT_TRUE(run.reported.empty()) << name;
        EXPECT_FALSE(std::filesystem::exists(target + "/after.txt")) << name;
    }
    close(directoryDescriptor);
}
#endif
