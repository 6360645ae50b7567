// The block reader: a seek inside the loaded block reads nothing, the byte reader stops
// at the end of the entry's compressed bytes although the block holds more, loads an
// entry's data several blocks at a time, and a skipped field leaves the reader right
// after it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "core_support.h"
#include "engine/decrypt.h"
#include "engine/engine.h"
#include "engine/fields.h"
#include "engine/extract_entry.h"
#include "engine/reader.h"
#include "engine/state.h"

using namespace core_test;

namespace {

struct OpenedFile {
    EngineState* state;
    UnzipCallbacks callbacks = defaultCallbacks();
    EngineRun run;
    explicit OpenedFile(const std::string& path) {
        detail::current = &run;
        state = createEngineState();
        bindCallbacks(state, &callbacks);
        state->inputBuffer = static_cast<uint8_t*>(std::malloc(INPUT_BUFFER_SIZE));
        state->archiveFile = std::fopen(path.c_str(), "rb");
        forgetInputBlock(state);
    }
    ~OpenedFile() {
        detail::current = nullptr;
        releaseEngineState(state);
        std::free(state);
    }
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;
    std::string read(unsigned count) {
        std::string bytes(count, '\0');
        bytes.resize(readBytes(state, bytes.data(), count));
        return bytes;
    }
};

Bytes numbered(std::size_t length) {
    Bytes bytes;
    for (std::size_t i = 0; i < length; ++i) bytes += char('a' + i % 26);
    return bytes;
}

}  // namespace

TEST(CoreReader, SeekInsideTheLoadedBlockReadsNothing) {
    TempDir dir;
    const std::string path = dir.write("blocks.bin", numbered(20000));
    OpenedFile file(path);
    ASSERT_EQ(seekArchive(file.state, 100), RC_OK);
    EXPECT_EQ(file.read(3), "wxy");
    // Change the file behind the reader: a seek within the block still sees the old bytes.
    dir.write("blocks.bin", Bytes(20000, '#'));
    ASSERT_EQ(seekArchive(file.state, 8000), RC_OK);
    EXPECT_EQ(file.read(2), "st");
    ASSERT_EQ(seekArchive(file.state, 50), RC_OK);
    EXPECT_EQ(currentArchiveOffset(file.state), 50);
    EXPECT_EQ(file.read(1), "y");
    // Another block is read afresh; a run across the block end continues into the next.
    ASSERT_EQ(seekArchive(file.state, 9000), RC_OK);
    EXPECT_EQ(file.read(2), "##");
    EXPECT_EQ(seekArchive(file.state, 30000), RC_EOF);
    EXPECT_EQ(seekArchive(file.state, 30001), RC_EOF);  // the empty block was not kept
    file.state->extraBytes = 10;
    EXPECT_EQ(seekArchive(file.state, -11), RC_FATAL);
}

TEST(CoreReader, BlockDecipheredInPlaceIsReadAgain) {
    TempDir dir;
    OpenedFile file(dir.write("cipher.bin", numbered(100)));
    ASSERT_EQ(seekArchive(file.state, 10), RC_OK);
    file.state->cipherKeys[2] = 0x12345678;  // keys that change every byte
    decipherBlock(file.state, file.state->inputPos, 20);
    ASSERT_EQ(seekArchive(file.state, 10), RC_OK);
    EXPECT_EQ(file.read(3), "klm");
}

TEST(CoreReader, ByteReaderEndsWithTheEntry) {
    TempDir dir;
    OpenedFile file(dir.write("entry.bin", numbered(100)));
    ASSERT_EQ(seekArchive(file.state, 10), RC_OK);
    file.state->compressedLeft = 5;
    limitInputToEntry(file.state);
    std::string got;
    for (int c; (c = readByte(file.state)) != END_OF_DATA;) got += char(c);
    EXPECT_EQ(got, "klmno");
    // The block still holds the bytes after the entry; they were only set aside.
    ASSERT_GT(file.state->leftoverCount, 0);
    EXPECT_EQ(*file.state->leftoverPos, 'p');
}

// An entry's data is loaded several blocks at a time, as far as the entry reaches: the
// bytes and the offsets stay those of the file, and a header after it reads on.
TEST(CoreReader, EntryDataLoadedBlocksAtATimeKeepsItsPlace) {
    TempDir dir;
    const Bytes contents = numbered(150000);
    OpenedFile file(dir.write("entry.bin", contents));
    ASSERT_EQ(seekArchive(file.state, 100), RC_OK);
    file.state->compressedLeft = 90000;
    limitInputToEntry(file.state);
    bool inOrder = true;
    for (std::size_t offset = 100; offset < 90100; ++offset) {
        inOrder = inOrder && readByte(file.state) == 'a' + int(offset % 26);
        if (offset % 9000 == 0) {
            EXPECT_EQ(currentArchiveOffset(file.state), int64_t(offset) + 1);
        }
    }
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(currentArchiveOffset(file.state), 90100);
    restoreInput(file.state);
    EXPECT_TRUE(file.read(20000) == contents.substr(90100, 20000));
}

TEST(CoreReader, SkippedFieldsLeaveTheReaderAfterThem) {
    TempDir dir;
    OpenedFile file(dir.write("fields.bin", numbered(9000)));
    ASSERT_EQ(seekArchive(file.state, 0), RC_OK);
    EXPECT_EQ(readField(file.state, 0, FIELD_SKIP), RC_OK);
    EXPECT_EQ(readField(file.state, 8190, FIELD_SKIP), RC_OK);
    EXPECT_EQ(currentArchiveOffset(file.state), 8190);
    EXPECT_EQ(file.read(4), "abcd");
}
