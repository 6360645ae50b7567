// The private extraction directory on the real file system: where and how it is made,
// the checks of the base directory, the second preparation, and the removal of the tree.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "launcher_fixture.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

namespace {
uint64_t simulatedFreeBytes = 0;
bool simulatedQuery(const char*, uint64_t* bytes) {
    *bytes = simulatedFreeBytes;
    return true;
}
bool failingQuery(const char*, uint64_t*) {
    return false;
}
unsigned pauses = 0;
void countingSleep(unsigned) {
    ++pauses;
}
} // namespace

class ExtractionDirectoryTest : public LauncherTest {
protected:
    void SetUp() override {
        LauncherTest::SetUp();
        commandLine.silentMode = true; // report without message boxes
        base = scratchDirectory();
        std::strcpy(runPaths.m_szTempDirectory, base.c_str());
    }

    // Prepares and returns what was reported.
    std::string prepare(uint64_t required, bool expected) {
        CaptureStderr();
        EXPECT_EQ(prepareExtractionDirectory(required), expected);
        return GetCapturedStderr();
    }

    std::string base;
};

TEST_F(ExtractionDirectoryTest, CreatesAUniquePrivateDirectoryAndEntersIt) {
    prepare(8192, true);
    const fs::path made(runPaths.extractPath);
    EXPECT_EQ(fs::path(runPaths.extractPath).parent_path(), fs::path(base));
    const std::string name = made.filename().string();
    EXPECT_EQ(name.rfind("sfx", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    const std::string digits = name.substr(3, name.size() - 7);
    EXPECT_GE(digits.size(), 1u);
    EXPECT_LE(digits.size(), 4u);
    EXPECT_EQ(digits.find_first_not_of("0123456789ABCDEFabcdef"), std::string::npos) << name;
    EXPECT_TRUE(fs::is_directory(made));
    EXPECT_TRUE(fs::equivalent(fs::current_path(), made));
    EXPECT_EQ(std::string(runPaths.launcherHome), savedWorkingDirectory);
    // Only the directory is left in the base: the unique file was replaced by it.
    EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator()), 1);
#ifndef _WIN32
    EXPECT_EQ(fs::status(made).permissions() & fs::perms::all, fs::perms::owner_all);
#endif
}

TEST_F(ExtractionDirectoryTest, SecondPreparationReusesTheDirectory) {
    commandLine.debugMode = true;
    prepare(8192, true);
    const std::string first = runPaths.extractPath;
    // What the descriptor's extraction records.
    std::strcpy(runPaths.descriptorDirectory, runPaths.extractPath);
    std::strcpy(runPaths.descriptorTempDirectory, runPaths.m_szTempDirectory);
    const std::string log = prepare(100000, true);
    EXPECT_EQ(std::string(runPaths.extractPath), first);
    EXPECT_THAT(log, HasSubstr("Extract to same " + first + "\n"));
    EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator()), 1);
}

TEST_F(ExtractionDirectoryTest, BaseThatIsMissingOrAFileIsReportedAsNotExisting) {
    const std::string missing = base + PATH_SEP "missing";
    std::strcpy(runPaths.m_szTempDirectory, missing.c_str());
    EXPECT_EQ(prepare(8192, false),
              "ERROR: The temporary directory " + missing +
                  " does not exist.\nPlease restart the installer and ensure the temporary "
                  "directory exists.\n");
    const std::string file = base + PATH_SEP "file";
    writeFile(file, "x");
    std::strcpy(runPaths.m_szTempDirectory, file.c_str());
    EXPECT_THAT(prepare(8192, false), HasSubstr("The temporary directory " + file + " does not"));
    EXPECT_STREQ(runPaths.extractPath, "");
}

TEST_F(ExtractionDirectoryTest, FreeSpaceMustExceedTheRequiredSize) {
    platform::setFreeBytesQuery(simulatedQuery);
    simulatedFreeBytes = 8192;
    EXPECT_EQ(prepare(8192, false),
              "ERROR: The directory " + base +
                  " does not have enough free space. At least 1 MB are required.\nPlease "
                  "restart the installer and specify a temporary directory with sufficient "
                  "free space.\n");
    EXPECT_STREQ(runPaths.extractPath, "");
    simulatedFreeBytes = 1048576;
    EXPECT_THAT(prepare(1048576, false), HasSubstr("At least 2 MB are required."));
    simulatedFreeBytes = 8193;
    prepare(8192, true);
}

