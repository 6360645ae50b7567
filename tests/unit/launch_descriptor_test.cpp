// The launch descriptor: the profile reader's behaviour the launcher relies on, the
// automatic-base size conversion and the three reads with their messages.
#include <filesystem>
#include <string>

#include "launcher/launch/descriptor.h"
#include "launcher_fixture.h"
#include "platform/profile.h"

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

class DescriptorTest : public LauncherTest {
  protected:
    void SetUp() override {
        LauncherTest::SetUp();
        commandLine.silentMode = true; // no message boxes
        path = (std::filesystem::path(scratchDirectory()) / "sfx.ini").string();
        std::snprintf(runPaths.descriptorPath, sizeof runPaths.descriptorPath, "%s", path.c_str());
    }

    void describe(const std::string& content) { writeFile(path, content); }

    std::string read(const char* key, const char* defaultValue, uint32_t size = 64) {
        std::vector<char> buffer(size);
        uint32_t length = platform::readProfileString("autorun", key, defaultValue, buffer.data(),
                                                      size, path.c_str());
        EXPECT_EQ(length, std::string(buffer.data()).size());
        return buffer.data();
    }

    std::string path;
};

TEST_F(DescriptorTest, ProfileReaderMatchesNamesIgnoringCaseAndTrimsValues) {
    describe("; comment\r\n[other]\r\nCMD=wrong\r\n[AutoRun]\r\n  cmd =  bin/java -jar a.jar  \r\n"
             "Quoted=\"  kept  \"\r\nEMPTY=\r\n");
    EXPECT_EQ(read("CMD", ""), "bin/java -jar a.jar");
    EXPECT_EQ(read("quoted", ""), "  kept  ");
    EXPECT_EQ(read("EMPTY", "fallback"), "");
    EXPECT_EQ(read("ABSENT", "fallback"), "fallback");
}

TEST_F(DescriptorTest, ProfileReaderGivesTheDefaultWithoutFileOrSection) {
    EXPECT_EQ(read("CMD", "1"), "1");
    describe("[elsewhere]\nCMD=x\n");
    EXPECT_EQ(read("CMD", "dflt"), "dflt");
}

TEST_F(DescriptorTest, LongValuesAreCutToTheBuffer) {
    describe("[autorun]\nCMD=" + std::string(1023, 'a') +
             "\nJRE_COMPONENT=" + std::string(1500, 'b') + "\n");
    EXPECT_EQ(read("CMD", "", 1024), std::string(1023, 'a'));
    EXPECT_EQ(read("JRE_COMPONENT", "", 1024), std::string(1023, 'b'));
}

TEST_F(DescriptorTest, SizeTextsUseTheAutomaticBase) {
    EXPECT_EQ(convertSizeText("0x10"), 16u);
    EXPECT_EQ(convertSizeText("010"), 8u);
    EXPECT_EQ(convertSizeText("12abc"), 12u);
    EXPECT_EQ(convertSizeText("abc"), 0u);
    EXPECT_EQ(convertSizeText(""), 0u);
    EXPECT_EQ(convertSizeText("  1073741824"), 1073741824u);
    EXPECT_EQ(convertSizeText("-1"), 18446744073709551615u);
    EXPECT_EQ(convertSizeText("99999999999999999999"), 9223372036854775807u);
}

TEST_F(DescriptorTest, TotalBytesReadDefaultsAndEmptyValue) {
    commandLine.debugMode = true;
    describe("[autorun]\nTEMP_SPACE_TOTAL_BYTES=0x10\n");
    CaptureStderr();
    EXPECT_TRUE(readTotalBytes());
    EXPECT_EQ(runState.totalBytes, 16u);
    EXPECT_EQ(GetCapturedStderr(), "Total uncompressed size: 16\n");

    describe("[autorun]\nCMD=x\n");
    EXPECT_TRUE(readTotalBytes());
    EXPECT_EQ(runState.totalBytes, 1u);

    describe("[autorun]\nTEMP_SPACE_TOTAL_BYTES=\n");
    CaptureStderr();
    EXPECT_FALSE(readTotalBytes());
    EXPECT_NE(GetCapturedStderr().find("Cannot get total uncompressed size ("), std::string::npos);
}

TEST_F(DescriptorTest, DiskCountReadDefaultsAndEmptyValue) {
    commandLine.debugMode = true;
    describe("[autorun]\nCMD=x\n");
    CaptureStderr();
    EXPECT_TRUE(readDiskCount());
    EXPECT_EQ(GetCapturedStderr(), "Total disks: 1 (1)\nFinished extracting Disk1\n");

    describe("[autorun]\nDISKCNT= 3 disks\n");
    CaptureStderr();
    EXPECT_TRUE(readDiskCount());
    EXPECT_EQ(GetCapturedStderr(), "Total disks: 3 disks (3)\nFinished extracting Disk1\n");

    describe("[autorun]\nDISKCNT=\n");
    CaptureStderr();
    EXPECT_FALSE(readDiskCount());
    EXPECT_EQ(GetCapturedStderr(), "ERROR: Cannot get disk count from " + path + "\n");
}

TEST_F(DescriptorTest, CommandAndComponentMustBothBeThere) {
    char command[kDescriptorCommandSize];
    char component[kDescriptorCommandSize];
    describe("[autorun]\nCMD=bin/java -jar a.jar\nJRE_COMPONENT=rt:1.0\n");
    EXPECT_TRUE(readLaunchSettings(command, component));
    EXPECT_STREQ(command, "bin/java -jar a.jar");
    EXPECT_STREQ(component, "rt:1.0");

    describe("[autorun]\nJRE_COMPONENT=rt\n");
    CaptureStderr();
    EXPECT_FALSE(readLaunchSettings(command, component));
    EXPECT_EQ(GetCapturedStderr().rfind("ERROR: CMD property not found in " + path + " (", 0), 0u);

    describe("[autorun]\nCMD=bin/java -jar a.jar\nJRE_COMPONENT=\n");
    CaptureStderr();
    EXPECT_FALSE(readLaunchSettings(command, component));
    EXPECT_EQ(GetCapturedStderr(), "ERROR: JRE_COMPONENT property not found in " + path + "\n");
}

#ifndef _WIN32
TEST_F(DescriptorTest, ADescriptorAboveTheReadersLimitReadsAsMissing) {
    describe("[autorun]\nCMD=x\n" + std::string(platform::kProfileSizeLimit, ';'));
    EXPECT_TRUE(platform::profileTooLarge(path.c_str()));
    char value[8];
    EXPECT_EQ(
        platform::readProfileString("autorun", "CMD", "none", value, sizeof value, path.c_str()),
        4u);
    describe("[autorun]\nCMD=x\n");
    EXPECT_FALSE(platform::profileTooLarge(path.c_str()));
}
#endif
