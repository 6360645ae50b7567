// Traditional decryption: archives encrypted by other tools (libarchive's test data,
// 7-Zip's ZipCrypto, stored and deflated) open with the right password and decode to
// their CRC; wrong passwords are asked again and then refused; without a password
// callback nothing is asked.
#include <gtest/gtest.h>

#include "decoders_support.h"
#include "engine/crc32.h"
#include "engine/decrypt.h"
#include "engine/inflate.h"
#include "engine/state.h"

using namespace decoders_test;

namespace {

std::vector<std::string> prompts;
std::vector<std::string> answers;
int askPassword(char* buffer, int size, const char* prompt, const char*) {
    prompts.emplace_back(prompt);
    if (answers.empty()) return -1;  // gives up
    std::snprintf(buffer, size_t(size), "%s", answers.front().c_str());
    answers.erase(answers.begin());
    return 0;
}

struct EncryptedEntry : DecoderState {
    const StoredEntry& entry;
    explicit EncryptedEntry(const StoredEntry& e) : entry(e) {
        prompts.clear();
        state->local.crc = e.crc;
        state->local.flags = uint16_t(e.flags);
        state->local.dosDateTime = e.dosDateTime;
        state->local.method = uint16_t(e.method);
        feed(e.data);
    }
    // Decodes what follows the header, as the extraction would, and checks the CRC.
    bool decodesToItsCrc() {
        std::vector<uint8_t> rest(state->inputPos, state->inputPos + state->inputCount);
        if (entry.method == 0) return crc32Update(0, rest.data(), rest.size()) == entry.crc;
        if (inflate(rest, entry.method == 9, entry.uncompressedSize + 1) != 0) return false;
        return crc32Update(0, output.data(), output.size()) == entry.crc;
    }
};

}  // namespace

TEST(DecodersDecrypt, PeerArchiveOpensWithItsPasswordAndKeepsIt) {
    const auto entries = readEntries(readFile(peer("la_zip_traditional_encryption_data.zip")));
    ASSERT_EQ(entries.size(), 2u);
    EncryptedEntry first(entries[0]);
    first.callbacks.askPassword = askPassword;
    answers = {"12345678"};
    ASSERT_EQ(prepareDecryption(first.state), 0);
    EXPECT_EQ(prompts, std::vector<std::string>{"Enter password for: "});
    EXPECT_EQ(first.state->compressedLeft, int64_t(entries[0].data.size()) - 12);
    EXPECT_TRUE(first.decodesToItsCrc());

    // The next entry tries the password that worked before asking.
    EncryptedEntry second(entries[1]);
    second.callbacks.askPassword = askPassword;
    std::memcpy(second.state->password, first.state->password, sizeof first.state->password);
    second.state->havePassword = 1;
    ASSERT_EQ(prepareDecryption(second.state), 0);
    EXPECT_TRUE(prompts.empty());
    EXPECT_TRUE(second.decodesToItsCrc());
}

TEST(DecodersDecrypt, WrongPasswordsNoCallbackAndAGivingUpCallback) {
    const auto entries = readEntries(readFile(peer("la_zip_traditional_encryption_data.zip")));
    ASSERT_EQ(entries.size(), 2u);
    {
        EncryptedEntry e(entries[0]);
        e.callbacks.askPassword = askPassword;
        answers = {"wrong", "1234567", "123456789"};
        EXPECT_EQ(prepareDecryption(e.state), DECRYPT_WRONG_PASSWORD);
        EXPECT_EQ(prompts, (std::vector<std::string>{"Enter password for: ", "Password incorrect--reenter: ",
                                                     "Password incorrect--reenter: "}));
    }
    {   // right at the third try
        EncryptedEntry e(entries[0]);
        e.callbacks.askPassword = askPassword;
        answers = {"a", "b", "12345678"};
        EXPECT_EQ(prepareDecryption(e.state), 0);
        EXPECT_TRUE(e.decodesToItsCrc());
    }
    {
        EncryptedEntry e(entries[0]);  // no callback: never asked
        EXPECT_EQ(prepareDecryption(e.state), RC_UNSUPPORTED);
        EXPECT_TRUE(prompts.empty());
    }
    {
        EncryptedEntry e(entries[0]);
        e.callbacks.askPassword = askPassword;
        answers.clear();
        EXPECT_EQ(prepareDecryption(e.state), RC_NOMEM2);
    }
    {
        StoredEntry cut = entries[0];
        cut.data.resize(7);
        EncryptedEntry e(cut);
        e.callbacks.askPassword = askPassword;
        EXPECT_EQ(prepareDecryption(e.state), RC_EOF);
    }
}

TEST(DecodersDecrypt, SevenZipZipCryptoStoredAndDeflated) {
    const std::string directory = makeTempDirectory();
    ASSERT_TRUE(runPython("open('a.txt','w').write('secret text ' * 5000)\nopen('b.bin','wb').write(bytes(range(256)) * 40)\n",
                          directory));
    for (const char* level : {"-mx=0", "-mx=5"}) {
        SCOPED_TRACE(level);
        const std::string zip = directory + "/z" + std::string(level + 4) + ".zip";
        ASSERT_EQ(std::system(("cd '" + directory + "' && 7zz a -tzip " + level + " -pS3cret -mem=ZipCrypto '" + zip +
                               "' a.txt b.bin > /dev/null").c_str()),
                  0);
        const auto entries = readEntries(readFile(zip));
        ASSERT_EQ(entries.size(), 2u);
        for (const StoredEntry& entry : entries) {
            EXPECT_EQ(entry.flags & 1, 1u);
            EncryptedEntry e(entry);
            e.callbacks.askPassword = askPassword;
            answers = {"S3cret"};
            ASSERT_EQ(prepareDecryption(e.state), 0);
            EXPECT_TRUE(e.decodesToItsCrc()) << entry.name;
        }
    }
    removeTree(directory);
}

// ----- through the engine: the driver's step, the reader deciphering later blocks ------------

namespace {

int testWithPassword(const std::string& archive, std::vector<std::string> given) {
    answers = std::move(given);
    prompts.clear();
    return testArchiveQuietly(archive, askPassword);
}

}  // namespace

TEST(DecodersDecrypt, WholeArchivesTestCleanWithTheRightPasswordOnly) {
    const std::string peerArchive = peer("la_zip_traditional_encryption_data.zip");
    EXPECT_EQ(testWithPassword(peerArchive, {"12345678"}), RC_OK);
    EXPECT_EQ(prompts.size(), 1u);  // asked once, kept for the second entry
    EXPECT_EQ(testWithPassword(peerArchive, {"x", "y", "z", "x", "y", "z"}), RC_BADPASSWORD);

    // Entries far larger than one read block: every block is deciphered on arrival.
    const std::string directory = makeTempDirectory();
    ASSERT_TRUE(runPython("import random\nrandom.seed(2)\n"
                          "open('big.bin','wb').write(bytes(random.getrandbits(8) for _ in range(300000)))\n"
                          "open('big.txt','w').write(' '.join(str(i) for i in range(100000)))\n",
                          directory));
    for (const char* level : {"-mx=0", "-mx=5"}) {
        const std::string zip = directory + "/big" + std::string(level + 4) + ".zip";
        ASSERT_EQ(std::system(("cd '" + directory + "' && 7zz a -tzip " + level + " -pS3cret -mem=ZipCrypto '" + zip +
                               "' big.bin big.txt > /dev/null").c_str()),
                  0);
        EXPECT_EQ(testWithPassword(zip, {"S3cret"}), RC_OK) << level;
    }
    removeTree(directory);
}
