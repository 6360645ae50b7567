// The runtime components: the jar list, measuring the jars, the space check and
// unpacking into the destination.
#include <filesystem>
#include <string>

#include "launch_zip_maker.h"
#include "launcher/launch/engine_calls.h"
#include "launcher/launch/java_runtime.h"
#include "launcher_fixture.h"
#include "platform/paths.h"

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

namespace {

const std::string kComponents =
    std::string("Disk1") + PATH_SEP + "stage" + PATH_SEP + "Components" + PATH_SEP;

std::string dataFiles(const std::string& name, const std::string& version) {
    return kComponents + name + PATH_SEP + version + PATH_SEP + "DataFiles";
}

uint64_t freeBytesForTest = 0;
bool fixedFreeBytes(const char*, uint64_t* bytes) {
    *bytes = freeBytesForTest;
    return true;
}

} // namespace

class RuntimeTest : public LauncherTest {
  protected:
    void SetUp() override {
        LauncherTest::SetUp();
        commandLine.silentMode = true;
        ASSERT_TRUE(platform::changeDirectory(scratchDirectory().c_str()));
        std::snprintf(runPaths.m_szTempDirectory, sizeof runPaths.m_szTempDirectory, "%s",
                      scratch.string().c_str());
    }

    // Creates the DataFiles directory of a component version and the given files in it.
    void component(const std::string& name, const std::string& version,
                   const std::vector<std::string>& files) {
        std::filesystem::create_directories(dataFiles(name, version));
        for (const std::string& file : files)
            writeFile(dataFiles(name, version) + PATH_SEP + file, "x");
    }

    std::string jar(const std::string& name, const std::string& version, const std::string& file) {
        return dataFiles(name, version) + PATH_SEP + file;
    }
};

TEST_F(RuntimeTest, JarListJoinsTheJarsOfEveryComponentInOrder) {
    component("rt", "1.0", {"old.jar"});
    component("rt", "1.1", {"b.jar", "a.jar", "notes.txt"});
    std::filesystem::create_directories(dataFiles("rt", "1.1") + PATH_SEP + "dir.jar");
    component("extra", "2.0", {"c.jar"});
    EXPECT_EQ(buildJarList("rt,extra:2.0"), jar("rt", "1.1", "a.jar") + "," +
                                                jar("rt", "1.1", "b.jar") + "," +
                                                jar("extra", "2.0", "c.jar"));
}

TEST_F(RuntimeTest, ComponentsWithoutJarsOrVersionsGiveNoList) {
    component("rt", "1.0", {"readme.txt"});
    EXPECT_EQ(buildJarList("rt"), "");
    // A version given is used as it is, even when it does not exist.
    component("named", "1.0", {"a.jar"});
    EXPECT_EQ(buildJarList("named:9.9"), "");
    EXPECT_EQ(buildJarList("rt,named:1.0"), jar("named", "1.0", "a.jar"));

    // Empty pieces name no component.
    EXPECT_EQ(buildJarList("named:1.0,"), jar("named", "1.0", "a.jar"));
    EXPECT_EQ(buildJarList(",,named:1.0"), jar("named", "1.0", "a.jar"));

    std::filesystem::create_directories(kComponents + "empty");
    CaptureStderr();
    EXPECT_EQ(buildJarList("named:1.0,empty"), "");
    EXPECT_EQ(GetCapturedStderr(), "ERROR: Cannot find version for component empty\n");
}

TEST_F(RuntimeTest, TwoHundredLongJarNamesAreAllListed) {
    std::vector<std::string> names;
    for (int i = 0; i < 200; ++i) {
        char name[160];
        std::snprintf(name, sizeof name, "%03d-%s.jar", i, std::string(120, 'j').c_str());
        names.push_back(name);
    }
    component("rt", "1.0", names);
    std::string list = buildJarList("rt");
    std::string expected;
    for (const std::string& name : names)
        expected += (expected.empty() ? "" : ",") + jar("rt", "1.0", name);
    EXPECT_GT(list.size(), 5121u);
    EXPECT_EQ(list, expected);
}

TEST_F(RuntimeTest, MeasuringAddsTheUncompressedSizesOfEachJar) {
    component("rt", "1.0", {});
    ASSERT_TRUE(launch_test::writeStoredZip(jar("rt", "1.0", "ten.jar"), {{"a", "0123456789"}}));
    ASSERT_TRUE(launch_test::writeStoredZip(jar("rt", "1.0", "twenty.jar"),
                                            {{"b", "01234"}, {"dir/c", "012345678901234"}}));
    runState.javaJarBytes = 5;
    commandLine.debugMode = true;
    CaptureStderr();
    measureJar(jar("rt", "1.0", "ten.jar").c_str());
    measureJar(jar("rt", "1.0", "twenty.jar").c_str());
    measureJar(jar("rt", "1.0", "missing.jar").c_str());
    std::string log = GetCapturedStderr();
    EXPECT_EQ(runState.javaJarBytes, 35u);
    // Sizes claimed by a jar may be anything: the sum saturates.
    runState.javaJarBytes = UINT64_MAX - 3;
    measureJar(jar("rt", "1.0", "ten.jar").c_str());
    EXPECT_EQ(runState.javaJarBytes, UINT64_MAX);
    EXPECT_NE(log.find("Size of " + jar("rt", "1.0", "ten.jar") + ": 10\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find("Size of " + jar("rt", "1.0", "twenty.jar") + ": 20\n"), std::string::npos);
    EXPECT_NE(log.find("Size of " + jar("rt", "1.0", "missing.jar") + ": 0\n"), std::string::npos);
}

TEST_F(RuntimeTest, RoomMustExceedTheJarsStrictly) {
    component("rt", "1.0", {});
    ASSERT_TRUE(launch_test::writeStoredZip(jar("rt", "1.0", "a.jar"),
                                            {{"bin/tool", "0123456789"}, {"lib/x", "01234"}}));
    std::string list = buildJarList("rt");
    runState.totalBytes = 2 * 1048576;
    platform::setFreeBytesQuery(fixedFreeBytes);

    freeBytesForTest = 15;
    CaptureStderr();
    EXPECT_FALSE(prepareJavaRuntime(list, "rt"));
    EXPECT_EQ(GetCapturedStderr(), "ERROR: The directory " +
                                       std::string(runPaths.m_szTempDirectory) +
                                       " does not have enough free space. At 3 MB of free space "
                                       "is required.\n");
    EXPECT_FALSE(std::filesystem::exists("rt"));

    freeBytesForTest = 31; // the first call measured 15 bytes already: 30 now
    EXPECT_TRUE(prepareJavaRuntime(list, "rt"));
    EXPECT_EQ(runState.javaJarBytes, 30u);
    EXPECT_TRUE(
        std::filesystem::is_regular_file(std::string("rt") + PATH_SEP + "bin" + PATH_SEP + "tool"));
    EXPECT_TRUE(
        std::filesystem::is_regular_file(std::string("rt") + PATH_SEP + "lib" + PATH_SEP + "x"));
}
