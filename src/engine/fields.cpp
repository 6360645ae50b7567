// Header fields: the fixed parts of the central and local headers, and the variable
// parts (names, extra fields, comments) with the rules that turn a stored name into the
// name the engine works with: truncation to 259 characters, the OEM code page of
// MS-DOS and OS/2 archives, and UTF-8 names (flagged, or from a Unicode path block).
#include "engine/fields.h"

#include <cstdlib>
#include <cstring>

#include "engine/messages.h"
#include "engine/reader.h"
#include "engine/records.h"
#include "engine/state.h"
#include "platform/codepage.h"

int readCentralHeader(EngineState* state) {
    uint8_t b[CENTRAL_HEADER_TAIL];
    if (readBytes(state, b, sizeof b) != sizeof b) return RC_EOF;
    CentralHeader& h = state->central;
    h.hostVersion = b[0];
    h.hostSystem = b[1];
    h.neededVersion = b[2];
    h.neededHost = b[3];
    h.flags = getLe16(b + 4);
    h.method = getLe16(b + 6);
    h.dosDateTime = getLe32(b + 8);
    h.crc = getLe32(b + 12);
    h.compressedSize = getLe32(b + 16);
    h.uncompressedSize = getLe32(b + 20);
    h.nameLength = getLe16(b + 24);
    h.extraLength = getLe16(b + 26);
    h.entryCommentLength = getLe16(b + 28);
    h.diskStart = getLe16(b + 30);
    h.internalAttributes = getLe16(b + 32);
    h.externalAttributes = getLe32(b + 34);
    h.localOffset = getLe32(b + 38);

    EntryInfo* entry = state->currentEntry;
    entry->hostVersion = h.hostVersion;
    entry->hostSystem = h.hostSystem >= HOST_LAST ? uint8_t(HOST_LAST) : h.hostSystem;
    entry->lowerCase = false;
    const uint8_t system = entry->hostSystem;
    entry->volumeLabel = (h.externalAttributes & 0x08) != 0 &&
                         (system == HOST_FAT || system == HOST_ATARI || system == HOST_HPFS ||
                          system == HOST_NTFS);
    entry->hasUnixAttributes = h.externalAttributes > 0xFFFF;
    entry->nameIsUtf8 = (h.flags & FLAG_UTF8) != 0;
    return RC_OK;
}

int readLocalHeader(EngineState* state) {
    uint8_t b[LOCAL_HEADER_TAIL];
    if (readBytes(state, b, sizeof b) != sizeof b) return RC_EOF;
    LocalHeader& h = state->local;
    h.neededVersion = b[0];
    h.neededHost = b[1];
    h.flags = getLe16(b + 2);
    h.method = getLe16(b + 4);
    h.dosDateTime = getLe32(b + 6);
    h.crc = getLe32(b + 10);
    h.compressedSize = getLe32(b + 14);
    h.uncompressedSize = getLe32(b + 18);
    h.nameLength = getLe16(b + 22);
    h.extraLength = getLe16(b + 24);
    if (h.flags & FLAG_DATA_DESCRIPTOR) {
        const EntryInfo* entry = state->currentEntry;
        h.crc = entry->crc;
        h.compressedSize = entry->compressedSize;
        h.uncompressedSize = entry->uncompressedSize;
    }
    state->compressedLeft = int64_t(h.compressedSize);
    return RC_OK;
}

// Names from MS-DOS and OS/2 (and NTFS names written by one old version) are stored in
// the OEM code page; names from everywhere else are taken as they are.
static bool nameNeedsOemConversion(const EntryInfo* entry, bool localHeader) {
    switch (entry->hostSystem) {
    case HOST_FAT: {
        bool versionException = entry->hostVersion == 25 || entry->hostVersion == 26 ||
                                entry->hostVersion == 40;
        return !((localHeader || entry->hasUnixAttributes) && versionException);
    }
    case HOST_HPFS:
        return true;
    case HOST_NTFS:
        return entry->hostVersion == 50;
    default:
        return false;
    }
}

static bool commentNeedsOemConversion(const EntryInfo* entry) {
    if (entry->hostSystem == HOST_FAT) {
        bool versionException = entry->hostVersion == 25 || entry->hostVersion == 26 ||
                                entry->hostVersion == 40;
        return !(entry->hasUnixAttributes && versionException);
    }
    return nameNeedsOemConversion(entry, false);
}

static int skipField(EngineState* state, unsigned length) {
    seekArchive(state, currentArchiveOffset(state) + length);
    return RC_OK;
}

