// The engine's state record: everything one call of Qz_SingleEntryUnzip works with.
//
// It is allocated zero-filled on the heap for each call and freed before the call
// returns, so every field is plain data whose zero value means "not set yet", and
// nothing survives from one call to the next. The decoders and the driver keep their
// own fields in the two base records; the fields below are the entry's settings, the
// archive reader and the records read from the archive.
#pragma once

#include <cstdint>
#include <cstdio>

#include "engine/decoder_fields.h"
#include "engine/driver_fields.h"
#include "engine/records.h"
#include "platform/filestatus.h"
#include "quenlow/unzip.h"

// How an existing output file is treated; fixed when archive processing starts and
// changed by the answers REPLACE_ALL and REPLACE_NONE.
enum OverwriteMode { OVERWRITE_ASK = 0, OVERWRITE_ALWAYS = 1, OVERWRITE_NEVER = 2 };

constexpr int ARCHIVE_NAME_SIZE = 260;  // archive and target paths: at most 259 characters
constexpr int MESSAGE_BUFFER_SIZE = 40960;  // two printable names of 16384 bytes and text
constexpr int PATTERN_MAX = 16224;
constexpr int ENTRY_NAME_SIZE = 260;  // entryName holds at most 259 characters
constexpr int ENTRY_NAME_MAX = ENTRY_NAME_SIZE - 1;

struct EngineState : DecoderFields, DriverFields {
    // --- Settings from UnzipOptions -------------------------------------------------
    int quietLevel;  // message level: 0 lets everything through
    bool junkPaths;
    bool allowParentDirs;
    bool writeToConsole;
    bool testOnly;
    bool listMode;
    bool showComment;
    int convertText;
    bool keepBackup;
    bool caseInsensitive;
    int timestampMode;
    int unicodeMode;
    int restoreSecurity;
    bool underscoreBlanks;
    bool freshenOnly;
    bool newerOnly;
    bool overwriteAll;
    bool overwriteNone;
    bool updateMode;
    bool detailedInfo;
    bool extractMode;  // none of detailed report, console, test, list, comment
    int overwriteMode;  // OverwriteMode
    const char* targetDirectory;  // nullptr: the current directory

    // --- Name patterns (read in place from the caller's lists) ----------------------
    const char* const* includePatterns;
    int includeCount;
    const char* const* excludePatterns;
    int excludeCount;
    bool processAll;  // no patterns at all

    // --- Caller, output routing -----------------------------------------------------
    UnzipCallbacks* callbacks;
    int passwordRetries;
    char messageBuffer[MESSAGE_BUFFER_SIZE];
    char numberBuffers[4][24];
    int nextNumberBuffer;

    // --- The archive ----------------------------------------------------------------
    char* archiveName;  // the caller's path, in the name block
    char currentArchive[ARCHIVE_NAME_SIZE + 4];  // room for ".zip" after 259 characters
    std::FILE* archiveFile;
    uint64_t archiveLength;
    bool noDirectory;
    int64_t extraBytes;         // correction added to every archive offset
    int64_t realEndOffset;      // where the end record (or Zip64 end record) was found
    int64_t expectedEndOffset;  // centralDirOffset + centralDirSize
    Signatures signatures;
    EndRecord endRecord;
    CentralHeader central;
    LocalHeader local;

    // --- Archive-name expansion -----------------------------------------------------
    bool archiveNameIsPattern;  // has wildcards and names no existing file as it is
    bool expansionStarted;
    char* wildcardDirectory;     // directory part, with its separator; nullptr for "."
    const char* wildcardPattern; // name part of the archive name
    DirectorySearch* wildcardSearch;

    // --- Reader -----------------------------------------------------------------------
    uint8_t* inputBuffer;   // READ_AHEAD_BLOCKS blocks and INPUT_SPARE bytes
    uint8_t* outputBuffer;  // comments here, entry data in the output stage
    int64_t bufferStart;    // file offset of the (first) block in inputBuffer
    int bufferBlocks;       // blocks the load in inputBuffer asked for; 0 counts as 1
    uint8_t* inputPos;
    int inputCount;
    int64_t compressedLeft;  // the entry's compressed bytes not yet handed out
    bool memoryInput;        // the byte reader serves an in-memory block and ends with it
    bool readFailed;         // a read of the byte reader failed: the run ends with RC_FATAL
    bool blockDeciphered;    // bytes of the block were deciphered in place: no seek reuses it

    // --- Header fields of the current entry ------------------------------------------
    char entryName[ENTRY_NAME_SIZE];
    char* fullName;  // as stored, untruncated
    unsigned fullNameCapacity;
    uint8_t* extraField;
    unsigned extraFieldLength;
    char* utf8Name;  // from a Unicode path block; nullptr when there is none

    // --- Times and volumes --------------------------------------------------------------
    VolumeCache volume;
    bool dosTimeKept;           // keptDosUnixTime converts keptDosDateTime
    uint32_t keptDosDateTime;
    int64_t keptDosUnixTime;
};
