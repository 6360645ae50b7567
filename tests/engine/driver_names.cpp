// Output names: how entry names become paths under the target directory, and that no
// name, however hostile, puts a file outside it.
#include <gtest/gtest.h>

#include <cstring>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "driver_support.h"
#include "engine/output_names.h"
#include "engine/patterns.h"

using namespace driver_test;

namespace {

std::vector<TestEntry> files(std::initializer_list<std::string> names) {
    std::vector<TestEntry> entries;
    for (const auto& name : names) entries.push_back({name, "data of " + name});
    return entries;
}

}  // namespace

TEST(DriverPatterns, MatchWholeNamesWithStarsSetsAndEscapes) {
    EXPECT_TRUE(matchPattern("a/b.txt", "*.txt", false));
    EXPECT_FALSE(matchPattern("A.TXT", "*.txt", false));
    EXPECT_TRUE(matchPattern("A.TXT", "*.txt", true));
    EXPECT_TRUE(matchPattern("b1", "[a-c]*", false));
    EXPECT_FALSE(matchPattern("d1", "[a-c]*", false));
    EXPECT_TRUE(matchPattern("bx", "[!a]x", false));
    EXPECT_FALSE(matchPattern("ax", "[!a]x", false));
    EXPECT_TRUE(matchPattern("a*", "a\\*", false));
    EXPECT_FALSE(matchPattern("ab", "a\\*", false));
    EXPECT_TRUE(matchPattern("", "*", false));
    EXPECT_FALSE(matchPattern("", "?", false));
    EXPECT_FALSE(matchPattern("a", "[]", false));
    EXPECT_FALSE(matchPattern("]", "[]", false));
    EXPECT_TRUE(matchPattern("abxbc", "*b*c", false));
    EXPECT_TRUE(matchPattern("sfx.ini", "sfx.ini", false));
    EXPECT_FALSE(matchPattern("Disk1/sfx.ini", "sfx.ini", false));
    EXPECT_TRUE(matchPattern("-", "[-a]", false));
    EXPECT_FALSE(matchPattern("abc", "[abc", false));  // a set without its "]"
    EXPECT_TRUE(matchPattern("\xC4rger", "\xE4*", true));  // Latin-1 capitals fold too
    // Many stars against a long name that fails: answered at once, not retried from
    // every earlier star.
    std::string name(5000, 'a');
    EXPECT_FALSE(matchPattern(name.c_str(), "*a*a*a*a*a*a*a*a*a*a*b", false));
    EXPECT_TRUE(patternHasWildcard("x[1]"));
    EXPECT_FALSE(patternHasWildcard("x\\*y"));
}

TEST(DriverNames, ShortNamesFollowTheEightThreeRules) {
    const std::pair<const char*, const char*> cases[] = {
        {"Makefile.linux", "Makefile.lin"}, {"very_long_name.html", "very_lon.htm"},
        {"abcdefghijkl", "abcdefgh"},       {"my_document_text", "my_docum.tex"},
        {"ab_cd", "ab_cd"},                 {"x.tar.gz", "x_tar.gz"},
        {".profile", "_profile"},           {"a+b[1].c", "a_b_1_.c"},
        {"..", ".."},                       {"ab .txt", "ab_.txt"},
    };
    for (const auto& [component, expected] : cases) {
        char out[64] = "";
        char* end = toShortName(component, out);
        EXPECT_STREQ(out, expected) << component;
        EXPECT_EQ(end, out + std::strlen(expected));
    }
    char out[8] = "z";
    EXPECT_EQ(toShortName(".", out), out);
    EXPECT_STREQ(out, "");
}

