// Helpers for the decoder tests: a bit writer for hand-made streams, a canonical code
// assigner for the encoders built on it, an engine state that feeds the decoders from
// memory and collects their output and messages, and archives made by Python's
// zipfile at test time.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/inflate.h"
#include "engine/state.h"

namespace decoders_test {

// Writes bits least significant first, as deflate, shrink and implode read them.
struct BitWriter {
    std::vector<uint8_t> bytes;
    unsigned used = 8;  // bits used in the last byte

    void put(uint32_t value, unsigned count) {
        for (unsigned i = 0; i < count; ++i) {
            if (used == 8) {
                bytes.push_back(0);
                used = 0;
            }
            bytes.back() |= uint8_t(((value >> i) & 1) << used);
            ++used;
        }
    }
    // A prefix code is sent most significant bit first.
    void putCode(uint32_t code, unsigned length) {
        for (unsigned i = length; i-- > 0;) put((code >> i) & 1, 1);
    }
    void alignToByte() { used = 8; }
    void putByte(uint8_t b) {
        alignToByte();
        bytes.push_back(b);
    }
};

// Canonical codes for a set of code lengths (0: unused).
inline std::vector<uint32_t> canonicalCodes(const std::vector<uint8_t>& lengths) {
    unsigned count[17] = {};
    for (uint8_t l : lengths) ++count[l];
    count[0] = 0;
    uint32_t next[17] = {};
    for (unsigned len = 1, code = 0; len <= 16; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    std::vector<uint32_t> codes(lengths.size());
    for (size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i]) codes[i] = next[lengths[i]]++;
    return codes;
}

inline std::string capturedText;
inline int captureText(const char* text, uint32_t length) {
    capturedText.append(text, length);
    return int(length);
}
inline int answerReplace(char*, int) { return REPLACE_NO; }

// A peer archive from the shared test data.
inline std::string peer(const char* name) {
    const char* root = std::getenv("QUENLOW_TESTDATA");
    return std::string(root ? root : "../shared/testdata") + "/peers/" + name;
}

// One engine call testing a whole archive with every message dropped; `askPassword`
// answers for encrypted entries (none: they are skipped).
inline int testArchiveQuietly(const std::string& path, UnzipAskPassword askPassword = nullptr) {
    UnzipOptions options{};
    options.recordVersion = UNZIP_RECORD_VERSION;
    options.testOnly = 1;
    options.quietLevel = 2;
    options.archivePath = path.c_str();
    UnzipCallbacks callbacks{};
    callbacks.printText = [](const char*, uint32_t length) { return int(length); };
    callbacks.askReplace = answerReplace;
    callbacks.askPassword = askPassword;
    return Qz_SingleEntryUnzip(0, nullptr, 0, nullptr, &options, &callbacks);
}

// An engine state whose byte reader serves a buffer and whose inflate output goes to
// memory through the main window (so that the window's carrying over can be seen).
struct DecoderState {
    EngineState* state;
    UnzipCallbacks callbacks{};
    std::vector<uint8_t> input;
    std::vector<uint8_t> output;

    DecoderState() {
        state = static_cast<EngineState*>(std::calloc(1, sizeof(EngineState)));
        callbacks.printText = captureText;
        callbacks.askReplace = answerReplace;
        state->callbacks = &callbacks;
        state->outputLeft = UINT64_MAX;  // no declared size to stop at
        capturedText.clear();
    }
    ~DecoderState() { std::free(state); }
    DecoderState(const DecoderState&) = delete;
    DecoderState& operator=(const DecoderState&) = delete;

    void feed(const std::vector<uint8_t>& bytes) {
        input = bytes;
        state->inputPos = input.data();
        state->inputCount = int(input.size());
        state->compressedLeft = int64_t(input.size());
        state->memoryInput = true;
    }
    int inflate(const std::vector<uint8_t>& stream, bool enhanced = false,
                size_t room = 1u << 22) {
        feed(stream);
        output.assign(room, 0);
        state->memoryMode = 1;
        state->memoryWindow = state->window();
        state->memoryTarget = output.data();
        state->memoryRoom = room;
        state->memoryProduced = 0;
        const int r = inflateData(state, enhanced);
        output.resize(state->memoryProduced);
        return r;
    }
};

// Runs a Python script (the test data producer) and answers whether it succeeded.
inline bool runPython(const std::string& script, const std::string& directory) {
    const std::string path = directory + "/make.py";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fwrite(script.data(), 1, script.size(), f);
    std::fclose(f);
    return std::system(("cd '" + directory + "' && python3 make.py").c_str()) == 0;
}

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(f);
    return bytes;
}

inline std::string makeTempDirectory() {
    namespace fs = std::filesystem;
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = fs::temp_directory_path() / ("quenlow-decoders-" + std::to_string(random()));
        std::error_code error;
        if (fs::create_directory(candidate, error)) return candidate.string();
    }
    return fs::temp_directory_path().string();
}

inline void removeTree(const std::string& directory) {
    std::error_code error;
    if (directory.find("quenlow-decoders-") != std::string::npos) std::filesystem::remove_all(directory, error);
}

// One entry of an archive as stored: method, flags, sizes, CRC and compressed bytes,
// found through the central directory (sizes there are right even with descriptors).
struct StoredEntry {
    std::string name;
    unsigned method = 0;
    unsigned flags = 0;
    uint32_t crc = 0;
    uint32_t dosDateTime = 0;
    uint64_t uncompressedSize = 0;
    std::vector<uint8_t> data;
};

inline uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }

inline std::vector<StoredEntry> readEntries(const std::vector<uint8_t>& zip) {
    std::vector<StoredEntry> entries;
    size_t end = zip.size() >= 22 ? zip.size() - 22 : 0;
    while (end > 0 && le32(&zip[end]) != 0x06054b50) --end;
    if (zip.size() < 22 || le32(&zip[end]) != 0x06054b50) return entries;
    size_t p = le32(&zip[end + 16]);
    const unsigned count = le16(&zip[end + 10]);
    for (unsigned i = 0; i < count && p + 46 <= zip.size(); ++i) {
        StoredEntry e;
        e.flags = le16(&zip[p + 8]);
        e.method = le16(&zip[p + 10]);
        e.dosDateTime = le32(&zip[p + 12]);
        e.crc = le32(&zip[p + 16]);
        const uint32_t csize = le32(&zip[p + 20]);
        e.uncompressedSize = le32(&zip[p + 24]);
        const unsigned nameLength = le16(&zip[p + 28]);
        const unsigned extraLength = le16(&zip[p + 30]);
        const unsigned commentLength = le16(&zip[p + 32]);
        const size_t local = le32(&zip[p + 42]);
        e.name.assign(reinterpret_cast<const char*>(&zip[p + 46]), nameLength);
        const size_t data = local + 30 + le16(&zip[local + 26]) + le16(&zip[local + 28]);
        if (data + csize <= zip.size()) e.data.assign(zip.begin() + long(data), zip.begin() + long(data + csize));
        entries.push_back(std::move(e));
        p += 46 + nameLength + extraLength + commentLength;
    }
    return entries;
}

}  // namespace decoders_test