TEST_F(ExtractionDirectoryTest, UnmeasurableFreeSpaceCountsAsFull) {
    platform::setFreeBytesQuery(failingQuery);
    EXPECT_THAT(prepare(8192, false), HasSubstr("does not have enough free space"));
}

TEST_F(ExtractionDirectoryTest, RelativeBaseGivesAnAbsoluteExtractionPath) {
    // The run moves into the directory before anything is extracted into it by its path.
    platform::changeDirectory(fs::path(base).parent_path().string().c_str());
    std::strcpy(runPaths.m_szTempDirectory, fs::path(base).filename().string().c_str());
    prepare(8192, true);
    EXPECT_TRUE(fs::path(runPaths.extractPath).is_absolute()) << runPaths.extractPath;
    EXPECT_EQ(fs::path(runPaths.extractPath).parent_path(), fs::path(base));
    EXPECT_TRUE(fs::equivalent(fs::current_path(), fs::path(runPaths.extractPath)));
}

TEST_F(ExtractionDirectoryTest, TrailingSeparatorIsKeptFromTheCommandLine) {
    const std::string withSeparator = base + PATH_SEP;
    std::strcpy(runPaths.m_szTempDirectory, withSeparator.c_str());
    prepare(8192, true);
    EXPECT_EQ(std::string(runPaths.m_szTempDirectory), withSeparator);
    EXPECT_TRUE(fs::is_directory(runPaths.extractPath));
}

TEST_F(ExtractionDirectoryTest, TrailingSeparatorIsRemovedFromTheSystemsDirectory) {
    runPaths.m_szTempDirectory[0] = '\0';
    char system[kPathBufferSize];
    ASSERT_GT(platform::systemTempDirectory(system, sizeof system), 0u);
    // Nothing is created: the first failure comes after the base is chosen.
    platform::setFreeBytesQuery(simulatedQuery);
    simulatedFreeBytes = 0;
    prepare(8192, false);
    std::string expected = system;
    if (!expected.empty() && expected.back() == PATH_SEP[0])
        expected.pop_back();
    EXPECT_EQ(std::string(runPaths.m_szTempDirectory), expected);
}

TEST_F(ExtractionDirectoryTest, RemovalDeletesReadOnlyContentsAndReturnsHome) {
    prepare(8192, true);
    const fs::path made(runPaths.extractPath);
    fs::create_directories(made / "Disk1" / "sub");
    writeFile(made / "Disk1" / "sub" / "ro.txt", "r");
    writeFile(made / "sfx.ini", "[autorun]\n");
    fs::permissions(made / "Disk1" / "sub" / "ro.txt", fs::perms::owner_read);
    fs::permissions(made / "Disk1" / "sub", fs::perms::owner_read | fs::perms::owner_exec);
    platform::changeDirectory((made / "Disk1").string().c_str());
    std::strcpy(runPaths.descriptorDirectory, runPaths.extractPath);
    removeExtractionDirectory();
    EXPECT_FALSE(fs::exists(made));
    EXPECT_EQ(fs::current_path(), fs::path(savedWorkingDirectory));
}

TEST_F(ExtractionDirectoryTest, TreeIsKeptInDebugModeAndOnlyAnEmptyOneBeforeTheDescriptor) {
    // sfx.ini could not be extracted: the directory is ours and empty.
    commandLine.debugMode = true;
    prepare(8192, true);
    const fs::path kept(runPaths.extractPath);
    removeExtractionDirectory();
    EXPECT_TRUE(fs::exists(kept));
    commandLine.debugMode = false;
    runPaths.descriptorTempDirectory[0] = runPaths.extractPath[0] = '\0'; // a new run
    prepare(8192, true);
    const fs::path made(runPaths.extractPath);
    removeExtractionDirectory();
    EXPECT_FALSE(fs::exists(made));
    EXPECT_EQ(fs::current_path(), fs::path(savedWorkingDirectory));

    prepare(8192, true);
    const fs::path full(runPaths.extractPath);
    writeFile(full / "sfx.ini", "[autorun]\n");
    std::strcpy(runPaths.descriptorDirectory, runPaths.extractPath);
    commandLine.debugMode = true;
    CaptureStderr();
    removeExtractionDirectory();
    GetCapturedStderr();
    EXPECT_TRUE(fs::exists(full));
    commandLine.debugMode = false;
    removeExtractionDirectory();
    EXPECT_FALSE(fs::exists(full));
}