// Shows a comment through printText in chunks, without carriage returns.
static int showText(EngineState* state, unsigned length, bool convert) {
    char* chunk = reinterpret_cast<char*>(state->outputBuffer);
    while (length > 0) {
        unsigned want = length < unsigned(TEXT_CHUNK) ? length : unsigned(TEXT_CHUNK);
        unsigned got = readBytes(state, chunk, want);
        if (got == 0) return RC_EOF;
        length -= want;
        chunk[got] = '\0';
        char* out = chunk;
        for (unsigned i = 0; i < got; ++i)
            if (chunk[i] != '\r') *out++ = chunk[i];
        *out = '\0';
        if (convert && commentNeedsOemConversion(state->currentEntry))
            oemToAnsi(chunk, OUTPUT_BUFFER_SIZE);
        sendText(state, chunk, std::strlen(chunk));
        sendText(state, "\n\n", 2);
        if (got < want) return RC_EOF;
    }
    sendText(state, "", 0);
    return RC_OK;
}

static int readName(EngineState* state, unsigned length, bool localHeader) {
    if (state->fullNameCapacity <= length) {
        unsigned capacity = length + 1 < unsigned(ENTRY_NAME_SIZE) ? unsigned(ENTRY_NAME_SIZE)
                                                                    : length + 1;
        auto* grown = static_cast<char*>(std::malloc(capacity));
        if (grown == nullptr) return RC_NOMEM;
        std::free(state->fullName);
        state->fullName = grown;
        state->fullNameCapacity = capacity;
    }
    if (readBytes(state, state->fullName, length) != length) {
        state->fullName[0] = '\0';
        return RC_EOF;
    }
    state->fullName[length] = '\0';

    int result = RC_OK;
    unsigned used = length;
    if (length > unsigned(ENTRY_NAME_MAX)) {
        sendMessage(state, "warning:  filename too long--truncating.\n");
        result = RC_WARNING;
        used = ENTRY_NAME_MAX;
    }
    std::memcpy(state->entryName, state->fullName, used);
    state->entryName[used] = '\0';

    const EntryInfo* entry = state->currentEntry;
    if (nameNeedsOemConversion(entry, localHeader))
        oemToAnsi(state->entryName, sizeof state->entryName);

    // Volume labels are kept in 8.3 form with the dot; the label itself has none.
    if (entry->volumeLabel && std::strlen(state->entryName) > 8 && state->entryName[8] == '.')
        std::memmove(state->entryName + 8, state->entryName + 9,
                     std::strlen(state->entryName + 9) + 1);
    return result;
}

// Replaces the entry name by its UTF-8 form (flagged name or Unicode path block) in the
// local code page.
static int useUtf8Name(EngineState* state, const uint8_t* field, unsigned length) {
    if (state->unicodeMode >= 2) return RC_OK;
    const char* source;
    if (state->currentEntry->nameIsUtf8) {
        source = state->fullName;
    } else {
        applyUnicodePath(state, field, length);
        if (state->utf8Name == nullptr) return RC_OK;
        source = state->utf8Name[0] != '\0' ? state->utf8Name : state->fullName;
    }
    if (source == nullptr) return RC_OK;

    int result = RC_OK;
    char* local = utf8ToLocal(source);
    if (local != nullptr) {
        std::size_t n = std::strlen(local);
        if (n > std::size_t(ENTRY_NAME_MAX)) {
            n = ENTRY_NAME_MAX;
            sendMessage(state, "warning:  Converted unicode filename too long--truncating.\n");
            result = RC_WARNING;
        }
        std::memcpy(state->entryName, local, n);
        state->entryName[n] = '\0';
        std::free(local);
    }
    std::free(state->utf8Name);
    state->utf8Name = nullptr;
    return result;
}

static int readExtraField(EngineState* state, unsigned length) {
    std::free(state->extraField);
    state->extraField = nullptr;
    state->extraFieldLength = 0;
    auto* field = static_cast<uint8_t*>(std::malloc(length));
    if (field == nullptr) {
        sendMessage(state, "warning:  extra field too long (%d).  Ignoring...\n", int(length));
        return skipField(state, length);
    }
    if (readBytes(state, field, length) != length) {
        std::free(field);
        return RC_EOF;
    }
    state->extraField = field;
    state->extraFieldLength = length;
    applyZip64Extra(state, field, length);
    return useUtf8Name(state, field, length);
}

