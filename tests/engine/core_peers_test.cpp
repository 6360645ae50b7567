// Real archives from other tools and other readers' test suites: each is opened and its
// whole central directory walked without a crash or a sanitizer report, with the result
// pinned per archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core_support.h"

using namespace core_test;

namespace {

std::string peersDirectory() {
    const char* data = std::getenv("QUENLOW_TESTDATA");
    return std::string(data != nullptr ? data : "../shared/testdata") + "/peers";
}

std::vector<std::string> peerArchives() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(peersDirectory(), error)) {
        const std::string name = entry.path().filename().string();
        if (name != "README.md" && name != "MANIFEST.json") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// Result of walking the whole central directory (the detailed report) and the number of
// entries it found. Non-zero results: an empty directory with a longer comment than
// announced, offsets that point nowhere, files without an end record, and archives
// behind bytes their offsets do not count (warned about and corrected).
const std::map<std::string, std::pair<int, std::size_t>> expectedWalk = {
    {"chinese.zip", {RC_OK, 1}},
    {"comment_garbage.zip", {RC_WARNING, 0}},
    {"data_descriptor.zip", {RC_OK, 1}},
    {"deflate64.zip", {RC_OK, 5}},
    {"extended_timestamp.zip", {RC_OK, 2}},
    {"files_and_dirs.zip", {RC_OK, 3}},
    {"implode.zip", {RC_OK, 1}},
    {"invalid_offset.zip", {RC_FATAL, 0}},
    {"la_zip_7075_utf8_paths.zip", {RC_OK, 4}},
    {"la_zip_7z_deflate.zip", {RC_OK, 3}},
    {"la_zip_7z_lzma.zip", {RC_OK, 9}},
    {"la_zip_bzip2.zipx", {RC_OK, 1}},
    {"la_zip_comment_stored_2.zip", {RC_OK, 2}},
    {"la_zip_extra_padding.zip", {RC_NOARCHIVE, 0}},
    {"la_zip_filename_cp866.zip", {RC_OK, 2}},
    {"la_zip_high_compression.zip", {RC_OK, 1}},
    {"la_zip_implode.zip", {RC_OK, 1}},
    {"la_zip_implode_realloc.zip", {RC_OK, 3}},
    {"la_zip_length_at_end.zip", {RC_OK, 1}},
    {"la_zip_malformed1.zip", {RC_NOARCHIVE, 0}},
    {"la_zip_msdos.zip", {RC_OK, 6}},
    {"la_zip_padded1.zip", {RC_WARNING, 2}},
    {"la_zip_sfx.bin", {RC_WARNING, 2}},
    {"la_zip_symlink.zip", {RC_OK, 2}},
    {"la_zip_traditional_encryption_data.zip", {RC_OK, 2}},
    {"la_zip_zip64a.zip", {RC_OK, 1}},
    {"la_zip_zip64b.zip", {RC_OK, 1}},
    {"non_utf8.zip", {RC_OK, 2}},
    {"ppmd.zip", {RC_OK, 1}},
    {"reduce.zip", {RC_OK, 1}},
    {"shrink.zip", {RC_OK, 1}},
    {"zip64_demo.zip", {RC_WARNING, 1}},
};

TEST(CorePeers, EveryPeerArchiveIsWalkedWithItsPinnedResult) {
    const std::vector<std::string> names = peerArchives();
    ASSERT_EQ(names.size(), expectedWalk.size()) << "peer archives in " << peersDirectory();
    for (const std::string& name : names) {
        EngineRun run = runEngine(peersDirectory() + "/" + name, detailedReport);
        const auto pinned = expectedWalk.find(name);
        ASSERT_NE(pinned, expectedWalk.end()) << name;
        EXPECT_EQ(run.result, pinned->second.first) << name << "\n" << run.messages;
        EXPECT_EQ(run.reported.size(), pinned->second.second) << name;
        EXPECT_EQ(run.callbacksOutsideCall, 0) << name;
    }
}
