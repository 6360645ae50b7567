/*
 * The launcher's calls of the extraction engine: every call builds a fresh option record
 * and callback record on the heap, exactly as the engine's contract asks (caller-owned for
 * one call), and frees both whatever the result. In every call paths inside the archive
 * are kept but ".." is refused, existing files are overwritten without a question, and the
 * engine's messages are dropped: the launcher reports failures in its own words. Every
 * extraction stops at the next entry once the run is cancelled.
 *
 * Here are the records every call starts from and the two calls on runtime jars; the run
 * makes its own two calls on the program's own archive (run/archive_ops.h).
 */
#pragma once

#include <memory>

#include "quenlow/unzip.h"

// Options for archivePath: paths kept without "..", existing files overwritten.
std::unique_ptr<UnzipOptions> newOptions(const char* archivePath);

// Callbacks that drop the engine's text, replace without asking, add listed sizes to
// runState.javaJarBytes and stop at the next entry after a cancel.
std::unique_ptr<UnzipCallbacks> newQuietCallbacks();

// Adds the uncompressed size of the jar's entries to runState.javaJarBytes (saturating;
// nothing when the jar cannot be read).
void measureJar(const char* jarPath);

// Unpacks a jar into destination (relative to the working directory); the engine's result.
int unzipJar(const char* jarPath, const char* destination);
