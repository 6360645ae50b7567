// Opening archives: expanding the archive name, finding the end of the central
// directory from the file's tail, the Zip64 records, the bytes in front of the archive,
// and handing over to the listing or the extraction driver.
#pragma once

#include <cstdint>

struct EngineState;

int processArchives(EngineState* state);
// The next file name of the archive name's expansion, or nullptr when exhausted. Only
// a name that does not exist as given is expanded as a pattern (archiveNameIsPattern).
const char* expandArchiveName(EngineState* state, const char* archiveName);
int processArchive(EngineState* state, bool lastChance);
int findEndRecord(EngineState* state, int64_t searchLength);
// 0 found, 1 not found, 2 read failure.
int scanForSignature(EngineState* state, int64_t searchLength, const uint8_t* signature,
                     int recordSize);
int findZip64End(EngineState* state);
int handleArchiveComment(EngineState* state);
