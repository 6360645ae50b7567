// Round trips through real producers: a tree of files is archived by Python's
// zipfile, 7-Zip, bsdtar and jar, extracted by the engine, and compared byte for byte.
// Linux only: the producers (python3, 7zz, bsdtar, jar) are Linux programs.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <random>

#include "driver_support.h"

using namespace driver_test;

namespace {

// The source tree: text that compresses well, bytes that do not, the window size
// exactly, an empty file, nested directories, a UTF-8 name and an executable.
struct SourceTree {
    TempDir dir;
    std::string root;
    std::map<std::string, Bytes> files;

    SourceTree() : root(dir.file("src")) {
        mkdir(root.c_str(), 0755);
        std::mt19937 random(42);
        Bytes noise(300000, '\0');
        for (char& c : noise) c = char(random() & 0xFF);
        Bytes text;
        for (int i = 0; text.size() < 1000000; ++i)
            text += "line " + std::to_string(i) + " of a text that repeats itself\n";
        add("text.txt", text);
        add("noise.bin", noise);
        add("window.bin", noise.substr(0, 65536));
        add("empty", "");
        add("dir/sub/deep.txt", text.substr(0, 5000));
        add("gr\xC3\xBC\xC3\x9F" "e/\xC3\xBCnicode.txt", "utf-8 name");
        add("run.sh", "#!/bin/sh\necho hi\n");
        chmod((root + "/run.sh").c_str(), 0755);
    }
    void add(const std::string& name, const Bytes& bytes) {
        files[name] = bytes;
        std::string path = root + "/" + name;
        for (size_t slash = path.find('/', root.size() + 1); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            mkdir(path.substr(0, slash).c_str(), 0755);
        std::ofstream(path, std::ios::binary) << bytes;
    }
    // Makes an archive with a shell command run in the source directory; "@" in the
    // command stands for the archive's path.
    std::string make(const std::string& name, const std::string& command) {
        std::string archive = dir.file(name);
        std::string line = command;
        line.replace(line.find('@'), 1, shellQuote(archive));
        bool made = core_test::runCommand("cd " + shellQuote(root) + " && " + line +
                                          " >/dev/null 2>&1");
        return made ? archive : std::string();
    }
};

// Python's zipfile with a given compression, or written through an unseekable stream
// (data descriptors), or with Zip64 records forced on every entry.
std::string pythonArchive(SourceTree& source, const std::string& name, const std::string& how) {
    std::string archive = source.dir.file(name);
    std::string script =
        "import os, sys, zipfile\n"
        "how, out = sys.argv[1], sys.argv[2]\n"
        "class Stream:\n"
        "    def __init__(self, f): self.f = f\n"
        "    def write(self, b): return self.f.write(b)\n"
        "    def flush(self): self.f.flush()\n"
        "f = open(out, 'wb')\n"
        "target = Stream(f) if how == 'stream' else f\n"
        "method = zipfile.ZIP_STORED if how == 'stored' else zipfile.ZIP_DEFLATED\n"
        "level = int(how) if how.isdigit() else None\n"
        "with zipfile.ZipFile(target, 'w', method, compresslevel=level) as z:\n"
        "    for d, _, names in sorted(os.walk('.')):\n"
        "        for n in sorted(names):\n"
        "            p = os.path.join(d, n)[2:]\n"
        "            data = open(p, 'rb').read()\n"
        "            info = zipfile.ZipInfo.from_file(p)\n"
        "            info.compress_type = method\n"
        "            with z.open(info, 'w', force_zip64=(how == 'zip64')) as w: w.write(data)\n"
        "f.close()\n";
    bool made = core_test::runCommand("cd " + shellQuote(source.root) + " && python3 -c " +
                                      shellQuote(script) + " " + how + " " + shellQuote(archive));
    return made ? archive : std::string();
}

// Extracts with the engine and compares every file with the source.
void expectRoundTrip(SourceTree& source, const std::string& archive, const std::string& label) {
    ASSERT_FALSE(archive.empty()) << label << ": the producer failed";
    std::string target = source.dir.file("out-" + label);
    EngineRun run = core_test::runEngine(archive, extractTo(target));
    EXPECT_EQ(run.result, RC_OK) << label << "\n" << run.messages.substr(0, 2000);
    for (const auto& [name, bytes] : source.files) {
        std::optional<Bytes> extracted = readFile(target + "/" + name);
        ASSERT_TRUE(extracted.has_value()) << label << ": " << name << " missing";
        EXPECT_TRUE(*extracted == bytes) << label << ": " << name << " differs";
    }
    // The engine's own check of the same archive agrees.
    EngineRun tested = core_test::runEngine(archive, [](UnzipOptions& o, UnzipCallbacks&) {
        o.testOnly = 1;
    });
    EXPECT_EQ(tested.result, RC_OK) << label;
}

}  // namespace

TEST(DriverRoundTrip, PythonZipfile) {
    SourceTree source;
    for (const char* how : {"stored", "1", "6", "9", "stream", "zip64"})
        expectRoundTrip(source, pythonArchive(source, std::string(how) + ".zip", how), how);
}

TEST(DriverRoundTrip, SevenZip) {
    if (!haveTool("7zz")) GTEST_SKIP() << "7zz not installed";
    SourceTree source;
    expectRoundTrip(source, source.make("7z-deflate.zip", "7zz a -tzip -mm=Deflate -mx=9 @ ."), "7z-deflate");
    expectRoundTrip(source, source.make("7z-deflate64.zip", "7zz a -tzip -mm=Deflate64 @ ."), "7z-deflate64");
    expectRoundTrip(source, source.make("7z-stored.zip", "7zz a -tzip -mm=Copy @ ."), "7z-stored");
}

TEST(DriverRoundTrip, BsdtarKeepsModesAndTimes) {
    if (!haveTool("bsdtar")) GTEST_SKIP() << "bsdtar not installed";
    SourceTree source;
    std::string touched = source.root + "/dir/sub/deep.txt";
    ASSERT_TRUE(core_test::runCommand("touch -d '2001-09-09 01:46:40 UTC' " + shellQuote(touched)));
    std::string archive = source.make("bsdtar.zip", "bsdtar --format zip -cf @ .");
    expectRoundTrip(source, archive, "bsdtar");
    struct stat status;
    ASSERT_EQ(stat(source.dir.file("out-bsdtar/run.sh").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0755u);
    ASSERT_EQ(stat(source.dir.file("out-bsdtar/dir/sub/deep.txt").c_str(), &status), 0);
    EXPECT_EQ(status.st_mtime, 1000000000);
}

TEST(DriverRoundTrip, Jar) {
    if (!haveTool("jar")) GTEST_SKIP() << "jar not installed";
    SourceTree source;
    // The JDK takes file names in the locale's character set: under the POSIX locale of a
    // bare machine it cannot name the tree's UTF-8 file.
    expectRoundTrip(source, source.make("files.jar", "LC_ALL=C.UTF-8 jar cfM @ ."), "jar");
}

TEST(DriverRoundTrip, ChangedDataFailsTheCrcCheck) {
    SourceTree source;
    std::string archive = pythonArchive(source, "stored.zip", "stored");
    ASSERT_FALSE(archive.empty());
    Bytes bytes = *readFile(archive);
    size_t at = bytes.find("utf-8 name");
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'U';
    source.dir.write("changed.zip", bytes);
    EngineRun run = core_test::runEngine(source.dir.file("changed.zip"), [](UnzipOptions& o, UnzipCallbacks&) {
        o.testOnly = 1;
    });
    EXPECT_EQ(run.result, RC_ERROR);
    EXPECT_TRUE(contains(run.messages, " bad CRC "));
}

#endif  // _WIN32
