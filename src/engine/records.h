// In-memory forms of the ZIP records the engine reads, the compression-method table,
// and the interpretation of the extra-field blocks the engine understands (Zip64 sizes,
// Unicode path, time stamps).
//
// Every integer in the archive is little-endian and may sit at any byte offset, so the
// fields are assembled byte by byte (getLe16/32/64) and never read through a cast.
#pragma once

#include <cstdint>
#include <cstring>

struct EngineState;

// Record signatures. The image keeps only the two record bytes of each; the leading
// "PK" is written in front of them when an archive is processed, so that the program's
// own file never holds a complete signature that a search could mistake for a record.
struct Signatures {
    uint8_t centralHeader[4];
    uint8_t localHeader[4];
    uint8_t endRecord[4];
    uint8_t zip64EndRecord[4];
    uint8_t zip64Locator[4];
};
void completeSignatures(Signatures* signatures);

inline bool sameSignature(const uint8_t* bytes, const uint8_t* signature) {
    return std::memcmp(bytes, signature, 4) == 0;
}

// Sizes of the fixed parts that follow each signature.
constexpr unsigned END_RECORD_SIZE = 22;        // whole record, signature included
constexpr unsigned CENTRAL_HEADER_TAIL = 42;    // after the signature
constexpr unsigned LOCAL_HEADER_TAIL = 26;      // after the signature
constexpr unsigned ZIP64_LOCATOR_SIZE = 20;
constexpr unsigned ZIP64_END_RECORD_READ = 56;  // the part of the Zip64 end record we use

// All-ones markers that ask for a value from the Zip64 records or extra block.
constexpr uint32_t ZIP64_MARK16 = 0xFFFF;
constexpr uint32_t ZIP64_MARK32 = 0xFFFFFFFFu;

struct EndRecord {
    uint32_t thisDisk;
    uint32_t centralDirDisk;
    uint64_t entriesOnDisk;
    uint64_t totalEntries;
    uint64_t centralDirSize;
    uint64_t centralDirOffset;
    uint16_t archiveCommentLength;
    bool hasZip64End;  // a Zip64 end record passed every check
    bool isZip64;      // some Zip64 value replaced a marker with a real value
};

struct CentralHeader {
    uint8_t hostVersion;
    uint8_t hostSystem;
    uint8_t neededVersion;
    uint8_t neededHost;
    uint16_t flags;
    uint16_t method;
    uint32_t dosDateTime;
    uint32_t crc;
    uint64_t compressedSize;
    uint64_t uncompressedSize;
    uint16_t nameLength;
    uint16_t extraLength;
    uint16_t entryCommentLength;
    uint32_t diskStart;
    uint16_t internalAttributes;
    uint32_t externalAttributes;
    uint64_t localOffset;
};

struct LocalHeader {
    uint8_t neededVersion;
    uint8_t neededHost;
    uint16_t flags;
    uint16_t method;
    uint32_t dosDateTime;
    uint32_t crc;
    uint64_t compressedSize;
    uint64_t uncompressedSize;
    uint16_t nameLength;
    uint16_t extraLength;
};

// Seconds since 1970-01-01 00:00 UTC; `mask` says which are present (TIME_*).
struct EntryTimes {
    int64_t modification;
    int64_t access;
    int64_t creation;
    unsigned mask;
};
constexpr unsigned TIME_MODIFICATION = 1;
constexpr unsigned TIME_ACCESS = 2;
constexpr unsigned TIME_CREATION = 4;

// General-purpose flag bits the engine tests.
constexpr uint16_t FLAG_ENCRYPTED = 0x0001;
constexpr uint16_t FLAG_DEFLATE_OPTION = 0x0006;  // two bits: listing letter N, X, F, S
constexpr uint16_t FLAG_DATA_DESCRIPTOR = 0x0008;
constexpr uint16_t FLAG_UTF8 = 0x0800;

// Systems of origin that matter to the engine; codes of 31 and up are folded to 31.
enum HostSystem : uint8_t {
    HOST_FAT = 0,
    HOST_VMS = 2,
    HOST_UNIX = 3,
    HOST_ATARI = 5,
    HOST_HPFS = 6,
    HOST_NTFS = 11,
    HOST_LAST = 31
};

// Extra-field block identifiers the engine interprets.
constexpr uint16_t EXTRA_ZIP64 = 0x0001;
constexpr uint16_t EXTRA_PKWARE_UNIX = 0x000D;
constexpr uint16_t EXTRA_SECURITY = 0x4453;
constexpr uint16_t EXTRA_EXTENDED_TIME = 0x5455;
constexpr uint16_t EXTRA_UNIX_OLD = 0x5855;
constexpr uint16_t EXTRA_UNICODE_PATH = 0x7075;
constexpr uint16_t EXTRA_UNIX_IDS_OLD = 0x7855;
constexpr uint16_t EXTRA_UNIX_IDS = 0x7875;

// The MS-DOS stamp of 2038-01-18 00:00: from it on, 32-bit times with the top bit set
// are read as unsigned (times after 2038-01-19 03:14:07 UTC).
constexpr uint32_t DOS_DATE_2038 = 0x74320000u;

// One row of the compression-method table.
struct MethodInfo {
    uint16_t number;
    const char* skipName;     // in "method not supported" messages
    const char* listingName;  // in listings
    bool extracted;           // the engine decodes it
};
// The row of a known method, or nullptr for a method the table does not hold.
const MethodInfo* findMethod(unsigned method);

// One block of an extra field (or of a block's own list of tagged attributes, which
// has the same shape): 16-bit id, 16-bit size, data.
struct ExtraBlock {
    uint16_t id;
    const uint8_t* data;
    unsigned size;
};

// Steps `cursor` over the next block before `end`; false when no complete block remains.
bool nextExtraBlock(const uint8_t*& cursor, const uint8_t* end, ExtraBlock* block);

inline uint16_t getLe16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t getLe32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t getLe64(const uint8_t* p) { return getLe32(p) | (uint64_t(getLe32(p + 4)) << 32); }

// Fills the current CentralHeader, LocalHeader and compressedLeft from Zip64 blocks.
void applyZip64Extra(EngineState* state, const uint8_t* extra, unsigned length);
// Sets state->utf8Name from a Unicode path block (or clears it), with its two warnings.
void applyUnicodePath(EngineState* state, const uint8_t* extra, unsigned length);
// Reads the time blocks into `times`; returns the presence mask (TIME_*).
unsigned scanTimeFields(const uint8_t* extra, unsigned length, bool centralField,
                        uint32_t dosDateTime, EntryTimes* times);
