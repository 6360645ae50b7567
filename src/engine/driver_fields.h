// Fields of the engine state owned by the driver, output names, output files and listing.
//
// The state is calloc'ed per engine call, so everything here is plain data whose
// all-zero form is the valid starting state; heap pieces are pointers that
// releaseDriverState (driver.h) frees, also after a run that ended early.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "engine/known_folder.h"
#include "engine/used_ranges.h"
#include "platform/filestatus.h"

// Slots of the entry table: the central directory is walked in blocks of this many
// accepted entries, each block then extracted in directory order.
constexpr unsigned kEntryTableSize = 16384;

// One accepted entry of the current block, filled from its central header. Packed to
// 48 bytes: a block of 16384 entries is 768 KiB.
struct EntryInfo {
    int64_t localOffset;       // local header offset from the archive start
    uint64_t compressedSize;   // central values, Zip64 applied
    uint64_t uncompressedSize;
    uint32_t crc;
    uint32_t diskStart;
    uint8_t hostVersion;       // format version of the creating program x 10
    uint8_t hostSystem;        // system of origin, 31 for anything from 31 up
    bool encrypted : 1;        // general flag bit 0
    bool hasDataDescriptor : 1;// general flag bit 3
    bool isText : 1;           // internal attributes bit 0
    bool textMode : 1;         // output with end-of-line conversion
    bool lowerCase : 1;        // always clear: nothing asks for lower-case names
    bool volumeLabel : 1;      // set by readCentralHeader
    bool hasUnixAttributes : 1;// set by readCentralHeader
    bool nameIsUtf8 : 1;       // set by readCentralHeader (flag bit 11)
    uint32_t fileAttributes;   // Windows attributes for the output (mapAttributes)
    uint32_t unixMode;         // permission bits for POSIX outputs (mapAttributes)
    uint32_t centralName;      // where the central name kept for the local header
                               // comparison starts in centralNames, plus 1; 0: none
};

// A directory created from a directory entry; its attributes and times are applied
// after the last entry, deepest first, so that creating files inside it cannot
// disturb its times.
struct DirectoryRecord {
    DirectoryRecord* next;
    uint32_t attributes;       // the entry's fileAttributes
    uint32_t unixMode;
    unsigned timeFlags;        // 1 modification, 2 access, 4 creation
    uint64_t modificationTime; // file times: 100 ns units since 1601-01-01 UTC
    uint64_t accessTime;
    uint64_t creationTime;
    uint8_t* securityBlock;    // points into this record's own allocation, or null
    uint32_t securityLength;
    char path[1];              // mapped path with its trailing '/', allocated to length
};

// The folder the last mapped name led to (known_folder.h).
struct KnownFolder {
    char* storage;          // the directory part as stored, then the long and short paths
    size_t capacity;
    size_t rawLength;
    size_t longLength;
    size_t shortLength;
    bool valid;
    FolderMapping mapping;
    bool volumeKnown;       // `volume` holds what the volume query said about the folder
    VolumeCache volume;
};

struct DecodeAhead;

struct DriverFields {
    // Entry table and the entry being worked on (initially slot 0; listing uses a
    // scratch record of its own).
    EntryInfo entryTable[kEntryTableSize];
    // The central names of the block's entries, one after the other: one allocation
    // for the block rather than one per entry.
    char* centralNames;
    size_t centralNamesUsed;
    size_t centralNamesCapacity;
    EntryInfo* currentEntry;

    bool reportedBackslash;      // the backslash-separator warning was given
    int runResult;               // worst result of the extraction walk so far

    // Path building (output names).
    char* rootPath;              // target directory ending in '/', or null
    size_t rootLength;
    char* longPath;              // components as mapped
    size_t longLength;
    char* shortPath;             // components as created (8.3 where the volume needs it)
    size_t shortLength;
    size_t nameLength;           // entry name length when mapping started
    bool createDirs;
    bool createdDir;
    bool fullPathGiven;
    KnownFolder knownFolder;

    // Output of the current entry.
    intptr_t outputHandle;       // platform output handle, valid while outputOpen
    bool outputOpen;
    uint32_t runningCrc;
    uint64_t outputLeft;         // bytes the declared uncompressed size still allows
    bool outputOverrun;          // the data went on past the declared size
    int diskFull;                // 2 after a write error: nothing more is written
    bool newFile;                // the first flush of the entry sets up text conversion
    bool lastWasCR;
    int recordState;             // -1 plain text, 0..4 variable-length VMS records
    uint32_t recordLength;
    bool recordPad;

    // Bytes of the archive already given to an entry or to the central directory.
    UsedRanges usedRanges;

    // Testing on two processors (decode_ahead.h): the walk's second thread, and, in
    // that thread's own state, the flag that stops its decoding at the next block read.
    DecodeAhead* decodeAhead;
    const std::atomic<bool>* stopRequest;

    // Buffered archive bytes beyond the entry, set aside while it is decoded.
    uint8_t* leftoverPos;
    int leftoverCount;

    // Walk state that must be reachable for release after a run that ended early.
    DirectoryRecord* directoryRecords; // deferred directory attributes
    unsigned long directoryCount;
    bool* includeMatched;
    bool* excludeMatched;
    DirectoryRecord** directorySort;
};