TEST(DriverNames, ComponentsAreCleanedAndParentsDroppedUnlessAllowed) {
    Workspace w;
    w.write(buildArchive(files({"a/../../b.txt", "./x/./y.txt", "what?*.txt", "\x01\x02",
                            "file.txt;7", "file;v2", "a b.txt", "c:x.txt"})));
    EngineRun run = w.extract();
    EXPECT_EQ(run.result, RC_ERROR);  // the name made only of control characters
    EXPECT_TRUE(contains(run.messages, "warning:  skipped \"../\" path component(s) in a/../../b.txt\n"));
    EXPECT_TRUE(contains(run.messages, "mapname:  conversion of ^A^B failed\n"));
    // ".." components are dropped where they stand; the components before them stay.
    EXPECT_EQ(tree(w.target), (std::vector<std::string>{"a b.txt", "a/", "a/b.txt", "c_x.txt",
                                                        "file.txt", "file;v2", "what__.txt",
                                                        "x/", "x/y.txt"}));
    EXPECT_EQ(readFile(w.out("a/b.txt")), "data of a/../../b.txt");
    EXPECT_EQ(readFile(w.out("file.txt")), "data of file.txt;7");

    Workspace blanks;
    blanks.write(buildArchive(files({"a b.txt"})));
    blanks.extract([](UnzipOptions& o, UnzipCallbacks&) { o.underscoreBlanks = 1; });
    EXPECT_TRUE(exists(blanks.out("a_b.txt")));

    // With ".." allowed the name reaches above the target: here into the workspace.
    Workspace parents;
    parents.write(buildArchive(files({"in/../../up.txt"})));
    EngineRun allowed = parents.extract([](UnzipOptions& o, UnzipCallbacks&) { o.directoryMode = 2; });
    EXPECT_EQ(allowed.result, RC_OK);
    EXPECT_TRUE(exists(parents.dir.file("up.txt")));
}

TEST(DriverNames, JunkPathsAndDirectoryEntries) {
    Workspace junk;
    junk.write(buildArchive({{"dir/sub/", ""}, {"dir/sub/f.txt", "f"}}));
    EngineRun run = junk.extract([](UnzipOptions& o, UnzipCallbacks&) { o.directoryMode = 0; });
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_EQ(tree(junk.target), (std::vector<std::string>{"f.txt"}));

    Workspace dirs;
    dirs.write(buildArchive({{"x/", ""}, {"x/", ""}}));
    run = dirs.extract();
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_TRUE(contains(run.messages, "   creating: " + dirs.target + "/x/\n"));
    EXPECT_EQ(tree(dirs.target), (std::vector<std::string>{"x/"}));

    // A file where a directory must go.
    Workspace blocked;
    blocked.write(buildArchive(files({"x", "x/y.txt", "z.txt"})));
    run = blocked.extract();
    EXPECT_EQ(run.result, RC_ERROR);
    EXPECT_TRUE(contains(run.messages, "/out/x exists but is not directory\n"
                                       "                 unable to process x/y.txt.\n"));
    EXPECT_TRUE(exists(blocked.out("z.txt")));
}

#ifndef _WIN32
TEST(DriverNames, DeviceNamesGetAnUnderscore) {
    // A component is a device name when the current directory holds such a device.
    Workspace w;
    w.write(buildArchive(files({"null/inner.txt", "tty"})));
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir("/dev"), 0);
    EngineRun run = w.extract();
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_EQ(tree(w.target), (std::vector<std::string>{"_null/", "_null/inner.txt", "_tty"}));
}
#endif

TEST(DriverNames, LengthLimitsOfDirectoriesAndPaths) {
    Workspace w;
    // The target's own length counts: pick the components so that the directory path
    // reaches 258 characters exactly, and a file name that takes the path past 259.
    const size_t rootLength = w.target.size() + 1;
    std::string longDir(258 - rootLength, 'd');
    std::string okDir(257 - rootLength, 'e');
    std::string longFile(300 - rootLength, 'f');
    w.write(buildArchive(files({longDir + "/x.txt", okDir + "/y.txt", longFile})));
    EngineRun run = w.extract();
    EXPECT_EQ(run.result, RC_ERROR);
    EXPECT_TRUE(contains(run.messages, "checkdir error:  path too long: "));
    EXPECT_FALSE(exists(w.out(longDir)));
    // 257 characters of directory are allowed; the file name after it is cut at 259.
    EXPECT_TRUE(exists(w.out(okDir + "/y")));
    EXPECT_TRUE(contains(run.messages, "checkdir warning:  path too long; truncating\n"));
    std::string cut = longFile.substr(0, 259 - rootLength);
    EXPECT_EQ(readFile(w.out(cut)), "data of " + longFile);
}

