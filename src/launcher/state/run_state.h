/*
 * The run's progress accounting and cancellation (over the runState record): the progress
 * sink, the cancel request and the engine callbacks of the main extraction that keep the
 * count.
 */
#pragma once

#include <cstdint>

#include "launcher/state/run_records.h"

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
