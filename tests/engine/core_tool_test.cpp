// quenlow-unzip as a user runs it: the JSON listing of an archive made by Python's
// zipfile, the overwrite question answered on standard input, the password of
// encrypted entries, and exit statuses.
#include <gtest/gtest.h>

#include <string>

#include "core_support.h"

#if defined(QUENLOW_UNZIP_PATH) && !defined(_WIN32)
#include <sys/wait.h>

using namespace core_test;

namespace {

struct ToolRun {
    int status;
    std::string output;
    std::string errors;
};

ToolRun tool(const TempDir& dir, const std::string& arguments, const std::string& input = "") {
    const std::string command = "cd '" + dir.path + "' && printf '" + input + "' | " QUENLOW_UNZIP_PATH " " + arguments + " >'" +
                                dir.file("out.txt") + "' 2>'" + dir.file("err.txt") + "'";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFileBytes(dir.file("out.txt")), readFileBytes(dir.file("err.txt"))};
}

bool makeArchive(const TempDir& dir) {
    return runCommand("cd '" + dir.path +
                      "' && python3 -c \"import zipfile\n"
                      "z=zipfile.ZipFile('a.zip','w')\n"
                      "i=zipfile.ZipInfo('docs/read me.txt',(2021,3,4,5,6,8)); i.compress_type=zipfile.ZIP_DEFLATED\n"
                      "z.writestr(i,'hello '*100)\n"
                      "z.writestr(zipfile.ZipInfo('\\u00e9t\\u00e9.txt',(2020,12,31,23,59,0)),'summer')\n"
                      "z.close()\"");
}

}  // namespace

TEST(CoreTool, JsonListingCarriesEveryValue) {
    TempDir dir;
    if (!makeArchive(dir)) GTEST_SKIP() << "python3 is needed to make the archive";
    ToolRun run = tool(dir, "list --json '" + dir.file("a.zip") + "'");
    EXPECT_EQ(run.status, 0) << run.errors;
    std::string hello;
    for (int i = 0; i < 100; ++i) hello += "hello ";
    auto hex = [](uint32_t value) {
        char text[9];
        std::snprintf(text, sizeof text, "%08x", value);
        return std::string(text);
    };
    EXPECT_EQ(run.output.rfind("{\"entries\":[{\"name\":\"docs/read me.txt\",\"size\":600,\"compressed\":", 0), 0u)
        << run.output;
    EXPECT_TRUE(contains(run.output, ",\"method\":\"Defl:N\",\"crc\":\"" + hex(crc32Of(hello)) +
                                         "\",\"encrypted\":false,\"date\":\"2021-03-04\",\"time\":\"05:06\"},"))
        << run.output;
    EXPECT_TRUE(contains(run.output, "{\"name\":\"\xC3\xA9t\xC3\xA9.txt\",\"size\":6,\"compressed\":6,\"ratio\":0,"
                                     "\"method\":\"Stored\",\"crc\":\"" + hex(crc32Of("summer")) +
                                         "\",\"encrypted\":false,\"date\":\"2020-12-31\",\"time\":\"23:59\"}],"
                                         "\"count\":2,\"result\":0}\n"))
        << run.output;

    run = tool(dir, "list '" + dir.file("a.zip") + "' 'docs/*'");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("docs/read me.txt"), std::string::npos);
    EXPECT_EQ(run.output.find("t\xC3\xA9.txt"), std::string::npos);
    EXPECT_NE(run.output.find("1 entry"), std::string::npos);
}

TEST(CoreTool, RatiosOfClaimedSizesAreCapped) {
    // Uncompressed 1, compressed 268,435,457: the per mille leaves 32 bits; entry and
    // total show the same capped percentage.
    TempDir dir;
    Bytes archive = buildArchive({TestEntry{"a", "x"}});
    const size_t central = archive.find("PK\x01\x02");
    archive.replace(central + 20, 4, Bytes("\x01\0\0\x10", 4));
    dir.write("r.zip", archive);
    ToolRun run = tool(dir, "list '" + dir.file("r.zip") + "'");
    EXPECT_TRUE(contains(run.output, "           1    268435457 214748365%  Stored")) << run.output;
    EXPECT_TRUE(contains(run.output, "           1    268435457 214748365%  1 entry")) << run.output;
}

// Modes as ls -l shows them where the archive stores them (set-id and sticky bits
// included), the making system elsewhere; with a pattern, each listed entry keeps its own.
TEST(CoreTool, VerboseListingShowsModes) {
    TempDir dir;
    if (!runCommand("cd '" + dir.path +
                    "' && python3 -c \"import zipfile\n"
                    "z=zipfile.ZipFile('m.zip','w')\n"
                    "for name,system,mode in (('bin/',3,0o40755),('bin/java',3,0o104755),('tmp/',3,0o41777),"
                    "('dos.txt',0,0),('bin/plain',3,0o100640)):\n"
                    " i=zipfile.ZipInfo(name); i.create_system=system; i.external_attr=mode<<16; z.writestr(i,'x')\n"
                    "z.close()\""))
        GTEST_SKIP() << "python3 is needed to make the archive";
    ToolRun run = tool(dir, "list -v m.zip");
    EXPECT_EQ(run.status, 0) << run.errors;
    for (const char* line : {"drwxr-xr-x  bin/\n", "-rwsr-xr-x  bin/java\n", "drwxrwxrwt  tmp/\n",
                             "FAT         dos.txt\n", "-rw-r-----  bin/plain\n"})
        EXPECT_TRUE(contains(run.output, line)) << line << run.output;
    run = tool(dir, "list --json --verbose m.zip 'bin/p*' dos.txt");
    EXPECT_TRUE(contains(run.output, "\"time\":\"00:00\",\"mode\":\"FAT\"}")) << run.output;
    EXPECT_TRUE(contains(run.output, "\"mode\":\"-rw-r-----\"}")) << run.output;
}

