// Version ordering and the choice of a component's version directory.
#include <filesystem>
#include <string>

#include "launcher/launch/versions.h"
#include "launcher_fixture.h"

namespace {

int sign(int value) {
    return (value > 0) - (value < 0);
}

} // namespace

TEST(CompareVersions, OrdersByNumbersThenTheFirstCharacterAfterThem) {
    EXPECT_GT(compareVersions("12.2.1.4.0", "12.2.1.3.0"), 0);
    EXPECT_GT(compareVersions("1.10", "1.9"), 0);
    EXPECT_LT(compareVersions("1.2", "1.2.1"), 0);
    EXPECT_LT(compareVersions("2a", "2B"), 0);
    EXPECT_EQ(compareVersions("1.8.0_131", "1.8.0_141"), 0);
    EXPECT_EQ(compareVersions("1,2", "1.2"), 0);
    EXPECT_EQ(compareVersions("01.2", "1.2"), 0);
    EXPECT_LT(compareVersions("beta", "1"), 0); // no digits reads as 0
    EXPECT_GT(compareVersions("1a", "1"), 0);   // the end of a token is the smallest
}

TEST(CompareVersions, MissingNamesAreSmaller) {
    EXPECT_EQ(compareVersions(nullptr, nullptr), 0);
    EXPECT_LT(compareVersions(nullptr, "1"), 0);
    EXPECT_GT(compareVersions("1", nullptr), 0);
}

TEST(CompareVersions, LongNumbersCompareWithoutOverflow) {
    // More digits than any integer holds; a subtraction of ints would get these wrong.
    EXPECT_GT(compareVersions("99999999999999999999999", "1"), 0);
    EXPECT_LT(compareVersions("1.4294967296", "1.4294967297"), 0);
    EXPECT_GT(compareVersions("1.2147483648", "1.2147483647"), 0);
    EXPECT_EQ(sign(compareVersions("3000000000", "2000000000")), 1);
    EXPECT_EQ(compareVersions("000123456789012345678901", "123456789012345678901"), 0);
}

class PickVersionTest : public LauncherTest {};

TEST_F(PickVersionTest, NewestDirectoryWinsFilesAndDotNamesIgnored) {
    std::filesystem::path component = scratchDirectory();
    std::filesystem::create_directory(component / "12.2.1.3.0");
    std::filesystem::create_directory(component / "12.2.1.4.0");
    std::filesystem::create_directory(component / ".hidden");
    std::filesystem::create_directory(component / ".99");
    writeFile(component / "13.0", "not a directory");
    EXPECT_EQ(pickVersionDirectory(component.string().c_str()), "12.2.1.4.0");
}

TEST_F(PickVersionTest, NothingWhenThereIsNoVersionDirectory) {
    std::filesystem::path component = scratchDirectory();
    writeFile(component / "1.0", "file");
    EXPECT_EQ(pickVersionDirectory(component.string().c_str()), "");
    EXPECT_EQ(pickVersionDirectory((component / "missing").string().c_str()), "");
}

TEST_F(PickVersionTest, EqualVersionsKeepTheFirstEnumerated) {
    std::filesystem::path component = scratchDirectory();
    std::filesystem::create_directory(component / "1.8.0_131");
    std::filesystem::create_directory(component / "1.8.0_141");
    EXPECT_EQ(pickVersionDirectory(component.string().c_str()), "1.8.0_131");
}
