/*
 * The state of the one run of this process that several steps share: the byte counts of
 * the extraction, the cancel flag, the progress sink and the engine callbacks of the main
 * extraction that keep the count.
 */
#pragma once

#include <atomic>
#include <cstdint>

extern uint64_t totalBytes;     // announced size of the archive (descriptor), 100 % mark
extern uint64_t extractedBytes; // uncompressed bytes of the entries extracted so far
extern uint64_t javaJarBytes;   // uncompressed bytes of the runtime jars measured so far

// Set once by the dialog's Cancel (main thread), read by the worker: the only value the
// two threads share without the window system in between.
extern std::atomic<bool> cancelRequested;

extern bool launchFailed; // the installer could not be started, or ended with 555

// Receives the name of the entry just finished and the progress percentage.
using ProgressSink = void (*)(const char* entryName, int32_t percent);

void setProgressSink(ProgressSink sink);
void requestCancel();
bool isCancelRequested();

// a + b, or the largest value when the sum does not fit: sizes announced by an archive
// may be anything.
uint64_t saturatingAdd(uint64_t a, uint64_t b);

// The percentage of extracted of total: double quotient times 100, truncated toward zero.
// A total of 0 counts as 100 %, and a result beyond the 32-bit range saturates at its
// largest value.
int32_t extractionPercent(uint64_t extracted, uint64_t total);

// Engine callback (entryDone) of the main extraction: counts the entry, feeds the sink and
// answers 1 (stop) once a cancel was requested.
int trackExtractionProgress(const char* entryName, uint64_t size);

// Engine callback (listEntry): adds the listed entry's uncompressed size to totalBytes.
void addListedSize(uint64_t uncompressedSize, uint64_t compressedSize, unsigned ratioPercent,
                   int date1, int date2, int date3, int hour, int minute, char caseMark,
                   const char* name, const char* methodName, uint32_t crc, char encryptedMark);

// Engine callback (askReplace): logs the question and always answers REPLACE_YES.
int answerReplace(char* nameBuffer, int bufferSize);

// Puts the shared run state back to its initial values (tests only).
void resetRunState();