TEST(DriverNames, DirectoryEntryNamingATargetOfTheLongestLength) {
    TempDir dir;
    std::string archive = dir.write("t.zip", buildArchive(files({"./"})));
    std::string target = dir.file(std::string(259 - dir.path.size() - 1, 't'));
    ASSERT_EQ(target.size(), 259u);
    EngineRun run = core_test::runEngine(archive, extractTo(target));
    EXPECT_EQ(run.result, RC_OK) << run.messages;
    EXPECT_TRUE(isDirectory(target));
    EXPECT_TRUE(tree(target).empty());
}

TEST(DriverNames, TargetDirectoryIsCreatedOneLevelOnly) {
    TempDir dir;
    std::string archive = dir.write("t.zip", buildArchive(files({"a.txt"})));
    std::string slashed = dir.file("made\\");
    EngineRun run = core_test::runEngine(archive, extractTo(slashed));
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_TRUE(exists(dir.file("made/a.txt")));

    std::string deep = dir.file("missing/deeper");
    run = core_test::runEngine(archive, extractTo(deep));
    EXPECT_EQ(run.result, RC_ERROR);
    EXPECT_TRUE(contains(run.messages, "checkdir:  cannot create extraction directory: "));

    // Freshening into a target that does not exist replaces nothing anywhere.
    std::string missing = dir.file("absent");
    run = core_test::runEngine(archive, extractTo(missing, [](UnzipOptions& o, UnzipCallbacks&) {
                                   o.freshenOnly = 1;
                               }));
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_FALSE(exists(missing));
}

TEST(DriverNames, HostileNamesStayInsideTheTarget) {
    Workspace w;
    std::vector<TestEntry> entries = files({"../evil1.txt", "/abs/evil2.txt", "//evil3.txt",
                                           "a/../../../evil4.txt", "C:/evil5.txt", ".. /evil6.txt",
                                           "... /evil7.txt", "a/..", "x/. ./evil8.txt"});
    TestEntry dos{"..\\..\\evil9.txt", "dos"};
    dos.hostSystem = 0;
    entries.push_back(dos);
    TestEntry dosAbsolute{"\\evil10.txt", "dos"};
    dosAbsolute.hostSystem = 0;
    entries.push_back(dosAbsolute);
    w.write(buildArchive(entries));
    EngineRun run = w.extract();
    EXPECT_NE(run.result, RC_OK);
    EXPECT_TRUE(contains(run.messages, "warning:  stripped absolute path spec from /abs/evil2.txt\n"));
    EXPECT_TRUE(contains(run.messages, "appears to use backslashes as path separators\n"));
    // Only the archive and the target in the workspace: nothing climbed out.
    std::vector<std::string> workspace = tree(w.dir.path);
    EXPECT_EQ(std::count_if(workspace.begin(), workspace.end(),
                            [](const std::string& p) { return p.rfind("out/", 0) != 0; }),
              1);
    for (const auto& path : workspace) EXPECT_EQ(path.find("..", 0), std::string::npos) << path;
    EXPECT_TRUE(exists(w.out("evil1.txt")));
    EXPECT_TRUE(exists(w.out("abs/evil2.txt")));
    EXPECT_TRUE(exists(w.out("C_/evil5.txt")));
    EXPECT_TRUE(exists(w.out("evil9.txt")));
    EXPECT_TRUE(exists(w.out("evil10.txt")));
}