int readField(EngineState* state, unsigned length, int mode) {
    // A name flagged UTF-8 needs its conversion even when the header has no extra
    // field, or it would stay in its stored bytes (read as OEM text, or as ANSI text
    // on Windows) and be extracted under a garbled name.
    if (length == 0) return mode == FIELD_EXTRA ? useUtf8Name(state, nullptr, 0) : RC_OK;
    switch (mode) {
    case FIELD_SKIP:
        return skipField(state, length);
    case FIELD_SHOW:
        return showText(state, length, false);
    case FIELD_SHOW_CONVERTED:
        return showText(state, length, true);
    case FIELD_CENTRAL_NAME:
        return readName(state, length, false);
    case FIELD_LOCAL_NAME:
        return readName(state, length, true);
    case FIELD_EXTRA:
        return readExtraField(state, length);
    default:
        return RC_OK;
    }
}

// --- UTF-8 to the local code page ------------------------------------------------

// Decodes UTF-8 into code points. Answers the count, or -1 when the bytes are not
// UTF-8 as the lead-byte table describes it (over-long forms are accepted).
static long decodeUtf8(const char* text, uint32_t* out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    long count = 0;
    while (*p != 0) {
        unsigned lead = *p++;
        int follow;
        uint32_t value;
        if (lead < 0x80) { follow = 0; value = lead; }
        else if (lead < 0xC0) return -1;
        else if (lead < 0xE0) { follow = 1; value = lead & 0x1F; }
        else if (lead < 0xF0) { follow = 2; value = lead & 0x0F; }
        else if (lead < 0xF8) { follow = 3; value = lead & 0x07; }
        else if (lead < 0xFC) { follow = 4; value = lead & 0x03; }
        else if (lead < 0xFE) { follow = 5; value = lead & 0x01; }
        else return -1;
        for (int i = 0; i < follow; ++i) {
            unsigned next = *p;
            if (next < 0x80 || next > 0xBF) return -1;
            value = (value << 6) | (next & 0x3F);
            ++p;
        }
        if (out != nullptr) out[count] = value;
        ++count;
    }
    return count;
}

static bool isStrictUtf8(const char* text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        int follow;
        uint32_t value;
        if (*p < 0x80) { ++p; continue; }
        if (*p >= 0xC2 && *p < 0xE0) { follow = 1; value = *p & 0x1F; }
        else if (*p >= 0xE0 && *p < 0xF0) { follow = 2; value = *p & 0x0F; }
        else if (*p >= 0xF0 && *p < 0xF5) { follow = 3; value = *p & 0x07; }
        else return false;
        ++p;
        for (int i = 0; i < follow; ++i, ++p) {
            if (*p < 0x80 || *p > 0xBF) return false;
            value = (value << 6) | (*p & 0x3F);
        }
        static const uint32_t smallest[4] = {0, 0x80, 0x800, 0x10000};
        if (value < smallest[follow] || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000))
            return false;
    }
    return true;
}

char* utf8ToLocal(const char* utf8) {
    std::size_t textLength = std::strlen(utf8);
    // Where the local code page is UTF-8, valid UTF-8 is already the local form.
    if (ansiIsUtf8() && isStrictUtf8(utf8)) {
        auto* copy = static_cast<char*>(std::malloc(textLength + 1));
        if (copy != nullptr) std::memcpy(copy, utf8, textLength + 1);
        return copy;
    }
    long count = decodeUtf8(utf8, nullptr);
    // Not UTF-8 after all: there is no converted name, and the caller keeps the one
    // stored in the header.
    if (count < 0) return nullptr;
    auto* points = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * std::size_t(count + 1)));
    if (points == nullptr) return nullptr;
    if (count > 0) decodeUtf8(utf8, points);

    const std::size_t perPoint = std::size_t(maxAnsiCharBytes() > 9 ? maxAnsiCharBytes() : 9);
    auto* result = static_cast<char*>(std::malloc(perPoint * std::size_t(count) + 1));
    if (result == nullptr) {
        std::free(points);
        return nullptr;
    }
    char* out = result;
    for (long i = 0; i < count; ++i) {
        uint32_t point = points[i];
        if (point > 0xFFFF) {
            *out++ = '_';
            continue;
        }
        int written = codePointToAnsi(point, out);
        if (written > 0) {
            out += written;
        } else {
            static const char hex[] = "0123456789abcdef";
            *out++ = '#';
            *out++ = 'U';
            for (int shift = 12; shift >= 0; shift -= 4) *out++ = hex[(point >> shift) & 0xF];
        }
    }
    *out = '\0';
    std::free(points);
    char* shrunk = static_cast<char*>(std::realloc(result, std::size_t(out - result) + 1));
    return shrunk != nullptr ? shrunk : result;
}
