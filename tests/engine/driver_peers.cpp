// The peer archives: real archives from other tools, extracted by the engine and
// compared with the reference extraction recorded in their manifest.
// Linux only: the reference hashes are computed with python3 on Linux.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>

#include "driver_support.h"

using namespace driver_test;

namespace {

std::string peersDirectory() {
    const char* data = std::getenv("QUENLOW_TESTDATA");
    return std::string(data != nullptr ? data : "../shared/testdata") + "/peers";
}

std::string commandOutput(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    pclose(pipe);
    return output;
}

// "name<TAB>sha256" lines into a map.
std::map<std::string, std::string> parseHashes(const std::string& lines) {
    std::map<std::string, std::string> hashes;
    std::istringstream in(lines);
    std::string line;
    while (std::getline(in, line)) {
        size_t tab = line.find('\t');
        if (tab != std::string::npos) hashes[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return hashes;
}

// The reference extraction of one peer archive, from the manifest.
std::map<std::string, std::string> referenceHashes(const std::string& archive) {
    return parseHashes(commandOutput(
        "python3 -c 'import json,sys; m=json.load(open(sys.argv[1]))[sys.argv[2]]\n"
        "for n,h in m.get(\"reference_7zz_files_sha256\",{}).items(): print(n+\"\\t\"+h)' " +
        shellQuote(peersDirectory() + "/MANIFEST.json") + " " + shellQuote(archive)));
}

// What the engine wrote: every regular file under `root` with its SHA-256.
std::map<std::string, std::string> extractedHashes(const std::string& root) {
    return parseHashes(commandOutput(
        "python3 -c 'import hashlib,os,sys\n"
        "for d,_,fs in os.walk(sys.argv[1]):\n"
        " for f in fs:\n"
        "  p=os.path.join(d,f); print(os.path.relpath(p,sys.argv[1])+\"\\t\"+"
        "hashlib.sha256(open(p,\"rb\").read()).hexdigest())' " +
        shellQuote(root)));
}

struct PeerRun {
    EngineRun run;
    std::map<std::string, std::string> reference;
    std::map<std::string, std::string> extracted;
};

PeerRun extractPeer(const std::string& archive, const TempDir& dir) {
    PeerRun peer;
    std::string target = dir.file(archive);
    peer.run = core_test::runEngine(peersDirectory() + "/" + archive, extractTo(target));
    peer.reference = referenceHashes(archive);
    peer.extracted = extractedHashes(target);
    return peer;
}

// Every reference file is there with the same bytes: under the same name, or (where
// the engine's own name rules map a legacy code page differently) under another one.
void expectSameFiles(const PeerRun& peer, const std::string& archive) {
    std::multiset<std::string> ours;
    for (const auto& [name, hash] : peer.extracted) ours.insert(hash);
    for (const auto& [name, hash] : peer.reference) {
        auto same = peer.extracted.find(name);
        if (same != peer.extracted.end()) {
            EXPECT_EQ(same->second, hash) << archive << ": " << name;
        } else {
            EXPECT_TRUE(ours.count(hash) > 0) << archive << ": " << name << " missing";
        }
    }
}

}  // namespace

TEST(DriverPeers, SupportedArchivesExtractToTheReferenceBytes) {
    TempDir dir;
    const char* archives[] = {
        "chinese.zip",         "data_descriptor.zip",        "deflate64.zip",
        "extended_timestamp.zip", "files_and_dirs.zip",      "la_zip_7075_utf8_paths.zip",
        "la_zip_7z_deflate.zip", "la_zip_comment_stored_2.zip", "la_zip_filename_cp866.zip",
        "la_zip_high_compression.zip", "la_zip_length_at_end.zip", "la_zip_sfx.bin",
        "la_zip_symlink.zip",  "la_zip_zip64a.zip",          "la_zip_zip64b.zip",
        "non_utf8.zip",        "la_zip_padded1.zip",
    };
    for (const char* archive : archives) {
        PeerRun peer = extractPeer(archive, dir);
        EXPECT_LE(peer.run.result, RC_WARNING) << archive << "\n" << peer.run.messages;
        expectSameFiles(peer, archive);
    }
}

TEST(DriverPeers, SymbolicLinksBecomeFilesHoldingTheLinkText) {
    TempDir dir;
    PeerRun peer = extractPeer("la_zip_symlink.zip", dir);
    std::string link = dir.file("la_zip_symlink.zip/symlink");
    struct stat status;
    ASSERT_EQ(lstat(link.c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode));
    EXPECT_EQ(readFile(link), "file");
    EXPECT_EQ(status.st_mode & 0777, 0644u);
}

TEST(DriverPeers, UnsupportedEntriesAreSkippedWithTheirReason) {
    TempDir dir;
    const std::pair<const char*, const char*> archives[] = {
        // These two producers mark their entries as needing a newer format version,
        // which is refused before the method is looked at.
        {"la_zip_bzip2.zipx", "vimrc                   need PK compat. v4.6 (can do v4.5)"},
        {"ppmd.zip", "need PK compat. v6.3 (can do v4.5)"},
        {"la_zip_7z_lzma.zip", "`LZMA' method not supported"},
        {"reduce.zip", "`reduce' method not supported"},
    };
    for (const auto& [archive, message] : archives) {
        PeerRun peer = extractPeer(archive, dir);
        EXPECT_EQ(peer.run.result, RC_UNSUPPORTED) << archive;
        EXPECT_TRUE(contains(peer.run.messages, message)) << archive << "\n" << peer.run.messages;
    }
}

TEST(DriverPeers, DamagedArchivesEndWithAResultCode) {
    TempDir dir;
    const std::pair<const char*, int> archives[] = {
        {"invalid_offset.zip", RC_FATAL},
        {"la_zip_malformed1.zip", RC_NOARCHIVE},
        {"la_zip_extra_padding.zip", RC_NOARCHIVE},
        {"comment_garbage.zip", RC_WARNING},
        {"zip64_demo.zip", RC_WARNING},
    };
    for (const auto& [archive, result] : archives) {
        PeerRun peer = extractPeer(archive, dir);
        EXPECT_EQ(peer.run.result, result) << archive << "\n" << peer.run.messages;
    }
}

TEST(DriverPeers, LegacyMethodsExtractToTheReferenceBytes) {
    TempDir dir;
    for (const char* archive : {"shrink.zip", "implode.zip", "la_zip_implode.zip",
                                "la_zip_implode_realloc.zip"}) {
        PeerRun peer = extractPeer(archive, dir);
        EXPECT_EQ(peer.run.result, RC_OK) << archive << "\n" << peer.run.messages;
        expectSameFiles(peer, archive);
    }
}

TEST(DriverPeers, TraditionalEncryptionWithAndWithoutThePassword) {
    TempDir dir;
    const std::string archive = "la_zip_traditional_encryption_data.zip";
    const std::string path = peersDirectory() + "/" + archive;
    auto withPassword = [](const char* password) {
        static std::string given;
        given = password;
        return [](UnzipOptions&, UnzipCallbacks& c) {
            c.askPassword = [](char* buffer, int size, const char*, const char*) {
                std::snprintf(buffer, size_t(size), "%s", given.c_str());
                return 0;
            };
        };
    };
    PeerRun peer;
    std::string target = dir.file("right");
    auto right = withPassword("12345678");
    peer.run = core_test::runEngine(path, extractTo(target, right));
    peer.extracted = extractedHashes(target);
    EXPECT_EQ(peer.run.result, RC_OK) << peer.run.messages;
    // The manifest's reference had no password: Python's zipfile deciphers instead.
    peer.reference = parseHashes(commandOutput(
        "python3 -c 'import hashlib,sys,zipfile\n"
        "z=zipfile.ZipFile(sys.argv[1])\n"
        "for n in z.namelist(): print(n+\"\\t\"+hashlib.sha256(z.read(n,pwd=b\"12345678\")).hexdigest())' " +
        shellQuote(path)));
    EXPECT_EQ(peer.reference.size(), 2u);
    EXPECT_EQ(peer.extracted, peer.reference);

    EngineRun wrong = core_test::runEngine(path, extractTo(dir.file("wrong"), withPassword("nope")));
    EXPECT_EQ(wrong.result, RC_BADPASSWORD);
    EXPECT_TRUE(contains(wrong.messages, "  incorrect password\n"));

    EngineRun none = core_test::runEngine(path, extractTo(dir.file("none")));
    EXPECT_EQ(none.result, RC_UNSUPPORTED);
    EXPECT_TRUE(contains(none.messages, "  unable to get password\n"));
}

#endif  // _WIN32