TEST(CoreTool, OverwriteQuestionAnswersFromStandardInput) {
    TempDir dir;
    if (!makeArchive(dir)) GTEST_SKIP() << "python3 is needed to make the archive";
    const std::string archive = "'" + dir.file("a.zip") + "'";
    const std::string target = dir.file("x");
    ToolRun run = tool(dir, "extract -q -d '" + target + "' " + archive);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(readFileBytes(target + "/\xC3\xA9t\xC3\xA9.txt"), "summer");

    auto spoil = [&] { dir.write("x/\xC3\xA9t\xC3\xA9.txt", "changed"); };
    spoil();
    run = tool(dir, "extract -d '" + target + "' " + archive + " '*.txt' --exclude 'docs/*'", "n\\n");
    EXPECT_NE(run.errors.find("replace "), std::string::npos) << run.errors;
    EXPECT_EQ(readFileBytes(target + "/\xC3\xA9t\xC3\xA9.txt"), "changed");

    run = tool(dir, "extract -d '" + target + "' " + archive + " --exclude 'docs/*'", "y\\n");
    EXPECT_EQ(readFileBytes(target + "/\xC3\xA9t\xC3\xA9.txt"), "summer");

    spoil();
    run = tool(dir, "extract -d '" + target + "' " + archive + " --exclude 'docs/*'", "r\\nrenamed.txt\\n");
    EXPECT_EQ(readFileBytes(target + "/\xC3\xA9t\xC3\xA9.txt"), "changed");
    EXPECT_EQ(readFileBytes(dir.file("renamed.txt")) + readFileBytes(target + "/renamed.txt"), "summer");

    // Without an answer nothing is replaced; "never" does not ask at all.
    run = tool(dir, "extract -d '" + target + "' " + archive);
    EXPECT_EQ(readFileBytes(target + "/\xC3\xA9t\xC3\xA9.txt"), "changed");
    run = tool(dir, "extract --overwrite never -d '" + target + "' " + archive);
    EXPECT_EQ(run.errors.find("replace "), std::string::npos);
    run = tool(dir, "extract --overwrite always -d '" + target + "' " + archive);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(readFileBytes(target + "/\xC3\xA9t\xC3\xA9.txt"), "summer");
}

TEST(CoreTool, ExitStatusIsTheEngineResult) {
    TempDir dir;
    EXPECT_EQ(tool(dir, "list '" + dir.file("missing.zip") + "'").status, RC_NOARCHIVE);
    ToolRun run = tool(dir, "list --overwrite always x.zip");
    EXPECT_EQ(run.status, RC_PARAM);
    EXPECT_NE(run.errors.find("quenlow-unzip --help"), std::string::npos);
    EXPECT_EQ(tool(dir, "frobnicate x.zip").status, RC_PARAM);
    run = tool(dir, "--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("Usage:"), std::string::npos);
    const std::string empty = dir.write("empty.zip", buildArchive({}));
    run = tool(dir, "test '" + empty + "'");
    EXPECT_EQ(run.status, RC_WARNING);
    EXPECT_EQ(run.errors, "warning [" + empty + "]:  zipfile is empty\n");
}

TEST(CoreTool, PasswordFromTheCommandLineOrNone) {
    TempDir dir;
    const char* data = std::getenv("QUENLOW_TESTDATA");
    // Absolute: the tool runs in the temporary directory.
    const std::string archive =
        "'" + std::filesystem::absolute(std::string(data != nullptr ? data : "../shared/testdata")).string() +
        "/peers/la_zip_traditional_encryption_data.zip'";
    // Sizes and CRC-32s of the two entries as the manifest records them.
    const struct {
        const char* name;
        std::size_t size;
        uint32_t crc;
    } expected[] = {{"bar.txt", 495, 0xa4d8fd47u}, {"foo.txt", 495, 0xb493c7ebu}};

    ToolRun run = tool(dir, "extract --password 12345678 -d right " + archive);
    EXPECT_EQ(run.status, RC_OK) << run.errors;
    for (const auto& entry : expected) {
        const std::string bytes = readFileBytes(dir.file("right/") + entry.name);
        EXPECT_EQ(bytes.size(), entry.size) << entry.name;
        EXPECT_EQ(crc32Of(bytes), entry.crc) << entry.name;
    }

    run = tool(dir, "extract --password nope -d wrong " + archive);
    EXPECT_EQ(run.status, RC_BADPASSWORD) << run.errors;
    EXPECT_TRUE(contains(run.errors, "incorrect password")) << run.errors;
    EXPECT_FALSE(std::filesystem::exists(dir.file("wrong/foo.txt")));

    // Standard input is a pipe here: nobody can be asked, so the entries are skipped.
    run = tool(dir, "test " + archive, "12345678\\n");
    EXPECT_EQ(run.status, RC_UNSUPPORTED) << run.errors;
    EXPECT_TRUE(contains(run.errors, "unable to get password")) << run.errors;
    EXPECT_EQ(tool(dir, "extract " + archive + " --password").status, RC_PARAM);
    EXPECT_EQ(tool(dir, "test --password " + std::string(256, 'x') + " " + archive).status, RC_PARAM);
}

#endif