#ifndef _WIN32
TEST_F(ExtractionDirectoryTest, ALinkedBaseIsFollowedButNoLinkInsideTheTree) {
    const fs::path real = fs::path(base) / "real";
    const fs::path outside = fs::path(base) / "outside";
    fs::create_directories(real);
    fs::create_directories(outside);
    writeFile(outside / "keep.txt", "k");
    fs::create_directory_symlink(real, fs::path(base) / "link");
    std::strcpy(runPaths.m_szTempDirectory, (base + "/link").c_str());
    prepare(8192, true);
    EXPECT_EQ(fs::path(runPaths.extractPath).parent_path(), fs::path(base) / "link");
    fs::create_directory_symlink(outside, fs::path(runPaths.extractPath) / "escape");
    std::strcpy(runPaths.descriptorDirectory, runPaths.extractPath);
    removeExtractionDirectory();
    EXPECT_TRUE(fs::is_empty(real));
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
}

TEST_F(ExtractionDirectoryTest, TheRootAsTemporaryDirectoryKeepsItsSeparator) {
    const char* saved = std::getenv("TMPDIR");
    const std::string savedValue = saved != nullptr ? saved : "";
    setenv("TMPDIR", "/", 1);
    runPaths.m_szTempDirectory[0] = '\0';
    platform::setFreeBytesQuery(simulatedQuery);
    simulatedFreeBytes = 0; // stop before anything is created under /
    prepare(8192, false);
    if (saved != nullptr)
        setenv("TMPDIR", savedValue.c_str(), 1);
    else
        unsetenv("TMPDIR");
    EXPECT_STREQ(runPaths.m_szTempDirectory, "/");
}
#endif

TEST_F(ExtractionDirectoryTest, RemovingAFileThatIsNotThereGivesUpWithoutPausing) {
    platform::setSleepFunction(countingSleep);
    pauses = 0;
    EXPECT_FALSE(removeWithRetry((base + PATH_SEP "absent").c_str(), RemoveKind::file));
    EXPECT_FALSE(removeWithRetry((base + PATH_SEP "absent").c_str(), RemoveKind::directory));
    EXPECT_EQ(pauses, 0u);
    EXPECT_TRUE(removeTree(""));
}

#ifndef _WIN32
TEST_F(ExtractionDirectoryTest, SystemTemporaryPathLongerThanTheBufferIsRefused) {
    const char* saved = std::getenv("TMPDIR");
    const std::string savedValue = saved != nullptr ? saved : "";
    setenv("TMPDIR", ("/" + std::string(1099, 't')).c_str(), 1);
    runPaths.m_szTempDirectory[0] = '\0';
    const std::string reported = prepare(8192, false);
    if (saved != nullptr)
        setenv("TMPDIR", savedValue.c_str(), 1);
    else
        unsetenv("TMPDIR");
    EXPECT_EQ(reported, "ERROR: The length of the temporary directory path is too long (1101).\n");
    EXPECT_STREQ(runPaths.m_szTempDirectory, "");
}
#endif

TEST_F(ExtractionDirectoryTest, LinksInsideTheTreeAreDeletedNotFollowed) {
    const fs::path outside = fs::path(base) / "outside";
    fs::create_directories(outside / "deep");
    writeFile(outside / "precious.txt", "keep");
    writeFile(outside / "deep" / "also.txt", "keep");
    const fs::path tree = fs::path(base) / "tree";
    fs::create_directories(tree / "sub");
    std::error_code error;
    fs::create_directory_symlink(outside, tree / "sub" / "dirlink", error);
    if (error)
        GTEST_SKIP() << "no directory links here: " << error.message();
    fs::create_symlink(outside / "precious.txt", tree / "filelink");
    fs::create_directory_symlink(outside, tree / "rootlink");
    ASSERT_TRUE(platform::fileAttributes((tree / "rootlink").string().c_str()).isLink);
    EXPECT_TRUE(removeTree(tree.string().c_str()));
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
    EXPECT_TRUE(fs::exists(outside / "precious.txt"));
    EXPECT_TRUE(fs::exists(outside / "deep" / "also.txt"));
}

#ifndef _WIN32
TEST_F(ExtractionDirectoryTest, DirectoryListingsAreSortedByByteValue) {
    for (const char* name : {"b.jar", "B.JAR", "a.jar", "\xC3\xA9.jar", "c.txt"})
        writeFile(fs::path(base) / name, "");
    std::vector<platform::DirectoryEntry> entries;
    ASSERT_TRUE(platform::listDirectory(base.c_str(), "*.jar", entries));
    std::vector<std::string> names;
    for (const auto& entry : entries)
        names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"B.JAR", "a.jar", "b.jar", "\xC3\xA9.jar"}));
    EXPECT_FALSE(platform::listDirectory((base + "/none").c_str(), "*", entries));
}
#endif
